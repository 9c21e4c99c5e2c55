// The functions of TZ810DLL.DLL over the simulated bench. Every call takes
// the bench's locks, is counted for fault injection and recorded in the call
// log and the trace.
#include <algorithm>
#include <cstring>
#include <vector>

#include "bench.h"

using tzsim::Bench;
using tzsim::CallRecord;
using tzsim::Card;
using tzsim::Chip;
using tzsim::Held;

// Declared from the one list, so a definition below that drifts from the
// library's signature does not compile.
extern "C" {
#define TZ_DECLARE_EXPORT(name, ret, params) ret TZAPI name params;
TZ810DLL_FUNCTIONS(TZ_DECLARE_EXPORT)
#undef TZ_DECLARE_EXPORT
}

namespace {

constexpr BOOL kFail = 0;
constexpr BOOL kOk = 1;

// The board as the simulator models it, apart from the program's own rules.
constexpr std::uint32_t kI2cEeprom = 0x50;  // the 24C02's I2C address
// The longest block a card takes in one access.
constexpr ULONG kMaxBlockBytes = 0x8000;
constexpr std::uint8_t kSpiReadId = 0x90;
constexpr std::uint8_t kFlashMaker = 0xBF;
constexpr std::uint8_t kFlashDevice = 0x48;
constexpr ULONG kFlashSector = 0x1000;
constexpr std::uint32_t kMaxSpiTransfer = 0x10000;

// Flash calls name the board's one flash as unit 0; they work while any
// card is open.
bool FlashReachable(Bench &b, ULONG unit)
{
    if (unit != 0 || !b.cfg.flashPresent)
        return false;
    for (unsigned i = 0; i < tzsim::kMaxCards; ++i)
        if (b.OpenCard(i))
            return true;
    return false;
}

// flash_stray's byte cleared, after the first write or erase only.
void Stray(Bench &b)
{
    if (b.cfg.flashStray >= tzsim::kFlashSize)
        return;
    const std::uint8_t cleared = 0;
    b.store->WriteDurably(tzsim::kPartFlash, 0, b.cfg.flashStray, &cleared, 1);
    b.cfg.flashStray = tzsim::kFlashSize;
}

bool FlashRange(ULONG address, ULONG length)
{
    return address < tzsim::kFlashSize &&
           static_cast<std::uint64_t>(address) + length <= tzsim::kFlashSize;
}

BOOL BlockAccess(Bench &b, Card &card, ULONG index, ULONG code, ULONG address, PVOID buffer,
                 ULONG length, CallRecord &rec)
{
    const bool mem = (code & 0x08) != 0;
    const bool write = (code & 0x04) != 0;
    const unsigned width = 1u << (code & 0x03);
    auto *bytes = static_cast<std::uint8_t *>(buffer);
    // What was sent is recorded even when the request is refused.
    if (write && bytes && length && length <= kMaxBlockBytes)
        rec.Data(bytes, length);
    if (length > kMaxBlockBytes)
        return kFail;
    if (length != 0 && !buffer)
        return kFail;
    if (address % width != 0 || length % width != 0)
        return kFail;

    if (mem) {
        if (card.cfg.chip != Chip::TZ820 || !card.memEnabled)
            return kFail;
        std::uint64_t base = card.cfg.memBase;
        if (address < base ||
            address - base + static_cast<std::uint64_t>(length) > tzsim::kMemWindowSize)
            return kFail;
        tzsim::MemAccess(card, write, width, static_cast<std::uint32_t>(address - base), bytes,
                         length);
    } else {
        if (static_cast<std::uint64_t>(address) + length > tzsim::kIoSpaceSize)
            return kFail;
        // Byte by byte, so a block touching the chip registers acts as the
        // same register writes one at a time would.
        for (ULONG i = 0; i < length; ++i) {
            if (write)
                b.IoWrite(index, address + i, bytes[i]);
            else
                bytes[i] = b.IoRead(index, address + i);
        }
    }
    if (!write && length)
        rec.Out(bytes, length);
    return kOk;
}

}  // namespace

