// The functions of TZ810DLL.DLL over the simulated bench. Every call takes
// the bench lock, is counted for fault injection and recorded in the call
// log and the trace.
#include <algorithm>
#include <cstring>

#include "bench.h"
#include "hextext.h"

using tzsim::Bench;
using tzsim::CallRecord;
using tzsim::Card;
using tzsim::Chip;

// Declared from the one list, so a definition below that drifts from the
// library's signature does not compile.
extern "C" {
#define TZ_DECLARE_EXPORT(name, ret, params) ret TZAPI name params;
TZ810DLL_FUNCTIONS(TZ_DECLARE_EXPORT)
#undef TZ_DECLARE_EXPORT
}

namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr BOOL kFail = 0;
constexpr BOOL kOk = 1;

constexpr std::uint32_t kI2cEeprom = TZ_EEPROM_I2C_ADDRESS;
constexpr std::uint8_t kSpiReadId = 0x90;
constexpr std::uint8_t kFlashMaker = 0xBF;
constexpr std::uint8_t kFlashDevice = 0x48;
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
        // Each access crosses the board's address and data lines, faulty or
        // not. The bytes of a dword travel together on D0-D31, the byte at
        // offset % 4 == k on D8k-D8k+7, so a fault joins lines of any lanes;
        // a byte access drives its own lane only and the others idle low.
        const tzsim::CardConfig &cfg = card.cfg;
        const std::uint32_t start = static_cast<std::uint32_t>(address - base);
        // A sound board moves the bytes as they are, and the self-test's
        // blocks are long.
        const bool sound = cfg.memAddress.None() && cfg.memData.None() && cfg.memStuckCells.empty();
        if (sound && write)
            std::copy(bytes, bytes + length, card.mem.begin() + start);
        else if (sound)
            std::copy(card.mem.begin() + start, card.mem.begin() + start + length, bytes);
        for (ULONG i = 0; i < length && !sound; i += width) {
            std::uint8_t *cells[4];
            std::uint32_t signals = 0;
            for (unsigned k = 0; k < width; ++k) {
                const std::uint32_t offset = start + i + k;
                const std::uint32_t at = cfg.memAddress.Apply(offset) % tzsim::kMemWindowSize;
                cells[k] = &card.mem[at];
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
    if (write && length)
        b.unsavedRegisters = true;
    return kOk;
}

}  // namespace

extern "C" {

HANDLE TZAPI TZ810mOpenDevice(ULONG index, BOOL enableMem, BOOL enableInt, UCHAR intMode)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mOpenDevice",
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
    b.RegisterChanged(c);
    // Handles are small tokens, one per index; nothing dereferences them.
    std::uintptr_t handle = 0x100 + index;
    rec.Finish(static_cast<std::uint32_t>(handle));
    return reinterpret_cast<HANDLE>(handle);
}

void TZAPI TZ810mCloseDevice(ULONG index)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mCloseDevice", {index});
    if (!rec.Faulted() && index < tzsim::kMaxCards) {
        Card &c = b.cards[index];
        c.open = false;
        c.memEnabled = false;
        c.intEnabled = false;
        c.routine = nullptr;  // the driver drops the routine with the handle
        c.pendingEdges = 0;
        b.RegisterChanged(c);
    }
    if (b.unsavedRegisters)
        b.SaveState();
    rec.Finish(0);
}

ULONG TZAPI TZ810GetDrvVersion(void)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810GetDrvVersion", {});
    return rec.Finish(rec.Faulted() ? 0 : b.cfg.driverVersion);
}

