#include "bench.h"

#include <sstream>

#include "platform.h"

namespace tzsim {

namespace fs = std::filesystem;

namespace {

// Chip registers, offsets in the I/O window.
constexpr unsigned kRegInterrupt = TZ_REG_INTERRUPT;
constexpr unsigned kRegGp0 = TZ_REG_GP0;
constexpr unsigned kRegStatus = TZ_REG_STATUS;
constexpr unsigned kRegPulse = TZ_REG_PULSE;
constexpr std::uint8_t kArmLevel = 0xE2;
constexpr std::uint8_t kArmEdge = 0xEA;
constexpr std::uint8_t kGp0High = 0x80;
constexpr std::uint8_t kStatusActive = 0x04;

// Pace of a level request that nobody answers.
constexpr auto kLevelRepeat = std::chrono::milliseconds(1);

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string &s, const std::uint8_t *bytes, std::size_t n)
{
    std::size_t at = s.size();
    s.resize(at + 2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        s[at + 2 * i] = kHexDigits[bytes[i] >> 4];
        s[at + 2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
    }
}

void AppendValue(std::string &s, std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    s += buf;
}

int HexNibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool DecodeHex(const std::string &text, std::uint8_t *out, std::size_t n)
{
    if (text.size() != 2 * n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        int hi = HexNibble(text[2 * i]), lo = HexNibble(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return true;
}

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

// A fresh 24C02 holding the identity block of the chip defaults, the way
// the card leaves the factory; the bytes past the block are erased.
void FactoryEeprom(Card &card)
{
    card.eeprom.fill(0xFF);
    if (card.cfg.eeprom == EepromFit::Blank || card.cfg.eeprom == EepromFit::Absent)
        return;
    std::uint8_t *e = card.eeprom.data();
    for (int i = 0; i < 0x20; ++i)
        e[i] = 0;
    e[0x00] = kIdentityHeader;
    Put16(e + 0x04, card.cfg.vid);
    Put16(e + 0x06, card.cfg.did);
    e[0x08] = card.cfg.rid;
    e[0x0B] = 0x10;
    Put16(e + 0x0C, card.cfg.svid);
    Put16(e + 0x0E, card.cfg.sid);
}

// Configuration bytes that stay as they were from one run to the next while
// the card is powered: those a program may write and the identity the chip
// loaded from its EEPROM at power-up. The rest follows the bench
// configuration.
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

#if defined(TZSIM_NO_CALL_LOG)
    keepCalls = false;  // nobody reads it inside the DLL
#endif
    std::lock_guard<std::mutex> lock(mu);
    Load(std::move(config), statePath, tracePath, EnvPath("TZSIM_POWER_CYCLE") == "1");
}

void Bench::Reset(const std::string &text)
{
    StopInterruptThread();
    BenchConfig config = ParseConfig(text, fs::path());
    std::lock_guard<std::mutex> lock(mu);
    fs::path statePath = config.stateFile, tracePath = config.traceFile;
    Load(std::move(config), statePath, tracePath, false);
}

// Each load is the next run of a powered bench, which finds its cards as the
// last run left them; a power cycle keeps only the EEPROM and the flash.
void Bench::Load(BenchConfig config, const fs::path &statePath, const fs::path &tracePath,
                 bool powerCycle)
{
    cfg = std::move(config);
    notices.clear();
    for (const std::string &w : cfg.warnings)
        DebugNote("configuration " + w);
    loadTime_ = Clock::now();

    if (trace_)
        std::fclose(trace_);
    trace_ = nullptr;
    if (!tracePath.empty()) {
        trace_ = OpenForAppend(tracePath);
        if (!trace_)
            DebugNote("cannot open trace " + tracePath.u8string());
    }

    for (unsigned i = 0; i < kMaxCards; ++i) {
        Card &c = cards[i];
        c = Card();
        c.cfg = cfg.cards[i];
        if (!c.cfg.present)
            continue;
        FactoryEeprom(c);
        c.io[kRegGp0] = kGp0High;  // GP0 idles high
        // 0x04 unless configured: 150 ns, 32-bit I/O off
        c.io[kRegPulse] = static_cast<std::uint8_t>(c.cfg.pulseBits.Apply(c.cfg.pulse));
        if (c.cfg.chip == Chip::TZ820)
            c.mem.assign(kMemWindowSize, 0);
    }
    ioSpace.assign(kIoSpaceSize, 0xFF);  // nothing answers: the bus floats high
    flash.assign(kFlashSize, 0xFF);
    flashLocked = false;
    calls.clear();
    callCounts.clear();
    routineCalls = 0;
    lastRoutineThread = std::thread::id();

    statePath_ = statePath;
    PoweredState powered;
    RestoreState(powered);
    for (unsigned i = 0; i < kMaxCards; ++i) {
        Card &c = cards[i];
        if (!c.cfg.present)
            continue;
        BuildConfigSpace(c, i);
        // Rewritten after the card loaded its identity from it.
        for (const auto &[at, value] : c.cfg.eepromChanged)
            c.eeprom[at] = value;
        if (powerCycle)
            continue;
        if (auto saved = powered.config.find(i); saved != powered.config.end())
            for (unsigned off = 0; off < 256; ++off)
                if (KeptWhilePowered(off))
                    c.config[off] = saved->second[off];
        if (auto saved = powered.io.find(i); saved != powered.io.end())
            c.io = saved->second;
        if (auto saved = powered.mem.find(i); saved != powered.mem.end())
            c.mem = saved->second;
    }
    // The next run must find the fresh power-up, not what came before it.
    if (powerCycle)
        SaveState();
}

// Configuration space at power-up. The identity bytes come from the 24C02
// when it holds a valid identity block (header 0x78), else from the chip.
void Bench::BuildConfigSpace(Card &card, unsigned index)
{
    (void)index;
    std::uint8_t *cs = card.config.data();
    card.config.fill(0);
    const CardConfig &c = card.cfg;
    std::uint16_t vid = c.vid, did = c.did, svid = c.svid, sid = c.sid;
    std::uint8_t rid = c.rid;
    const std::uint8_t *e = card.eeprom.data();
    if (c.eeprom != EepromFit::Absent && e[0] == kIdentityHeader) {
        vid = static_cast<std::uint16_t>(e[0x04] | e[0x05] << 8);
        did = static_cast<std::uint16_t>(e[0x06] | e[0x07] << 8);
        rid = e[0x08];
        svid = static_cast<std::uint16_t>(e[0x0C] | e[0x0D] << 8);
        sid = static_cast<std::uint16_t>(e[0x0E] | e[0x0F] << 8);
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

void Bench::SaveState()
{
    unsavedRegisters = false;
    if (statePath_.empty())
        return;
    std::string s = "tzsim-state 1\nflash ";
    AppendHex(s, flash.data(), flash.size());
    s += '\n';
    for (unsigned i = 0; i < kMaxCards; ++i) {
        if (!cards[i].cfg.present)
            continue;
        s += "config " + std::to_string(i) + ' ';
        AppendHex(s, cards[i].config.data(), 256);
        s += "\neeprom " + std::to_string(i) + ' ';
        AppendHex(s, cards[i].eeprom.data(), 256);
        s += "\nio " + std::to_string(i) + ' ';
        AppendHex(s, cards[i].io.data(), kIoWindowSize);
        s += '\n';
        if (cards[i].mem.empty())
            continue;
        s += "mem " + std::to_string(i) + ' ';
        AppendHex(s, cards[i].mem.data(), cards[i].mem.size());
        s += '\n';
    }
    if (!WriteFileAtomically(statePath_, s)) {
        unsavedRegisters = true;  // tried again at the next close
        DebugNote("cannot write state " + statePath_.u8string());
    }
}

namespace {

// Everything a state file holds, read whole before any of it is used.
struct SavedBench {
    std::vector<std::uint8_t> flash;  // empty when the file has no flash line
    std::map<unsigned, std::array<std::uint8_t, 256>> eeprom;
    PoweredState powered;
};

// False unless every line is one that SaveState writes. A card the
// configuration no longer has is no damage: its lines are kept here and
// left unused.
bool ParseState(const std::string &text, SavedBench &saved)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "tzsim-state 1")
        return false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind, number, hex, extra;
        fields >> kind;
        if (kind != "flash")
            fields >> number;
        fields >> hex >> extra;
        unsigned index = kMaxCards;
        if (!number.empty() && number.size() <= 2 &&
            number.find_first_not_of("0123456789") == std::string::npos)
            index = static_cast<unsigned>(std::stoul(number));
        if (!extra.empty() || (kind != "flash" && index >= kMaxCards))
            return false;
        if (kind == "flash" || kind == "mem") {
            std::vector<std::uint8_t> bytes(kind == "flash" ? kFlashSize : kMemWindowSize);
            if (!DecodeHex(hex, bytes.data(), bytes.size()))
                return false;
            (kind == "flash" ? saved.flash : saved.powered.mem[index]) = std::move(bytes);
            continue;
        }
        auto *block = kind == "config"   ? &saved.powered.config[index]
                      : kind == "io"     ? &saved.powered.io[index]
                      : kind == "eeprom" ? &saved.eeprom[index]
                                         : nullptr;
        if (!block || !DecodeHex(hex, block->data(), block->size()))
            return false;
    }
    return true;
}

}  // namespace

void Bench::RestoreState(PoweredState &powered)
{
    std::string text;
    std::error_code ec;
    if (statePath_.empty() || !fs::is_regular_file(statePath_, ec))
        return;
    SavedBench saved;
    if (!ReadWholeFile(statePath_, text) || !ParseState(text, saved)) {
        KeepDamagedState();
        return;
    }
    if (!saved.flash.empty())
        flash = std::move(saved.flash);
    for (unsigned i = 0; i < kMaxCards; ++i) {
        Card &card = cards[i];
        if (!card.cfg.present)
            continue;
        if (auto e = saved.eeprom.find(i);
            e != saved.eeprom.end() && card.cfg.eeprom != EepromFit::Absent)
            card.eeprom = e->second;
        if (auto c = saved.powered.config.find(i); c != saved.powered.config.end())
            powered.config[i] = c->second;
        if (auto r = saved.powered.io.find(i); r != saved.powered.io.end())
            powered.io[i] = r->second;
        if (auto m = saved.powered.mem.find(i); m != saved.powered.mem.end() && !card.mem.empty())
            powered.mem[i] = std::move(m->second);
    }
}

// A file half read would give a bench partly from it and partly fresh, and
// the next save would destroy what is left: the file goes aside whole, under
// a name no earlier one has, and the bench starts fresh.
void Bench::KeepDamagedState()
{
    const std::string path = statePath_.u8string();
    for (unsigned n = 1; n < 1000; ++n) {
        fs::path aside = statePath_;
        aside += n == 1 ? std::string(".damaged") : ".damaged." + std::to_string(n);
        std::error_code ec;
        if (RenameNoReplace(statePath_, aside)) {
            Notice(path + " could not be read; kept as " + aside.u8string() +
                   "; the bench starts fresh");
            return;
        }
        if (!fs::exists(aside, ec))
            break;  // the name was free: the file cannot be moved at all
    }
    // Saving would overwrite the file that could not be moved.
    statePath_.clear();
    Notice(path + " could not be read nor moved aside; the bench starts fresh and is not saved");
}

void Bench::Notice(const std::string &text)
{
    notices.push_back(text);
    TellUser(text);
}

double Bench::Millis() const
{
    return std::chrono::duration<double, std::milli>(Clock::now() - loadTime_).count();
}

void Bench::Trace(const std::string &line)
{
    if (!trace_)
        return;
    std::fputs(line.c_str(), trace_);
    std::fflush(trace_);
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
        return cards[index].io[address - cards[index].cfg.ioBase];
    for (Card &c : cards)
        if (InWindow(c, address))
            return c.io[address - c.cfg.ioBase];
    return ioSpace[address];
}

void Bench::IoWrite(std::uint32_t index, std::uint32_t address, std::uint8_t value)
{
    if (index < kMaxCards && InWindow(cards[index], address)) {
        WriteRegister(cards[index], address - cards[index].cfg.ioBase, value);
        return;
    }
    for (Card &c : cards) {
        if (InWindow(c, address)) {
            WriteRegister(c, address - c.cfg.ioBase, value);
            return;
        }
    }
    ioSpace[address] = value;
}

bool Bench::LevelAsserted(const Card &c) const
{
    return cfg.a15ToInt && c.io[kRegInterrupt] == kArmLevel && !(c.io[kRegGp0] & kGp0High);
}

bool Bench::Deliverable(const Card &c) const
{
    return cfg.a15ToInt && c.cfg.present && c.open && c.intEnabled && c.routine != nullptr;
}

void Bench::WriteRegister(Card &card, unsigned offset, std::uint8_t value)
{
    std::uint8_t old = card.io[offset];
    if (offset == kRegStatus) {
        // The active bit can be cleared by software, never set.
        card.io[offset] =
            static_cast<std::uint8_t>((value & ~kStatusActive) | (old & value & kStatusActive));
    } else if (offset == kRegPulse) {
        card.io[offset] = static_cast<std::uint8_t>(card.cfg.pulseBits.Apply(value));
    } else {
        card.io[offset] = value;
    }
    if (offset == kRegGp0 && !(old & kGp0High) && (value & kGp0High) && cfg.a15ToInt &&
        card.io[kRegInterrupt] == kArmEdge) {
        // Rising edge on INT# while the edge interrupt is armed.
        card.io[kRegStatus] |= kStatusActive;
        if (Deliverable(card))
            ++card.pendingEdges;
    }
    RegisterChanged(card);
}

void Bench::RegisterChanged(Card &card)
{
    if (card.io[kRegInterrupt] == kArmLevel) {
        if (LevelAsserted(card))
            card.io[kRegStatus] |= kStatusActive;
        else
            card.io[kRegStatus] &= static_cast<std::uint8_t>(~kStatusActive);
    }
    if (!LevelAsserted(card))
        card.nextLevel = Clock::time_point();
    Kick();
}

void Bench::Kick()
{
    workCv_.notify_all();
    idleCv_.notify_all();
}

// ---- Interrupt delivery -------------------------------------------------

void Bench::EnsureInterruptThread()
{
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { InterruptLoop(); });
}

void Bench::StopInterruptThread()
{
    std::unique_lock<std::mutex> lock(mu);
    if (!thread_.joinable())
        return;
    stop_ = true;
    Kick();
    lock.unlock();
    thread_.join();
    lock.lock();
    thread_ = std::thread();
    stop_ = false;
    delivering_ = false;
}

bool Bench::WorkPending(Clock::time_point now, Clock::time_point *nextWake)
{
    bool pending = false;
    for (Card &c : cards) {
        if (!Deliverable(c))
            continue;
        if (c.pendingEdges > 0)
            return true;
        if (LevelAsserted(c)) {
            if (c.nextLevel <= now)
                return true;
            pending = true;
            if (nextWake && c.nextLevel < *nextWake)
                *nextWake = c.nextLevel;
        }
    }
    return pending && !nextWake;
}

void Bench::InterruptLoop()
{
    std::unique_lock<std::mutex> lock(mu);
    while (!stop_) {
        Clock::time_point now = Clock::now();
        int chosen = -1;
        bool edge = false;
        Clock::time_point wake = Clock::time_point::max();
        for (unsigned i = 0; i < kMaxCards && chosen < 0; ++i) {
            Card &c = cards[i];
            if (!Deliverable(c))
                continue;
            if (c.pendingEdges > 0) {
                chosen = static_cast<int>(i);
                edge = true;
            } else if (LevelAsserted(c)) {
                if (c.nextLevel <= now)
                    chosen = static_cast<int>(i);
                else if (c.nextLevel < wake)
                    wake = c.nextLevel;
            }
        }
        if (chosen < 0) {
            idleCv_.notify_all();
            if (wake == Clock::time_point::max())
                workCv_.wait(lock);
            else
                workCv_.wait_until(lock, wake);
            continue;
        }
        Card &card = cards[chosen];
        if (edge)
            --card.pendingEdges;
        else
            card.nextLevel = now + kLevelRepeat;
        TZ_INT_ROUTINE routine = card.routine;
        ++routineCalls;
        lastRoutineThread = std::this_thread::get_id();
        delivering_ = true;
        if (trace_) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.3f interrupt %d\n", Millis(), chosen);
            Trace(buf);
        }
        // The routine calls back into the library: never hold the lock.
        lock.unlock();
        routine();
        lock.lock();
        delivering_ = false;
        idleCv_.notify_all();
    }
}

