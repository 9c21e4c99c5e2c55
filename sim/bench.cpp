#include "bench.h"

#include <algorithm>
#include <cstring>

#include "platform.h"

namespace tzsim {

namespace fs = std::filesystem;

Bench &Bench::Get()
{
    static Bench *bench = new Bench();
    return *bench;
}

Bench::Bench()
{
    // Configuration: TZSIM_CONFIG, else tzsim.ini beside the library.
    fs::path dir = ModuleDir();
    fs::path configPath = EnvPath("TZSIM_CONFIG");
    if (configPath.empty() && !dir.empty()) {
        std::error_code ec;
        if (fs::exists(dir / "tzsim.ini", ec))
            configPath = dir / "tzsim.ini";
    }
    std::string text;
    if (!configPath.empty() && !ReadWholeFile(configPath, text))
        DebugNote("cannot read configuration " + configPath.u8string() + ", default bench");
    BenchConfig config = ParseConfig(text, configPath.parent_path());

    fs::path statePath = EnvPath("TZSIM_STATE");
    if (statePath.empty())
        statePath = config.stateFile;
    if (statePath.empty())
        statePath = UserStatePath();
    fs::path tracePath = EnvPath("TZSIM_TRACE");
    if (tracePath.empty())
        tracePath = config.traceFile;
    std::lock_guard<std::mutex> lock(mu);
    Load(std::move(config), statePath, tracePath, EnvPath("TZSIM_POWER_CYCLE") == "1");
}

void Bench::Reset(const std::string &text)
{
    interrupts.Stop(*this);
    BenchConfig config = ParseConfig(text, fs::path());
    std::lock_guard<std::mutex> lock(mu);
    const fs::path statePath = config.stateFile, tracePath = config.traceFile;
    Load(std::move(config), statePath, tracePath, false);
}

void Bench::Load(BenchConfig config, const fs::path &statePath, const fs::path &tracePath,
                 bool powerCycle)
{
    cfg = std::move(config);
    for (const std::string &w : cfg.warnings)
        DebugNote("configuration " + w);
#if defined(TZSIM_NO_CALL_LOG)
    log.Restart(tracePath, false);  // nobody reads it inside the DLL
#else
    log.Restart(tracePath, true);
#endif
    interrupts.routineCalls = 0;
    interrupts.lastRoutineThread = std::thread::id();
    notices.clear();
    store.reset();  // a program holds one mapping of its file at a time
    store = Store::Open(statePath, notices);
    for (const std::string &n : notices)
        TellUser(n);
    ioSpace.assign(kIoSpaceSize, 0xFF);  // nothing answers: the bus floats high
    for (unsigned i = 0; i < kMaxCards; ++i) {
        cards[i] = Card();
        cards[i].cfg = cfg.cards[i];
        if (cards[i].cfg.present)
            cards[i].slot = &Shared().slots[i];
    }
    store->Lock();
    PowerCards(powerCycle);
    store->Unlock();
}

// Each load is the next run of a powered bench, which finds its cards as the
// last run left them. A slot that never held this card powers it up fresh
// from the factory; a power cycle keeps only the EEPROM and the flash.
void Bench::PowerCards(bool powerCycle)
{
    bool changed = false;
    if (powerCycle)
        Shared().flashLocked = 0;
    for (unsigned i = 0; i < kMaxCards; ++i) {
        Card &c = cards[i];
        if (!c.cfg.present)
            continue;
        const SlotChip chip = c.cfg.chip == Chip::TZ820 ? kSlotTZ820 : kSlotTZ810;
        if (c.slot->chip == kSlotEmpty) {
            std::uint8_t eeprom[256];
            FactoryEeprom(c.cfg, eeprom);
            store->WriteDurably(kPartEeprom, i, 0, eeprom, sizeof eeprom);
        }
        if (powerCycle || c.slot->chip != chip) {
            PowerUp(c);
            changed = true;
        }
        changed = FollowConfiguration(c) || changed;
        // Rewritten after the card loaded its identity from it.
        for (const auto &[at, value] : c.cfg.eepromChanged)
            if (c.slot->eeprom[at] != value)
                store->WriteDurably(kPartEeprom, i, at, &value, 1);
    }
    if (changed)
        store->Flush();
}

Card *Bench::OpenCard(std::uint32_t index)
{
    if (index >= kMaxCards)
        return nullptr;
    Card &c = cards[index];
    return c.cfg.present && c.open ? &c : nullptr;
}

namespace {
bool InWindow(const Card &c, std::uint32_t address)
{
    return c.cfg.present && c.open && address >= c.cfg.ioBase &&
           address - c.cfg.ioBase < kIoWindowSize;
}
}  // namespace

std::uint8_t Bench::IoRead(std::uint32_t index, std::uint32_t address)
{
    if (index < kMaxCards && InWindow(cards[index], address))
        return cards[index].slot->io[address - cards[index].cfg.ioBase];
    for (Card &c : cards)
        if (InWindow(c, address))
            return c.slot->io[address - c.cfg.ioBase];
    return ioSpace[address];
}

void Bench::IoWrite(std::uint32_t index, std::uint32_t address, std::uint8_t value)
{
    Card *target = index < kMaxCards && InWindow(cards[index], address) ? &cards[index] : nullptr;
    for (Card &c : cards)
        if (!target && InWindow(c, address))
            target = &c;
    if (!target) {
        ioSpace[address] = value;
        return;
    }
    WriteRegister(*target, address - target->cfg.ioBase, value, cfg.a15ToInt);
    interrupts.Kick();
}

void Bench::RegistersChanged(Card &card)
{
    tzsim::RegistersChanged(card, cfg.a15ToInt);
    interrupts.Kick();
}

}  // namespace tzsim