extern "C" {

HANDLE TZAPI TZ810mOpenDevice(ULONG index, BOOL enableMem, BOOL enableInt, UCHAR intMode)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mOpenDevice",
                   {index, static_cast<std::uint32_t>(enableMem),
                    static_cast<std::uint32_t>(enableInt), intMode});
    if (rec.Faulted() || index >= tzsim::kMaxCards || !b.cards[index].cfg.present) {
        rec.Finish(0xFFFFFFFFu);
        return TZ_INVALID_HANDLE;
    }
    Card &c = b.cards[index];
    c.open = true;
    c.memEnabled = enableMem && c.cfg.chip == Chip::TZ820;
    c.intEnabled = enableInt != 0;
    b.RegistersChanged(c);
    // Handles are small tokens, one per index; nothing dereferences them.
    std::uintptr_t handle = 0x100 + index;
    rec.Finish(static_cast<std::uint32_t>(handle));
    return reinterpret_cast<HANDLE>(handle);
}

void TZAPI TZ810mCloseDevice(ULONG index)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mCloseDevice", {index});
    if (!rec.Faulted() && index < tzsim::kMaxCards && b.cards[index].cfg.present) {
        Card &c = b.cards[index];
        c.open = false;
        c.memEnabled = false;
        c.intEnabled = false;
        c.routine = nullptr;  // the driver drops the routine with the handle
        c.pendingEdges = 0;
        b.RegistersChanged(c);
    }
    rec.Finish(0);
}

ULONG TZAPI TZ810GetDrvVersion(void)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810GetDrvVersion", {});
    return rec.Finish(rec.Faulted() ? 0 : b.cfg.driverVersion);
}