bool Bench::WaitIdle(int timeoutMs, std::unique_lock<std::mutex> &lock)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return idleCv_.wait_until(
        lock, deadline, [this] { return !delivering_ && !WorkPending(Clock::now(), nullptr); });
}

// ---- Call records -------------------------------------------------------

CallRecord::CallRecord(Bench &bench, const char *name, std::initializer_list<std::uint32_t> args)
    : bench_(bench), millis_(bench.Millis())
{
    call_.name = name;
    call_.args = args;
    std::uint32_t n = ++bench.callCounts[call_.name];
    auto rule = bench.cfg.faults.find(call_.name);
    if (rule != bench.cfg.faults.end()) {
        switch (rule->second.mode) {
        case FaultMode::Never:
            break;
        case FaultMode::Always:
            faulted_ = true;
            break;
        case FaultMode::OnlyNth:
            faulted_ = n == rule->second.n;
            break;
        case FaultMode::FromNth:
            faulted_ = n >= rule->second.n;
            break;
        }
    }
}

void CallRecord::Data(const void *bytes, std::size_t length)
{
    const std::uint8_t *p = static_cast<const std::uint8_t *>(bytes);
    call_.data.assign(p, p + length);
}

void CallRecord::Out(const void *bytes, std::size_t length)
{
    const std::uint8_t *p = static_cast<const std::uint8_t *>(bytes);
    call_.out.assign(p, p + length);
    outIsValue_ = false;
}

