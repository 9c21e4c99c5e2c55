#include "config_space.h"

#include <array>

namespace board {

namespace {

constexpr ULONG kFirstBar = 0x10;
constexpr unsigned kBars = 6;
constexpr ULONG kCapabilityPointer = 0x34;
constexpr UCHAR kFirstCapability = 0x40;

std::uint16_t Word(const std::vector<std::uint8_t> &b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t Dword(const std::vector<std::uint8_t> &b, std::size_t at)
{
    return static_cast<std::uint32_t>(Word(b, at)) | static_cast<std::uint32_t>(Word(b, at + 2))
                                                         << 16;
}

std::optional<std::uint32_t> WindowSize(Chip chip, const Region &r)
{
    if (chip == Chip::Unknown)
        return std::nullopt;
    if (r.index == 0 && r.io)
        return kIoWindowBytes;
    if (r.index == 1 && !r.io && chip == Chip::TZ820)
        return kMemWindowBytes;
    return std::nullopt;
}

std::vector<Region> Regions(const std::vector<std::uint8_t> &b, Chip chip, std::uint16_t command)
{
    std::vector<Region> regions;
    for (unsigned i = 0; i < kBars; ++i) {
        const std::uint32_t bar = Dword(b, kFirstBar + 4 * i);
        if (bar == 0)
            continue;
        Region r;
        r.index = i;
        r.io = bar & 1;
        if (r.io) {
            r.address = bar & ~3u;
            r.disabled = !(command & kCommandIo);
        } else {
            r.bits64 = (bar & 6) == 4;
            r.prefetchable = bar & 8;
            r.address = bar & ~15u;
            r.disabled = !(command & kCommandMem);
            // A 64-bit BAR takes the next one as its high half.
            if (r.bits64 && i + 1 < kBars)
                r.address |= static_cast<std::uint64_t>(Dword(b, kFirstBar + 4 * ++i)) << 32;
        }
        r.size = WindowSize(chip, r);
        regions.push_back(r);
    }
    return regions;
}

}  // namespace

CapabilityList WalkCapabilities(const std::vector<std::uint8_t> &bytes)
{
    CapabilityList list;
    if (!(Word(bytes, 0x06) & kStatusCapabilities))
        return list;
    // One visit per dword of the device area bounds the walk.
    std::array<bool, kConfigSpaceBytes / 4> seen{};
    for (UCHAR at = bytes[kCapabilityPointer]; at != 0; at = bytes[at + 1u]) {
        list.pointer = at;
        if (at < kFirstCapability)
            list.end = CapabilityList::BelowHeader;
        else if (at % 4)
            list.end = CapabilityList::Unaligned;
        else if (seen[at / 4])
            list.end = CapabilityList::Looped;
        if (list.end != CapabilityList::Absent)
            return list;
        seen[at / 4] = true;
        list.entries.push_back({at, bytes[at]});
    }
    list.pointer = 0;
    list.end = CapabilityList::Complete;
    return list;
}

ConfigHeader DecodeConfigSpace(const std::vector<std::uint8_t> &b, Chip chip)
{
    ConfigHeader h;
    h.id = {Word(b, 0x00), Word(b, 0x02), b[0x08], Word(b, 0x2C), Word(b, 0x2E)};
    h.progIf = b[0x09];
    h.subClass = b[0x0A];
    h.baseClass = b[0x0B];
    h.command = Word(b, kCommandOffset);
    h.status = Word(b, 0x06);
    h.cacheLine = b[0x0C];
    h.latency = b[0x0D];
    h.headerType = b[0x0E];
    h.interruptLine = b[0x3C];
    h.interruptPin = b[0x3D];
    h.minGnt = b[0x3E];
    h.maxLat = b[0x3F];
    h.regions = Regions(b, chip, h.command);
    h.capabilities = WalkCapabilities(b);
    return h;
}

std::vector<IdentityDifference> CompareIdentity(const Identity &eeprom, const Identity &inUse)
{
    const IdentityDifference all[] = {{"VID", eeprom.vid, inUse.vid},
                                      {"DID", eeprom.did, inUse.did},
                                      {"RID", eeprom.rid, inUse.rid, 2},
                                      {"SVID", eeprom.svid, inUse.svid},
                                      {"SID", eeprom.sid, inUse.sid}};
    std::vector<IdentityDifference> differ;
    for (const IdentityDifference &d : all)
        if (d.eeprom != d.inUse)
            differ.push_back(d);
    return differ;
}

}  // namespace board
