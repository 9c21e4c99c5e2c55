#include "card.h"

#include <algorithm>
#include <cstring>

namespace tzsim {

namespace {

// Chip registers, offsets in the I/O window, and their values: the model's
// own, written apart from the program's board layer.
constexpr unsigned kRegInterrupt = 0xEB;
constexpr unsigned kRegGp0 = 0xF1;
constexpr unsigned kRegStatus = 0xF8;
constexpr unsigned kRegPulse = 0xFA;
constexpr std::uint8_t kArmLevel = 0xE2;
constexpr std::uint8_t kArmEdge = 0xEA;
constexpr std::uint8_t kGp0High = 0x80;
constexpr std::uint8_t kStatusActive = 0x04;

void Put16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Configuration space at power-up. The identity bytes come from the 24C02
// when it holds a valid identity block (header 0x78), else from the chip.
void BuildConfigSpace(const CardConfig &c, const std::uint8_t *e, std::uint8_t *cs)
{
    std::memset(cs, 0, 256);
    std::uint16_t vid = c.vid, did = c.did, svid = c.svid, sid = c.sid;
    std::uint8_t rid = c.rid;
    if (c.eeprom != EepromFit::Absent && e[0] == kIdentityHeader) {
        vid = Get16(e + 0x04);
        did = Get16(e + 0x06);
        rid = e[0x08];
        svid = Get16(e + 0x0C);
        sid = Get16(e + 0x0E);
    }
    Put16(cs + 0x00, vid);
    Put16(cs + 0x02, did);
    cs[0x04] = c.chip == Chip::TZ820 ? 0x03 : 0x01;  // I/O (and MEM) decoding on
    Put16(cs + 0x06, 0x0280);                        // medium DEVSEL, fast back-to-back
    cs[0x08] = rid;
    cs[0x0A] = 0x80;  // class: other communication controller
    cs[0x0B] = 0x07;
    cs[0x0C] = 0x08;
    cs[0x0D] = 0x20;
    Put32(cs + 0x10, c.ioBase | 0x1);  // BAR0: I/O window
    if (c.chip == Chip::TZ820)
        Put32(cs + 0x14, c.memBase);  // BAR1: MEM window
    Put16(cs + 0x2C, svid);
    Put16(cs + 0x2E, sid);
    cs[0x3C] = c.intLine;
    cs[0x3D] = 0x01;  // INTA#
}

// Configuration bytes that stay as they were while the card is powered:
// those a program may write and the identity the chip loaded at power-up.
bool KeptWhilePowered(unsigned offset)
{
    return ConfigByteWritable(offset) || offset <= 0x03 || offset == 0x08 ||
           (offset >= 0x2C && offset <= 0x2F);
}

}  // namespace

bool ConfigByteWritable(unsigned offset)
{
    return offset == 0x04 || offset == 0x05 || offset == 0x0C || offset == 0x0D || offset == 0x3C ||
           (offset >= 0x40 && offset <= 0xFF);
}

void FactoryEeprom(const CardConfig &cfg, std::uint8_t *e)
{
    std::memset(e, 0xFF, 256);
    if (cfg.eeprom == EepromFit::Blank || cfg.eeprom == EepromFit::Absent)
        return;
    std::memset(e, 0, 0x20);  // the identity block, then erased bytes
    e[0x00] = kIdentityHeader;
    Put16(e + 0x04, cfg.vid);
    Put16(e + 0x06, cfg.did);
    e[0x08] = cfg.rid;
    e[0x0B] = 0x10;
    Put16(e + 0x0C, cfg.svid);
    Put16(e + 0x0E, cfg.sid);
}

void PowerUp(Card &card)
{
    Slot &s = *card.slot;
    s.chip = card.cfg.chip == Chip::TZ820 ? kSlotTZ820 : kSlotTZ810;
    std::memset(s.io, 0, sizeof s.io);
    s.io[kRegGp0] = kGp0High;  // GP0 idles high
    // 0x04 unless configured: 150 ns, 32-bit I/O off
    s.io[kRegPulse] = static_cast<std::uint8_t>(card.cfg.pulseBits.Apply(card.cfg.pulse));
    std::memset(s.mem, 0, sizeof s.mem);
    BuildConfigSpace(card.cfg, s.eeprom, s.config);
}

bool FollowConfiguration(Card &card)
{
    std::uint8_t built[256];
    BuildConfigSpace(card.cfg, card.slot->eeprom, built);
    bool changed = false;
    for (unsigned off = 0; off < 256; ++off) {
        if (!KeptWhilePowered(off) && card.slot->config[off] != built[off]) {
            card.slot->config[off] = built[off];
            changed = true;
        }
    }
    return changed;
}

bool LevelAsserted(const Card &c, bool a15ToInt)
{
    return a15ToInt && c.slot->io[kRegInterrupt] == kArmLevel && !(c.slot->io[kRegGp0] & kGp0High);
}

bool Deliverable(const Card &c, bool a15ToInt)
{
    return a15ToInt && c.cfg.present && c.open && c.intEnabled && c.routine != nullptr;
}

void WriteRegister(Card &card, unsigned offset, std::uint8_t value, bool a15ToInt)
{
    std::uint8_t *io = card.slot->io;
    const std::uint8_t old = io[offset];
    if (offset == kRegStatus) {
        // The active bit can be cleared by software, never set.
        io[offset] =
            static_cast<std::uint8_t>((value & ~kStatusActive) | (old & value & kStatusActive));
    } else if (offset == kRegPulse) {
        io[offset] = static_cast<std::uint8_t>(card.cfg.pulseBits.Apply(value));
    } else {
        io[offset] = value;
    }
    if (offset == kRegGp0 && !(old & kGp0High) && (value & kGp0High) && a15ToInt &&
        io[kRegInterrupt] == kArmEdge) {
        // Rising edge on INT# while the edge interrupt is armed.
        io[kRegStatus] |= kStatusActive;
        if (Deliverable(card, a15ToInt))
            ++card.pendingEdges;
    }
    RegistersChanged(card, a15ToInt);
}

void RegistersChanged(Card &card, bool a15ToInt)
{
    std::uint8_t *io = card.slot->io;
    if (io[kRegInterrupt] == kArmLevel) {
        if (LevelAsserted(card, a15ToInt))
            io[kRegStatus] |= kStatusActive;
        else
            io[kRegStatus] &= static_cast<std::uint8_t>(~kStatusActive);
    }
    if (!LevelAsserted(card, a15ToInt))
        card.nextLevel = Clock::time_point();
}

void MemAccess(Card &card, bool write, unsigned width, std::uint32_t start, std::uint8_t *bytes,
               std::uint32_t length)
{
    const CardConfig &cfg = card.cfg;
    std::uint8_t *mem = card.slot->mem;
    // A sound board moves the bytes as they are, and the self-test's blocks
    // are long.
    if (cfg.memAddress.None() && cfg.memData.None() && cfg.memStuckCells.empty()) {
        if (write)
            std::memcpy(mem + start, bytes, length);
        else
            std::memcpy(bytes, mem + start, length);
        return;
    }
    // Each access crosses the board's address and data lines, faulty or
    // not. The bytes of a dword travel together on D0-D31, the byte at
    // offset % 4 == k on D8k-D8k+7, so a fault joins lines of any lanes; a
    // byte access drives its own lane only and the others idle low.
    for (std::uint32_t i = 0; i < length; i += width) {
        std::uint8_t *cells[4];
        std::uint32_t signals = 0;
        for (unsigned k = 0; k < width; ++k) {
            const std::uint32_t offset = start + i + k;
            const std::uint32_t at = cfg.memAddress.Apply(offset) % kMemWindowSize;
            cells[k] = &mem[at];
            for (const auto &[bad, value] : cfg.memStuckCells)
                if (bad == at)
                    *cells[k] = value;
            signals |= std::uint32_t(write ? bytes[i + k] : *cells[k]) << 8 * (offset % 4);
        }
        signals = cfg.memData.Apply(signals);
        for (unsigned k = 0; k < width; ++k)
            (write ? *cells[k] : bytes[i + k]) =
                static_cast<std::uint8_t>(signals >> 8 * ((start + i + k) % 4));
    }
}

}  // namespace tzsim