void CallRecord::OutValue(std::uint32_t value)
{
    call_.out.resize(4);
    Put32(call_.out.data(), value);
    outIsValue_ = true;
}

std::uint32_t CallRecord::Finish(std::uint32_t result)
{
    call_.result = result;
    if (bench_.trace_) {
        char head[48];
        std::snprintf(head, sizeof head, "%.3f ", millis_);
        std::string line = head;
        line += call_.name;
        for (std::uint32_t a : call_.args) {
            line += ' ';
            AppendValue(line, a);
        }
        if (!call_.data.empty()) {
            line += " data=";
            AppendHex(line, call_.data.data(), call_.data.size());
        }
        if (!call_.out.empty()) {
            line += " out=";
            if (outIsValue_) {
                std::uint32_t v = call_.out[0] | call_.out[1] << 8 | call_.out[2] << 16 |
                                  static_cast<std::uint32_t>(call_.out[3]) << 24;
                AppendValue(line, v);
            } else {
                AppendHex(line, call_.out.data(), call_.out.size());
            }
        }
        line += " -> ";
        AppendValue(line, result);
        line += '\n';
        bench_.Trace(line);
    }
    if (bench_.keepCalls)
        bench_.calls.push_back(std::move(call_));
    return result;
}

}  // namespace tzsim
