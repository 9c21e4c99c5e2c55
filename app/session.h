// Everything that outlives a click: the connection to one card, the
// interrupt demonstration's watcher, the remembered flash image path, and
// the ports to the screen, the files and the device library.
#pragma once

#include <string>
#include <vector>

#include "board.h"
#include "device_library.h"
#include "dialog_port.h"
#include "file_port.h"
#include "interrupts.h"

struct Connection {
    // Addressed by every library call; its index stays that of the last
    // open asked for, its chip Unknown while closed.
    board::Card card;
    bool open = false;
    std::string lastOpenStatus;  // shown again on an open request while open
};

struct Session {
    Session(DialogPort &p, FilePort &f) : port(p), files(f)
    {
    }

    DialogPort &port;
    FilePort &files;
    DeviceLibrary lib;  // bound at start-up, before the enumeration
    Connection conn;
    board::InterruptWatcher irq;  // its mode and counts are the demonstration's
    std::string imagePath;        // remembered flash image, empty until chosen
};
