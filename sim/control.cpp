#include <cstring>

#include "bench.h"

extern "C" {
#define TZ_DECLARE_EXPORT(name, ret, params) ret TZAPI name params;
TZ810DLL_FUNCTIONS(TZ_DECLARE_EXPORT)
#undef TZ_DECLARE_EXPORT
}

namespace tzsim {

namespace {

using Lock = std::lock_guard<std::mutex>;

Card *PresentCard(Bench &b, unsigned index)
{
    return index < kMaxCards && b.cards[index].cfg.present ? &b.cards[index] : nullptr;
}

}  // namespace

void Reset(const std::string &configText)
{
    Bench::Get().Reset(configText);
}

std::vector<std::string> ConfigWarnings()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return b.cfg.warnings;
}

std::vector<std::string> Notices()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
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
    Lock lock(b.mu);
    return b.calls;
}

void ClearCalls()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    b.calls.clear();
}

std::size_t CountCalls(const std::string &name)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    std::size_t n = 0;
    for (const Call &c : b.calls)
        n += c.name == name;
    return n;
}

std::uint8_t EepromByte(unsigned index, unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    Card *c = PresentCard(b, index);
    return c && address < 256 ? c->eeprom[address] : 0;
}

void SetEepromByte(unsigned index, unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (Card *c = PresentCard(b, index); c && address < 256)
        c->eeprom[address] = value;
}

std::uint8_t FlashByte(unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return address < kFlashSize ? b.flash[address] : 0;
}

void SetFlashByte(unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (address < kFlashSize)
        b.flash[address] = value;
}

std::uint8_t ConfigByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    Card *c = PresentCard(b, index);
    return c && offset < 256 ? c->config[offset] : 0;
}

void SetConfigByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (Card *c = PresentCard(b, index); c && offset < 256)
        c->config[offset] = value;
}

std::uint8_t IoWindowByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    Card *c = PresentCard(b, index);
    return c && offset < kIoWindowSize ? c->io[offset] : 0;
}

void SetIoWindowByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (Card *c = PresentCard(b, index); c && offset < kIoWindowSize) {
        c->io[offset] = value;
        b.RegisterChanged(*c);
    }
}

std::uint8_t IoSpaceByte(unsigned address)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return address < kIoSpaceSize ? b.ioSpace[address] : 0;
}

void SetIoSpaceByte(unsigned address, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (address < kIoSpaceSize)
        b.ioSpace[address] = value;
}

std::uint8_t MemByte(unsigned index, unsigned offset)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    Card *c = PresentCard(b, index);
    return c && offset < c->mem.size() ? c->mem[offset] : 0;
}

void SetMemByte(unsigned index, unsigned offset, std::uint8_t value)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    if (Card *c = PresentCard(b, index); c && offset < c->mem.size())
        c->mem[offset] = value;
}

bool IsOpen(unsigned index)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return b.OpenCard(index) != nullptr;
}

std::vector<std::uint8_t> Snapshot()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    std::vector<std::uint8_t> all(b.flash.begin(), b.flash.end());
    for (unsigned i = 0; i < kMaxCards; ++i) {
        const Card *c = PresentCard(b, i);
        if (!c)
            continue;
        for (const auto *part : {&c->config, &c->io, &c->eeprom})
            all.insert(all.end(), part->begin(), part->end());
        all.insert(all.end(), c->mem.begin(), c->mem.end());
        all.push_back(c->open && c->routine != nullptr);
    }
    return all;
}

bool HasRoutine(unsigned index)
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    const Card *card = b.OpenCard(index);
    return card && card->routine != nullptr;
}

bool WaitForInterrupts(int timeoutMs)
{
    Bench &b = Bench::Get();
    std::unique_lock<std::mutex> lock(b.mu);
    return b.WaitIdle(timeoutMs, lock);
}

std::size_t RoutineCalls()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return b.routineCalls;
}

std::thread::id LastRoutineThread()
{
    Bench &b = Bench::Get();
    Lock lock(b.mu);
    return b.lastRoutineThread;
}

}  // namespace tzsim
