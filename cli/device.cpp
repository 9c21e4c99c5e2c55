// The card as a whole: which cards there are, what one is and holds, and its
// settings: pulse width, SPI mode and clock, and the interrupt.
#include <chrono>
#include <cstdlib>

#include "registry.h"
#include "stop.h"
#include "words.h"
#include "interrupts.h"

namespace tzctl {

namespace {

void List(Context &x, const Options &)
{
    json cards = json::array();
    std::string text = "card chip    vid  did  io    mem       irq\n";
    auto hex = [](const auto &v, const char *format) {
        return v ? Format(format, static_cast<unsigned long>(*v)) : std::string("-");
    };
    for (ULONG i = 0; i < 16; ++i) {
        const std::optional<board::CardSummary> c = board::ProbeCard(x.lib, i);
        if (!c)
            continue;
        text += Format("%-4lu %-7s %-4s %-4s %-5s %-9s %s\n", static_cast<unsigned long>(i),
                       ChipName(c->chip), hex(c->vid, "%04lx").c_str(),
                       hex(c->did, "%04lx").c_str(), hex(c->ioBase, "%04lx").c_str(),
                       hex(c->memBase, "%08lx").c_str(), hex(c->intLine, "%02lx").c_str());
        json card = {{"index", i}, {"chip", ChipName(c->chip)}};
        auto put = [&card](const char *key, const auto &v) {
            card[key] = v ? json(*v) : json(nullptr);
        };
        put("vid", c->vid);
        put("did", c->did);
        put("io_base", c->ioBase);
        put("mem_base", c->memBase);
        put("int_line", c->intLine);
        cards.push_back(card);
    }
    const CliHost::LibraryInfo library = x.host.Library();
    x.Print(text + "library: " + LibraryText(library) + "\n",
            {{"cards", cards}, {"library", LibraryJson(library)}});
}

void Info(Context &x, const Options &)
{
    x.Open();
    board::Identity id;
    Check(board::ReadConfigIdentity(x.card, id));
    const ULONG io = x.IoBase();
    const bool tz820 = x.card.chip == board::Chip::TZ820;
    const ULONG mem = tz820 ? x.MemBase() : 0;
    ULONG line = 0;
    CheckCall(x.lib.TZ810mGetIntLine(x.card.index, &line), "TZ810mGetIntLine");
    UCHAR pulse = 0;
    CheckCall(board::ReadPulseRegister(x.card, pulse), "TZ810mReadIoByte");
    const ULONG driver = x.lib.TZ810GetDrvVersion();
    const board::FlashId flash = board::IdentifyFlash(x.card);

    std::string text = Format("card      %lu\nchip      %s\n",
                              static_cast<unsigned long>(x.card.index), ChipName(x.card.chip));
    text +=
        Format("vid       %04x\ndid       %04x\nrid       %02x\nsvid      %04x\nsid       %04x\n",
               id.vid, id.did, id.rid, id.svid, id.sid);
    text += Format("io base   %04lx\n", static_cast<unsigned long>(io));
    if (tz820)
        text += Format("mem base  %08lx\n", static_cast<unsigned long>(mem));
    text += Format("irq       %02lx\npulse     %u ns\n", static_cast<unsigned long>(line),
                   board::PulseNsFromRegister(pulse));
    if (tz820)
        text += Format("32-bit io %s\n", pulse & board::k32BitIo ? "on" : "off");
    text += Format("driver    %lx\nflash     %s\n", static_cast<unsigned long>(driver),
                   flash.identified ? "identified" : "not identified");
    const CliHost::LibraryInfo library = x.host.Library();
    text += "library   " + LibraryText(library) + "\n";

    json o = {{"card", x.card.index},
              {"chip", ChipName(x.card.chip)},
              {"identity", IdentityJson(id)},
              {"io_base", io},
              {"mem_base", tz820 ? json(mem) : json(nullptr)},
              {"int_line", line},
              {"pulse_ns", board::PulseNsFromRegister(pulse)},
              {"io_32bit", tz820 ? json((pulse & board::k32BitIo) != 0) : json(nullptr)},
              {"driver_version", driver},
              {"flash_identified", flash.identified},
              {"library", LibraryJson(library)}};
    x.Print(text, o);
}

void PulseGet(Context &x, const Options &)
{
    x.Open();
    UCHAR value = 0;
    x.NeedIoBase();
    CheckCall(board::ReadPulseRegister(x.card, value), "TZ810mReadIoByte");
    const unsigned ns = board::PulseNsFromRegister(value);
    x.Print(Format("%u ns\n", ns), {{"pulse_ns", ns}});
}

void PulseSet(Context &x, const Options &o)
{
    const unsigned ns = Decimal(o.pulseNs, board::kPulseMinNs, board::kPulseMaxNs, "NS");
    const std::optional<UCHAR> code = board::PulseCodeFromNs(ns);
    if (!code)
        Usage(Format("%u ns is not one of 30, 60, ... 450", ns));
    x.Open();
    const UCHAR value = board::PulseRegisterValue(*code);
    if (x.Planned({Format("%02x to the pulse register (I/O 0x%lx): %u ns", value,
                          static_cast<unsigned long>(x.IoBase() + board::kRegPulse), ns)},
                  {{"pulse_ns", ns}, {"register", value}}))
        return;
    CheckCall(board::WritePulseRegister(x.card, value), "TZ810mWriteIoByte");
    x.Print(Format("pulse width set to %u ns\n", ns), {{"pulse_ns", ns}});
}

void SpiSet(Context &x, const Options &o)
{
    const std::string &mode = o.spiMode, &clock = o.spiClock;
    const ULONG code = board::SpiModeCode(mode == "spi4", clock == "15.6");
    x.Open();
    const json object = {
        {"mode", mode}, {"clock_khz", clock == "15.6" ? 15600 : 31300}, {"code", code}};
    if (x.Planned({Format("stream mode code %lu to card %lu (TZ810SetStream): %s, %s MHz",
                          static_cast<unsigned long>(code),
                          static_cast<unsigned long>(x.card.index), mode.c_str(), clock.c_str())},
                  object))
        return;
    CheckCall(x.lib.TZ810SetStream(x.card.index, code), "TZ810SetStream");
    x.Print(Format("SPI set: %s, %s MHz\n", mode.c_str(), clock.c_str()), object);
}

constexpr unsigned kMaxInterrupts = 1000000;
constexpr unsigned kMaxTimeoutSeconds = 24 * 60 * 60;

// Seconds as a person types them, "5" or "0.5": nothing a number reader
// would also take (1e10, nan, 0x10), more than 0 and at most a day.
double Seconds(const std::string &text)
{
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string part = point == std::string::npos ? "0" : text.substr(point + 1);
    auto digits = [](const std::string &t) {
        return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
    };
    const double seconds = digits(whole) && digits(part) ? std::strtod(text.c_str(), nullptr) : 0;
    if (seconds <= 0 || seconds > kMaxTimeoutSeconds)
        Usage(Format("--timeout '%s' is not a number of seconds above 0 and at most %u (a day)",
                     text.c_str(), kMaxTimeoutSeconds));
    return seconds;
}

void IrqWatch(Context &x, const Options &o)
{
    const std::string &kind = o.irqKind;
    const unsigned count = Decimal(o.irqCount, 1, kMaxInterrupts, "--count");
    const double timeout = Seconds(o.irqTimeout);
    const board::InterruptMode mode =
        kind == "edge" ? board::InterruptMode::Edge : board::InterruptMode::Level;
    x.Open();
    const ULONG base = x.IoBase();
    const UCHAR arm = mode == board::InterruptMode::Edge ? board::kArmEdge : board::kArmLevel;
    if (x.Planned({"the interrupt routine to card " + std::to_string(x.card.index) +
                       " (TZ810mSetIntRoutine)",
                   Format("%02x to the interrupt register (I/O 0x%lx), arming it for %s", arm,
                          static_cast<unsigned long>(base + board::kRegInterrupt), kind.c_str()),
                   Format("GP0 (I/O 0x%lx) up and down to trigger it, then a wait of up to %g s "
                          "for %s",
                          static_cast<unsigned long>(base + board::kRegGp0), timeout,
                          Counted(count, "call").c_str())},
                  {{"kind", kind}, {"count", count}, {"armed", arm}}))
        return;
    // The table goes with this command: a late call of the routine reaches
    // nothing once the watcher is gone.
    board::InterruptWatcher watcher(mode);
    watcher.Watch(x.card);
    if (!watcher.Arm(mode))
        throw Stop{kExitCallFailed, "TZ810mWriteIoByte failed (arming the interrupt)"};
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long long>(timeout * 1e6));
    // Ctrl-C ends a long watch at once: nothing is in progress between two
    // interrupts.
    auto waiting = [&] {
        return std::chrono::steady_clock::now() < deadline && !x.host.Interrupted();
    };
    while (watcher.Calls(mode) < count && waiting()) {
        const unsigned before = watcher.Calls(mode);
        watcher.Fire();
        while (watcher.Calls(mode) == before && waiting())
            x.host.Sleep(1);
    }
    const unsigned seen = watcher.Calls(mode);
    if (seen < count && x.host.Interrupted())
        throw Stop{kExitInterrupted, Format("interrupted after %u of %s", seen,
                                            Counted(count, kind + " interrupt").c_str())};
    if (seen < count)
        throw Stop{kExitCallFailed,
                   Format("%u of %s within %g s; is pin A15 joined to INT# (the jumper)?", seen,
                          Counted(count, kind + " interrupt").c_str(), timeout)};
    x.Print(Counted(seen, kind + " interrupt") + "\n", {{"kind", kind}, {"count", seen}});
}

}  // namespace

