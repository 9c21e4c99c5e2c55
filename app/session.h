// Everything that outlives a click: the connection to one card, the
// interrupt demonstration's shared values, the remembered flash image path,
// and the ports to the screen, the files and the device library.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "board.h"
#include "device_library.h"
#include "dialog_port.h"
#include "file_port.h"

struct Connection {
    std::uint32_t index = 0;  // card addressed by every library call
    bool open = false;
    board::Chip chip = board::Chip::Unknown;
    ULONG ioBase = 0;   // chip registers live at ioBase + offset
    ULONG memBase = 0;  // TZ820 MEM window
    // Whether this open read each base: a base it could not read is another
    // card's, or none, and nothing may be addressed through it.
    bool ioBaseRead = false;
    bool memBaseRead = false;
    std::string lastOpenStatus;  // shown again on an open request while open
};

// Shared with the interrupt routine, which the library may call on a thread
// of its own: lock-free word-sized values.
struct InterruptDemo {
    std::atomic<std::int32_t> mode{0};  // 0 none, 1 level, 2 edge
    std::atomic<std::int32_t> levelCount{0};
    std::atomic<std::int32_t> edgeCount{0};
};

struct Session {
    Session(DialogPort &p, FilePort &f) : port(p), files(f)
    {
    }

    DialogPort &port;
    FilePort &files;
    DeviceLibrary lib;  // bound at start-up, before the enumeration
    Connection conn;
    InterruptDemo irq;
    std::string imagePath;  // remembered flash image, empty until chosen
};