BOOL TZAPI TZ810mGetIntLine(ULONG index, PULONG intLine)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mGetIntLine", {index});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !intLine)
        return rec.Finish(kFail);
    *intLine = c->cfg.intLine;
    rec.OutValue(*intLine);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mGetIoBaseAddr(ULONG index, PULONG ioBase)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mGetIoBaseAddr", {index});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !ioBase)
        return rec.Finish(kFail);
    *ioBase = c->cfg.ioBase;
    rec.OutValue(*ioBase);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ820mGetMemBaseAddr(ULONG index, PULONG memBase)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ820mGetMemBaseAddr", {index});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !memBase || c->cfg.chip != Chip::TZ820)
        return rec.Finish(kFail);
    *memBase = c->cfg.memBase;
    rec.OutValue(*memBase);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mReadConfig(ULONG index, ULONG offset, PUCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mReadConfig", {index, offset});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !value || offset > 0xFF)
        return rec.Finish(kFail);
    *value = c->slot->config[offset];
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteConfig(ULONG index, ULONG offset, UCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mWriteConfig", {index, offset, value});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || offset > 0xFF)
        return rec.Finish(kFail);
    // Read-only bytes take the write without changing, as on the bus.
    if (tzsim::ConfigByteWritable(offset))
        c->slot->config[offset] = value;
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mReadIoByte(ULONG index, ULONG address, PUCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mReadIoByte", {index, address});
    if (rec.Faulted() || !b.OpenCard(index) || !value || address >= tzsim::kIoSpaceSize)
        return rec.Finish(kFail);
    *value = b.IoRead(index, address);
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteIoByte(ULONG index, ULONG address, UCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mWriteIoByte", {index, address, value});
    if (rec.Faulted() || !b.OpenCard(index) || address >= tzsim::kIoSpaceSize)
        return rec.Finish(kFail);
    b.IoWrite(index, address, value);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mAccessBlock(ULONG index, ULONG accessCode, ULONG address, PVOID buffer,
                             ULONG length)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mAccessBlock", {index, accessCode, address, length});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c)
        return rec.Finish(kFail);
    switch (accessCode) {
    case 0x10:
    case 0x11:
    case 0x12:  // I/O read byte, word, dword
    case 0x14:
    case 0x15:
    case 0x16:  // I/O write
    case 0x18:
    case 0x1A:  // MEM read byte, dword
    case 0x1C:
    case 0x1E:  // MEM write
        break;
    default:
        return rec.Finish(kFail);
    }
    return rec.Finish(BlockAccess(b, *c, index, accessCode, address, buffer, length, rec));
}

BOOL TZAPI TZ810mReadI2C(ULONG index, UCHAR device, UCHAR address, PUCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mReadI2C", {index, device, address});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !value || device != kI2cEeprom ||
        c->cfg.eeprom == tzsim::EepromFit::Absent)
        return rec.Finish(kFail);
    *value = c->slot->eeprom[address];
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteI2C(ULONG index, UCHAR device, UCHAR address, UCHAR value)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mWriteI2C", {index, device, address, value});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || device != kI2cEeprom || c->cfg.eeprom == tzsim::EepromFit::Absent)
        return rec.Finish(kFail);
    // The identity bytes of configuration space follow only at the next
    // power-up, when the chip loads them from here.
    if (c->cfg.eeprom != tzsim::EepromFit::ReadOnly)
        b.store->WriteDurably(tzsim::kPartEeprom, index, address, &value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810SetStream(ULONG index, ULONG mode)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810SetStream", {index, mode});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || mode > 3)
        return rec.Finish(kFail);
    c->spiMode = mode;
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810StreamSPI(ULONG index, ULONG writeLength, PVOID writeBuffer, PULONG readLength,
                          PVOID readBuffer)
{
    Bench &b = Bench::Get();
    Held held(b);
    ULONG wantRead = readLength ? *readLength : 0;
    CallRecord rec(b.log, b.cfg.faults, "TZ810StreamSPI", {index, writeLength, wantRead});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || writeLength > kMaxSpiTransfer || wantRead > kMaxSpiTransfer ||
        (writeLength && !writeBuffer) || (wantRead && !readBuffer))
        return rec.Finish(kFail);
    auto *out = static_cast<const std::uint8_t *>(writeBuffer);
    auto *in = static_cast<std::uint8_t *>(readBuffer);
    if (writeLength)
        rec.Data(out, writeLength);
    // Only the flash sits on the bus; it answers Read-ID with its maker and
    // device bytes in turn. Anything else leaves MISO pulled high.
    const bool readId = b.cfg.flashPresent && writeLength > 0 && out[0] == kSpiReadId;
    for (ULONG i = 0; i < wantRead; ++i)
        in[i] = readId ? (i % 2 == 0 ? kFlashMaker : kFlashDevice) : 0xFF;
    if (wantRead)
        rec.Out(in, wantRead);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mSetIntRoutine(ULONG index, TZ_INT_ROUTINE routine)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ810mSetIntRoutine", {index});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c)
        return rec.Finish(kFail);
    c->routine = routine;
    if (routine)
        b.interrupts.Start(b);
    b.RegistersChanged(*c);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mReadFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ780mReadFlash", {index, address, length});
    if (rec.Faulted() || !FlashReachable(b, index) || !FlashRange(address, length) ||
        (length && !buffer))
        return rec.Finish(kFail);
    if (length) {
        std::memcpy(buffer, b.Shared().flash + address, length);
        rec.Out(buffer, length);
    }
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mWriteFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ780mWriteFlash", {index, address, length});
    if (buffer && length <= tzsim::kFlashSize)
        rec.Data(buffer, length);
    if (rec.Faulted() || !FlashReachable(b, index) || b.Shared().flashLocked ||
        !FlashRange(address, length) || (length && !buffer))
        return rec.Finish(kFail);
    // NOR cells: programming only clears bits.
    std::vector<std::uint8_t> cells(length);
    auto *src = static_cast<const std::uint8_t *>(buffer);
    for (ULONG i = 0; i < length; ++i)
        cells[i] = b.Shared().flash[address + i] & src[i];
    b.store->WriteDurably(tzsim::kPartFlash, 0, address, cells.data(), length);
    Stray(b);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mLockFlash(ULONG index, ULONG lock)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ780mLockFlash", {index, lock});
    if (rec.Faulted() || !FlashReachable(b, index) || lock > 1)
        return rec.Finish(kFail);
    b.Shared().flashLocked = lock == 1;
    return rec.Finish(kOk);
}

// The part erases whole sectors only.
BOOL TZAPI TZ780mEarseFlash(ULONG index, ULONG address, ULONG length)
{
    Bench &b = Bench::Get();
    Held held(b);
    CallRecord rec(b.log, b.cfg.faults, "TZ780mEarseFlash", {index, address, length});
    if (rec.Faulted() || !FlashReachable(b, index) || b.Shared().flashLocked ||
        !FlashRange(address, length) || address % kFlashSector != 0 || length % kFlashSector != 0)
        return rec.Finish(kFail);
    const std::vector<std::uint8_t> erased(length, 0xFF);
    b.store->WriteDurably(tzsim::kPartFlash, 0, address, erased.data(), length);
    Stray(b);
    return rec.Finish(kOk);
}

}  // extern "C"