void AddList(Registry &r)
{
    r.Single("list", "the cards at indices 0-15", List);
}

void AddInfo(Registry &r)
{
    r.Single("info", "the card's chip, identity, resources, state", Info);
}

void AddPulse(Registry &r)
{
    CLI::App *pulse = r.Group("pulse", "access pulse width");
    r.Add(pulse, "get", "in ns", PulseGet);
    r.Add(pulse, "set", "set the width", PulseSet)
        ->add_option("NS", r.options.pulseNs, "decimal ns: 30, 60, ... 450")
        ->required();
}

void AddSpi(Registry &r)
{
    CLI::App *spi = r.Group("spi", "SPI mode and clock");
    CLI::App *set = r.Add(spi, "set", "set mode and clock", SpiSet);
    set->add_option("MODE", r.options.spiMode, "spi3 or spi4")
        ->required()
        ->check(CLI::IsMember({"spi3", "spi4"}));
    set->add_option("CLOCK", r.options.spiClock, "15.6 or 31.3 (MHz)")
        ->required()
        ->check(CLI::IsMember({"15.6", "31.3"}));
}

void AddIrq(Registry &r)
{
    CLI::App *irq = r.Group("irq", "interrupts");
    CLI::App *watch = r.Add(irq, "watch", "arm, trigger, wait for the routine", IrqWatch);
    watch->add_option("KIND", r.options.irqKind, "level or edge")
        ->required()
        ->check(CLI::IsMember({"level", "edge"}));
    watch->add_option("--count", r.options.irqCount, "calls to wait for, decimal (default 1)")
        ->type_name("N");
    watch
        ->add_option("--timeout", r.options.irqTimeout,
                     "seconds to wait, decimal, at most a day (default 5)")
        ->type_name("S");
}

}  // namespace tzctl