BOOL TZAPI TZ810mGetIntLine(ULONG index, PULONG intLine)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mGetIntLine", {index});
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
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mGetIoBaseAddr", {index});
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
    Lock lock(b.mu);
    CallRecord rec(b, "TZ820mGetMemBaseAddr", {index});
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
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mReadConfig", {index, offset});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !value || offset > 0xFF)
        return rec.Finish(kFail);
    *value = c->config[offset];
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteConfig(ULONG index, ULONG offset, UCHAR value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mWriteConfig", {index, offset, value});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || offset > 0xFF)
        return rec.Finish(kFail);
    // Read-only bytes take the write without changing, as on the bus.
    if (tzsim::ConfigByteWritable(offset)) {
        c->config[offset] = value;
        b.unsavedRegisters = true;
    }
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mReadIoByte(ULONG index, ULONG address, PUCHAR value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mReadIoByte", {index, address});
    if (rec.Faulted() || !b.OpenCard(index) || !value || address >= tzsim::kIoSpaceSize)
        return rec.Finish(kFail);
    *value = b.IoRead(index, address);
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteIoByte(ULONG index, ULONG address, UCHAR value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mWriteIoByte", {index, address, value});
    if (rec.Faulted() || !b.OpenCard(index) || address >= tzsim::kIoSpaceSize)
        return rec.Finish(kFail);
    b.IoWrite(index, address, value);
    b.unsavedRegisters = true;
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mAccessBlock(ULONG index, ULONG accessCode, ULONG address, PVOID buffer,
                             ULONG length)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mAccessBlock", {index, accessCode, address, length});
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
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mReadI2C", {index, device, address});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || !value || device != kI2cEeprom ||
        c->cfg.eeprom == tzsim::EepromFit::Absent)
        return rec.Finish(kFail);
    *value = c->eeprom[address];
    rec.Out(value, 1);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810mWriteI2C(ULONG index, UCHAR device, UCHAR address, UCHAR value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mWriteI2C", {index, device, address, value});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c || device != kI2cEeprom || c->cfg.eeprom == tzsim::EepromFit::Absent)
        return rec.Finish(kFail);
    // The identity bytes of configuration space follow only at the next
    // power-up, when the chip loads them from here.
    if (c->cfg.eeprom != tzsim::EepromFit::ReadOnly) {
        c->eeprom[address] = value;
        b.SaveState();
    }
    return rec.Finish(kOk);
}

BOOL TZAPI TZ810SetStream(ULONG index, ULONG mode)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810SetStream", {index, mode});
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
    Lock lock(b.mu);
    ULONG wantRead = readLength ? *readLength : 0;
    CallRecord rec(b, "TZ810StreamSPI", {index, writeLength, wantRead});
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
    Lock lock(b.mu);
    CallRecord rec(b, "TZ810mSetIntRoutine", {index});
    Card *c = b.OpenCard(index);
    if (rec.Faulted() || !c)
        return rec.Finish(kFail);
    c->routine = routine;
    if (routine)
        b.EnsureInterruptThread();
    b.RegisterChanged(*c);
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mReadFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ780mReadFlash", {index, address, length});
    if (rec.Faulted() || !FlashReachable(b, index) || !FlashRange(address, length) ||
        (length && !buffer))
        return rec.Finish(kFail);
    if (length) {
        std::memcpy(buffer, b.flash.data() + address, length);
        rec.Out(buffer, length);
    }
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mWriteFlash(ULONG index, ULONG address, PVOID buffer, ULONG length)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ780mWriteFlash", {index, address, length});
    if (buffer && length <= tzsim::kFlashSize)
        rec.Data(buffer, length);
    if (rec.Faulted() || !FlashReachable(b, index) || b.flashLocked ||
        !FlashRange(address, length) || (length && !buffer))
        return rec.Finish(kFail);
    // NOR cells: programming only clears bits.
    auto *src = static_cast<const std::uint8_t *>(buffer);
    for (ULONG i = 0; i < length; ++i)
        b.flash[address + i] &= src[i];
    if (length)
        b.SaveState();
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mLockFlash(ULONG index, ULONG lock)
{
    Bench &b = Bench::Get();
    Lock guard(b.mu);
    CallRecord rec(b, "TZ780mLockFlash", {index, lock});
    if (rec.Faulted() || !FlashReachable(b, index) || lock > 1)
        return rec.Finish(kFail);
    b.flashLocked = lock == 1;
    return rec.Finish(kOk);
}

BOOL TZAPI TZ780mEarseFlash(ULONG index, ULONG address, ULONG length)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    CallRecord rec(b, "TZ780mEarseFlash", {index, address, length});
    if (rec.Faulted() || !FlashReachable(b, index) || b.flashLocked || !FlashRange(address, length))
        return rec.Finish(kFail);
    std::memset(b.flash.data() + address, 0xFF, length);
    if (length)
        b.SaveState();
    return rec.Finish(kOk);
}

}  // extern "C"
