// A type-0 configuration header taken apart: the ids, command and status,
// timers, interrupt, the regions with the sizes this program knows, and the
// capability list. Only the bytes are looked at; sizing a BAR would mean
// writing it, which a bench tool reading a live card must never do.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "board.h"

namespace board {

constexpr std::size_t kConfigSpaceBytes = 0x100;
// The windows the chips decode: the registers' I/O window on both, and a
// TZ820's MEM window.
constexpr std::uint32_t kIoWindowBytes = 0x100;
constexpr std::uint32_t kMemWindowBytes = kMemWindowLimit + 1;

constexpr std::uint16_t kCommandIo = 0x0001;
constexpr std::uint16_t kCommandMem = 0x0002;
constexpr std::uint16_t kCommandBusMaster = 0x0004;
constexpr std::uint16_t kStatusCapabilities = 0x0010;
constexpr ULONG kCommandOffset = 0x04;

struct Region {
    unsigned index = 0;  // BAR number, 0-5
    bool io = false;
    bool bits64 = false, prefetchable = false;
    std::uint64_t address = 0;
    std::optional<std::uint32_t> size;  // known only for the chip's own windows
    bool disabled = false;              // its space is off in the command register
};

struct Capability {
    UCHAR offset = 0, id = 0;
};

// The list as far as it could be followed; a list that breaks ends with the
// pointer that broke it.
struct CapabilityList {
    enum End {
        Absent,  // the status register has no capability list
        Complete,
        Looped,
        BelowHeader,  // a pointer into the header (below 0x40)
        Unaligned
    } end = Absent;

    UCHAR pointer = 0;  // the pointer that ended a broken list
    std::vector<Capability> entries;
};

struct ConfigHeader {
    Identity id;
    UCHAR baseClass = 0, subClass = 0, progIf = 0;
    std::uint16_t command = 0, status = 0;
    UCHAR cacheLine = 0, latency = 0, headerType = 0;
    UCHAR interruptLine = 0, interruptPin = 0, minGnt = 0, maxLat = 0;
    std::vector<Region> regions;  // BARs that hold anything, in order
    CapabilityList capabilities;
};

// bytes: the whole 256; chip: whose windows give the regions their sizes.
ConfigHeader DecodeConfigSpace(const std::vector<std::uint8_t> &bytes, Chip chip);
CapabilityList WalkCapabilities(const std::vector<std::uint8_t> &bytes);

// An identity value where the EEPROM's block and configuration space differ.
struct IdentityDifference {
    const char *field;  // "VID", "DID", "RID", "SVID", "SID"
    std::uint16_t eeprom = 0, inUse = 0;
    int digits = 4;
};

std::vector<IdentityDifference> CompareIdentity(const Identity &eeprom, const Identity &inUse);

}  // namespace board
