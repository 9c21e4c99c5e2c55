#include <cstring>

#include "bench.h"

extern "C" {
#define TZ_DECLARE_EXPORT(name, ret, params) ret TZAPI name params;
TZ810DLL_FUNCTIONS(TZ_DECLARE_EXPORT)
#undef TZ_DECLARE_EXPORT
}

namespace tzsim {

namespace {

// Reaching in is a program's call too: it takes both locks.
using Lock = Held;

Card *PresentCard(Bench &b, unsigned index)
{
    return index < kMaxCards && b.cards[index].cfg.present ? &b.cards[index] : nullptr;
}

bool IsTZ820(const Card &c)
{
    return c.cfg.chip == Chip::TZ820;
}

}  // namespace

void Reset(const std::string &configText)
{
    Bench::Get().Reset(configText);
}

std::vector<std::string> ConfigWarnings()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.cfg.warnings;
}

std::vector<std::string> Notices()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.notices;
}

void *ResolveExport(void *, const char *name)
{
    if (!name)
        return nullptr;
#define TZ_RESOLVE_EXPORT(fn, ret, params)                                                         \
    if (std::strcmp(name, #fn) == 0)                                                               \
        return reinterpret_cast<void *>(&fn);
    TZ810DLL_FUNCTIONS(TZ_RESOLVE_EXPORT)
#undef TZ_RESOLVE_EXPORT
    return nullptr;
}

void BindTable(DeviceLibrary &table)
{
    BindDeviceLibrary(table, &ResolveExport, nullptr);
}

std::vector<Call> Calls()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.log.calls;
}

void ClearCalls()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    b.log.calls.clear();
}

std::size_t CountCalls(const std::string &name)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    std::size_t n = 0;
    for (const Call &c : b.log.calls)
        n += c.name == name;
    return n;
}

std::uint8_t EepromByte(unsigned index, unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    Card *c = PresentCard(b, index);
    return c && address < 256 ? c->slot->eeprom[address] : 0;
}

void SetEepromByte(unsigned index, unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (Card *c = PresentCard(b, index); c && address < 256)
        c->slot->eeprom[address] = value;
}

std::uint8_t FlashByte(unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return address < kFlashSize ? b.Shared().flash[address] : 0;
}

void SetFlashByte(unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (address < kFlashSize)
        b.Shared().flash[address] = value;
}

std::uint8_t ConfigByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    Card *c = PresentCard(b, index);
    return c && offset < 256 ? c->slot->config[offset] : 0;
}

void SetConfigByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (Card *c = PresentCard(b, index); c && offset < 256)
        c->slot->config[offset] = value;
}

std::uint8_t IoWindowByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    Card *c = PresentCard(b, index);
    return c && offset < kIoWindowSize ? c->slot->io[offset] : 0;
}

void SetIoWindowByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (Card *c = PresentCard(b, index); c && offset < kIoWindowSize) {
        c->slot->io[offset] = value;
        b.RegistersChanged(*c);
    }
}

std::uint8_t IoSpaceByte(unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return address < kIoSpaceSize ? b.ioSpace[address] : 0;
}

void SetIoSpaceByte(unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (address < kIoSpaceSize)
        b.ioSpace[address] = value;
}

std::uint8_t MemByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    Card *c = PresentCard(b, index);
    return c && IsTZ820(*c) && offset < kMemWindowSize ? c->slot->mem[offset] : 0;
}

void SetMemByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    if (Card *c = PresentCard(b, index); c && IsTZ820(*c) && offset < kMemWindowSize)
        c->slot->mem[offset] = value;
}

bool IsOpen(unsigned index)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.OpenCard(index) != nullptr;
}

std::vector<std::uint8_t> Snapshot()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    const Layout &l = b.Shared();
    std::vector<std::uint8_t> all(l.flash, l.flash + kFlashSize);
    for (unsigned i = 0; i < kMaxCards; ++i) {
        const Card *c = PresentCard(b, i);
        if (!c)
            continue;
        const Slot &s = *c->slot;
        for (const std::uint8_t *part : {s.config, s.io, s.eeprom})
            all.insert(all.end(), part, part + 256);
        if (IsTZ820(*c))
            all.insert(all.end(), s.mem, s.mem + kMemWindowSize);
        all.push_back(c->open && c->routine != nullptr);
    }
    all.push_back(l.flashLocked);
    return all;
}

bool HasRoutine(unsigned index)
{
    Bench &b = Bench::Get();
    Lock lock(b);
    const Card *card = b.OpenCard(index);
    return card && card->routine != nullptr;
}

bool WaitForInterrupts(int timeoutMs)
{
    Bench &b = Bench::Get();
    std::unique_lock<std::mutex> lock(b.mu);
    return b.interrupts.WaitIdle(b, timeoutMs, lock);
}

std::size_t RoutineCalls()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.interrupts.routineCalls;
}

std::thread::id LastRoutineThread()
{
    Bench &b = Bench::Get();
    Lock lock(b);
    return b.interrupts.lastRoutineThread;
}

}  // namespace tzsim
