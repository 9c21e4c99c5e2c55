// The commands of tzctl. Each opens the card (a TZ820 with its MEM window),
// does its work through the board layer and closes the card again. Input is
// checked before anything is sent to the card.
#include "tzctl.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <sstream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "board.h"
#include "report.h"

#ifndef TZCTL_VERSION
#define TZCTL_VERSION "0.0.0"
#endif

namespace {

using json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// Ends a command with its exit code and the one line for stderr.
struct Stop {
    int code;
    std::string message;
};

std::string Format(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

[[noreturn]] void Usage(const std::string &message)
{
    throw Stop{kExitUsage, message};
}

void Check(const board::Outcome &o, const char *what = "")
{
    switch (o.kind) {
    case board::Outcome::Ok:
        return;
    case board::Outcome::CallFailed:
        throw Stop{kExitCallFailed,
                   Format("%s failed at 0x%lx", o.call, static_cast<unsigned long>(o.address))};
    case board::Outcome::Mismatch:
        throw Stop{kExitMismatch, Format("%s: first difference at 0x%lx, %lu bytes differ", what,
                                         static_cast<unsigned long>(o.address),
                                         static_cast<unsigned long>(o.count))};
    case board::Outcome::TooLarge:
        Usage("the image is over 64 KiB");
    }
}

void CheckCall(BOOL result, const char *call)
{
    if (!result)
        throw Stop{kExitCallFailed, std::string(call) + " failed"};
}

std::uint32_t Hex(const std::string &text, std::uint32_t max, const char *what)
{
    std::uint32_t v = 0;
    if (!ParseHexNumber(text, max, v))
        Usage(Format("%s '%s' is not a hex number up to 0x%lx", what, text.c_str(),
                     static_cast<unsigned long>(max)));
    return v;
}

// Everything a command works with.
struct Context {
    CliHost &host;
    DeviceLibrary lib;
    ULONG index = 0;
    bool asJson = false;
    bool opened = false;
    board::Card card;

    explicit Context(CliHost &h) : host(h)
    {
    }

    ~Context()
    {
        if (opened)
            lib.TZ810mCloseDevice(index);
    }

    void Open()
    {
        switch (board::OpenCard(lib, index, card)) {
        case board::OpenStatus::NoCard:
            throw Stop{kExitNoCard,
                       Format("no card at index %lu", static_cast<unsigned long>(index))};
        case board::OpenStatus::Unrecognised:
            throw Stop{kExitNoCard, Format("card %lu not recognised (device id byte %02x)",
                                           static_cast<unsigned long>(index), card.deviceIdLow)};
        case board::OpenStatus::Opened:
            opened = true;
        }
    }

    void NeedTz820(const char *command)
    {
        if (card.chip != board::Chip::TZ820)
            throw Stop{kExitNoCard, Format("%s needs a TZ820; card %lu is a %s", command,
                                           static_cast<unsigned long>(index), ChipName(card.chip))};
    }

    ULONG IoBase()
    {
        ULONG base = 0;
        CheckCall(lib.TZ810mGetIoBaseAddr(index, &base), "TZ810mGetIoBaseAddr");
        return base;
    }

    ULONG MemBase()
    {
        ULONG base = 0;
        CheckCall(lib.TZ820mGetMemBaseAddr(index, &base), "TZ820mGetMemBaseAddr");
        return base;
    }

    board::Pause Pause()
    {
        return [this](unsigned ms) {
            host.Sleep(ms);
        };
    }

    board::Progress Progress()
    {
        if (!host.ErrIsConsole())
            return {};
        return [this](board::FlashStep step, std::uint32_t done, std::uint32_t total) {
            static const char *const kSteps[] = {"read", "erase", "write", "verify"};
            host.Err(Format("\rflash %-6s %5lu/%lu%s", kSteps[static_cast<int>(step)],
                            static_cast<unsigned long>(done), static_cast<unsigned long>(total),
                            done == total ? "\n" : ""));
        };
    }

    // Text or JSON, whichever was asked for.
    void Print(const std::string &text, const json &object)
    {
        host.Out(asJson ? object.dump() + "\n" : text);
    }
};

json ByteArray(const Bytes &bytes)
{
    return json(bytes);
}

// ------------------------------------------------------------- commands

void List(Context &x)
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
    x.Print(text, {{"cards", cards}});
}

json IdentityJson(const board::Identity &id)
{
    return {{"vid", id.vid}, {"did", id.did}, {"rid", id.rid}, {"svid", id.svid}, {"sid", id.sid}};
}

void Info(Context &x)
{
    x.Open();
    board::Identity id;
    Check(board::ReadConfigIdentity(x.lib, x.index, id));
    const ULONG io = x.IoBase();
    const bool tz820 = x.card.chip == board::Chip::TZ820;
    const ULONG mem = tz820 ? x.MemBase() : 0;
    ULONG line = 0;
    CheckCall(x.lib.TZ810mGetIntLine(x.index, &line), "TZ810mGetIntLine");
    UCHAR pulse = 0;
    CheckCall(x.lib.TZ810mReadIoByte(x.index, io + TZ_REG_PULSE, &pulse), "TZ810mReadIoByte");
    const ULONG driver = x.lib.TZ810GetDrvVersion();
    const board::FlashId flash = board::IdentifyFlash(x.lib, x.index);

    std::string text = Format("card      %lu\nchip      %s\n", static_cast<unsigned long>(x.index),
                              ChipName(x.card.chip));
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

    json o = {{"card", x.index},
              {"chip", ChipName(x.card.chip)},
              {"identity", IdentityJson(id)},
              {"io_base", io},
              {"mem_base", tz820 ? json(mem) : json(nullptr)},
              {"int_line", line},
              {"pulse_ns", board::PulseNsFromRegister(pulse)},
              {"io_32bit", tz820 ? json((pulse & board::k32BitIo) != 0) : json(nullptr)},
              {"driver_version", driver},
              {"flash_identified", flash.identified}};
    x.Print(text, o);
}

// cfg and i2c share their get, set and dump.
struct ByteCommand {
    board::ByteSpace space;
    const char *name;
};

void ByteGet(Context &x, const ByteCommand &bc, const std::string &at, const std::string &len,
             bool lenGiven)
{
    const std::uint32_t start = Hex(at, 0xFF, "offset");
    const std::uint32_t count = lenGiven ? Hex(len, 0x100, "length") : 1;
    if (start + count > 0x100)
        Usage("the range runs past 0xff");
    x.Open();
    Bytes bytes;
    Check(board::ReadBytes(x.lib, x.index, bc.space, start, count, bytes));
    const std::string text =
        lenGiven ? HexDump(start, bytes) : Format("0x%02x\n", bytes.empty() ? 0 : bytes[0]);
    x.Print(text, {{"offset", start}, {"bytes", ByteArray(bytes)}});
}

void ByteSet(Context &x, const ByteCommand &bc, const std::string &at,
             const std::vector<std::string> &byteArgs)
{
    const std::uint32_t start = Hex(at, 0xFF, "offset");
    Bytes bytes;
    if (!ParseHexBytes(byteArgs, bytes))
        Usage("bytes must be hex pairs, e.g. 01 02 ab or 0102ab");
    if (start + bytes.size() > 0x100)
        Usage("the bytes run past 0xff");
    x.Open();
    std::vector<std::uint32_t> notTaken;
    const board::Outcome o =
        board::WriteBytesChecked(x.lib, x.index, bc.space, start, bytes, x.Pause(), &notTaken);
    if (o.kind == board::Outcome::Mismatch) {
        std::string list;
        for (std::uint32_t at : notTaken)
            list += Format(list.empty() ? "0x%02lx" : ", 0x%02lx", static_cast<unsigned long>(at));
        throw Stop{kExitMismatch, Format("%s %s %s did not take", bc.name,
                                         notTaken.size() > 1 ? "bytes" : "byte", list.c_str())};
    }
    Check(o);
    x.Print(
        Format("%zu bytes written from 0x%02lx\n", bytes.size(), static_cast<unsigned long>(start)),
        {{"offset", start}, {"written", bytes.size()}});
}

void ByteDump(Context &x, const ByteCommand &bc)
{
    x.Open();
    Bytes bytes;
    Check(board::ReadBytes(x.lib, x.index, bc.space, 0, 0x100, bytes));
    x.Print(bc.space == board::ByteSpace::Config ? ConfigDump(bytes) : I2cDump(bytes),
            {{"offset", 0}, {"bytes", ByteArray(bytes)}});
}

// I/O and MEM blocks.
struct BlockArgs {
    std::string address, length, width = "byte", output, input;
    std::vector<std::string> bytes;
    bool direct = false;
};

board::Width WidthOf(const std::string &w)
{
    return w == "dword"  ? board::Width::DoubleWord
           : w == "word" ? board::Width::Word
                         : board::Width::Byte;
}

void CheckBlockRequest(board::Space space, board::Width width, std::uint32_t address,
                       std::uint32_t length)
{
    switch (board::CheckBlock(space, width, address, length)) {
    case board::BlockCheck::Ok:
        return;
    case board::BlockCheck::TooLong:
        Usage("at most 0x8000 bytes at a time");
    case board::BlockCheck::PastWindow:
        Usage("offset + length runs past 0x7fff, the end of the MEM window");
    case board::BlockCheck::Misaligned:
        Usage(width == board::Width::Word
                  ? "word access needs an address and a length that are multiples of 2"
                  : "dword access needs an address and a length that are multiples of 4");
    case board::BlockCheck::WidthNotAllowed:
        Usage("the MEM window takes byte or dword access");
    }
}

void Block(Context &x, board::Space space, bool write, const BlockArgs &a)
{
    const board::Width width = WidthOf(a.width);
    const std::uint32_t address = Hex(a.address, 0xFFFF, "address");
    Bytes bytes;
    if (write) {
        if (a.bytes.empty() == a.input.empty())
            Usage("give either the bytes or -i FILE");
        if (!a.input.empty()) {
            const auto r = x.host.ReadFile(a.input, board::kMaxBlockBytes, bytes);
            if (r == CliHost::ReadResult::TooLarge)
                Usage("at most 0x8000 bytes at a time");
            if (r != CliHost::ReadResult::Ok)
                Usage("cannot read " + a.input);
        } else if (!ParseHexBytes(a.bytes, bytes)) {
            Usage("bytes must be hex pairs, e.g. 01 02 ab or 0102ab");
        }
    } else {
        bytes.resize(Hex(a.length, 0xFFFFFFFF, "length"));
    }
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    CheckBlockRequest(space, width, address, length);

    x.Open();
    ULONG passed = address;
    if (space == board::Space::Mem) {
        x.NeedTz820("mem");
        passed += x.MemBase();
    } else if (!a.direct) {
        passed += x.IoBase();
    }
    std::uint8_t none = 0;
    CheckCall(x.lib.TZ810mAccessBlock(x.index, board::AccessCode(space, write, width), passed,
                                      bytes.empty() ? &none : bytes.data(), length),
              "TZ810mAccessBlock");
    if (write) {
        x.Print(Format("%lu bytes written at 0x%lx\n", static_cast<unsigned long>(length),
                       static_cast<unsigned long>(passed)),
                {{"address", passed}, {"written", length}});
    } else if (!a.output.empty()) {
        if (!x.host.ReplaceFile(a.output, bytes))
            Usage("cannot write " + a.output);
        x.Print(
            Format("%lu bytes saved to %s\n", static_cast<unsigned long>(length), a.output.c_str()),
            {{"address", passed}, {"saved", length}});
    } else {
        x.Print(HexDump(address, bytes), {{"address", passed}, {"bytes", ByteArray(bytes)}});
    }
}

// Identity.
void IdentityShow(Context &x)
{
    x.Open();
    board::IdentityBlock block;
    Check(board::ReadIdentityBlock(x.lib, x.index, block));
    board::Identity now;
    Check(board::ReadConfigIdentity(x.lib, x.index, now));
    const board::Identity stored = board::DecodeIdentity(block);
    const bool valid = board::HasIdentityHeader(block);
    std::string text = "      eeprom  config\n";
    text += Format("vid   %04x    %04x\ndid   %04x    %04x\nrid   %02x      %02x\n", stored.vid,
                   now.vid, stored.did, now.did, stored.rid, now.rid);
    text += Format("svid  %04x    %04x\nsid   %04x    %04x\n", stored.svid, now.svid, stored.sid,
                   now.sid);
    text += Format("header %02x, %s\n", block[0], valid ? "valid" : "not valid");
    json eeprom = IdentityJson(stored);
    eeprom["header_valid"] = valid;
    x.Print(text, {{"eeprom", eeprom}, {"config", IdentityJson(now)}});
}

struct IdentityArgs {
    std::string vid, did, rid, svid, sid;
    bool force = false;
};

void IdentitySet(Context &x, const IdentityArgs &a)
{
    // Every value is checked before the card is touched.
    auto word = [](const std::string &t, const char *what) {
        return t.empty() ? std::optional<std::uint16_t>()
                         : std::optional<std::uint16_t>(Hex(t, 0xFFFF, what));
    };
    const auto vid = word(a.vid, "VID"), did = word(a.did, "DID"), svid = word(a.svid, "SVID"),
               sid = word(a.sid, "SID");
    const std::optional<UCHAR> rid =
        a.rid.empty() ? std::nullopt : std::optional<UCHAR>(Hex(a.rid, 0xFF, "RID"));
    x.Open();
    board::IdentityBlock block;
    Check(board::ReadIdentityBlock(x.lib, x.index, block));
    // A block without its header holds nothing: the card runs on what
    // configuration space shows.
    board::Identity id;
    if (board::HasIdentityHeader(block))
        id = board::DecodeIdentity(block);
    else
        Check(board::ReadConfigIdentity(x.lib, x.index, id));
    id.vid = vid.value_or(id.vid);
    id.did = did.value_or(id.did);
    id.rid = rid.value_or(id.rid);
    id.svid = svid.value_or(id.svid);
    id.sid = sid.value_or(id.sid);
    if (!a.force) {
        switch (board::AssessIdentity(id)) {
        case board::IdentityRisk::Invisible:
            Usage("VID and DID both ffff hide the card from the system; nothing written "
                  "(--force writes it)");
        case board::IdentityRisk::UnknownDevice:
            Usage(Format("no program here recognises DID %04x (its low byte must be 30, 31 or "
                         "34); nothing written (--force writes it)",
                         id.did));
        case board::IdentityRisk::None:
            break;
        }
    }
    const board::IdentityBlock wanted = board::EncodeIdentity(id);
    Check(board::WriteIdentityBlock(x.lib, x.index, wanted, x.Pause()));
    Check(board::ReadIdentityBlock(x.lib, x.index, block));
    const board::Difference d = board::Compare(wanted.data(), block.data(), wanted.size());
    if (d.count)
        throw Stop{kExitMismatch, Format("identity block reads back differently: first difference "
                                         "at 0x%02lx, %lu bytes differ",
                                         static_cast<unsigned long>(d.first),
                                         static_cast<unsigned long>(d.count))};
    x.Print(Format("identity written: vid %04x did %04x rid %02x svid %04x sid %04x; it takes "
                   "effect at the card's next power-up\n",
                   id.vid, id.did, id.rid, id.svid, id.sid),
            {{"written", IdentityJson(id)}});
}

// Flash.
Bytes ReadImage(Context &x, const std::string &path)
{
    Bytes image;
    switch (x.host.ReadFile(path, board::kFlashSize, image)) {
    case CliHost::ReadResult::Ok:
        return image;
    case CliHost::ReadResult::TooLarge:
        Usage(path + " is over 64 KiB");
    default:
        Usage("cannot read " + path);
    }
}

void FlashCommand(Context &x, const std::string &what, const std::string &file, bool noErase,
                  bool noVerify)
{
    Bytes image;
    if (what == "write" || what == "verify")
        image = ReadImage(x, file);
    x.Open();
    if (what == "id") {
        const board::FlashId id = board::IdentifyFlash(x.lib, x.index);
        const std::string reply =
            Format("%02x %02x %02x %02x", id.reply[0], id.reply[1], id.reply[2], id.reply[3]);
        if (!id.identified)
            throw Stop{kExitNoCard, "no flash identified (reply " + reply + ")"};
        x.Print("flash identified (reply " + reply + ")\n",
                {{"identified", true}, {"reply", json(id.reply)}});
    } else if (what == "read") {
        Check(board::ReadFlash(x.lib, image, x.Progress()));
        if (!x.host.ReplaceFile(file, image))
            Usage("cannot write " + file);
        x.Print(Format("flash read into %s\n", file.c_str()), {{"read", image.size()}});
    } else if (what == "write") {
        board::FlashWriteOptions options;
        options.erase = !noErase;
        options.verify = !noVerify;
        Check(board::WriteFlash(x.lib, image, options, x.Progress()), "verify failed");
        x.Print(Format("%zu bytes written%s\n", image.size(), noVerify ? "" : " and verified"),
                {{"written", image.size()}, {"erased", !noErase}, {"verified", !noVerify}});
    } else if (what == "verify") {
        Check(board::VerifyFlash(x.lib, image, x.Progress()), "verify failed");
        x.Print(Format("flash matches %s\n", file.c_str()), {{"verified", image.size()}});
    } else {
        Check(board::EraseFlash(x.lib, true, x.Progress()), "flash not blank");
        x.Print("flash erased and blank\n", {{"erased", true}});
    }
}

// Pulse width and SPI.
void PulseGet(Context &x)
{
    x.Open();
    UCHAR value = 0;
    CheckCall(x.lib.TZ810mReadIoByte(x.index, x.IoBase() + TZ_REG_PULSE, &value),
              "TZ810mReadIoByte");
    const unsigned ns = board::PulseNsFromRegister(value);
    x.Print(Format("%u ns\n", ns), {{"pulse_ns", ns}});
}

void PulseSet(Context &x, unsigned ns)
{
    const std::optional<UCHAR> code = board::PulseCodeFromNs(ns);
    if (!code)
        Usage(Format("%u ns is not one of 30, 60, ... 450", ns));
    x.Open();
    CheckCall(x.lib.TZ810mWriteIoByte(x.index, x.IoBase() + TZ_REG_PULSE,
                                      board::PulseRegisterValue(*code)),
              "TZ810mWriteIoByte");
    x.Print(Format("pulse width set to %u ns\n", ns), {{"pulse_ns", ns}});
}

void SpiSet(Context &x, const std::string &mode, const std::string &clock)
{
    const ULONG code = board::SpiModeCode(mode == "spi4", clock == "15.6");
    x.Open();
    CheckCall(x.lib.TZ810SetStream(x.index, code), "TZ810SetStream");
    x.Print(Format("SPI set: %s, %s MHz\n", mode.c_str(), clock.c_str()),
            {{"mode", mode}, {"clock_khz", clock == "15.6" ? 15600 : 31300}, {"code", code}});
}

// Interrupts. The routine takes no arguments, so what it answers is set
// aside before it is registered; it runs on the library's thread.
std::atomic<const DeviceLibrary *> g_lib{nullptr};
std::atomic<ULONG> g_index{0}, g_ioBase{0};
std::atomic<int> g_trigger{0};
std::atomic<unsigned> g_calls{0};

void TZAPI WatchRoutine(void)
{
    const DeviceLibrary *lib = g_lib.load();
    if (!lib)
        return;
    board::Acknowledge(*lib, g_index, g_ioBase, static_cast<board::Trigger>(g_trigger.load()));
    ++g_calls;
}

void IrqWatch(Context &x, const std::string &kind, unsigned count, double timeout)
{
    const board::Trigger trigger = kind == "edge" ? board::Trigger::Edge : board::Trigger::Level;
    x.Open();
    g_index = x.index;
    g_ioBase = x.IoBase();
    g_trigger = static_cast<int>(trigger);
    g_calls = 0;
    g_lib = &x.lib;

    // The table goes with this command; a late call must not reach it.
    struct Forget {
        ~Forget()
        {
            g_lib = nullptr;
        }
    } forget;

    x.lib.TZ810mSetIntRoutine(x.index, WatchRoutine);
    if (!board::Arm(x.lib, x.index, g_ioBase, trigger))
        throw Stop{kExitCallFailed, "TZ810mWriteIoByte failed (arming the interrupt)"};
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long long>(timeout * 1e6));
    while (g_calls < count && std::chrono::steady_clock::now() < deadline) {
        const unsigned before = g_calls;
        board::Fire(x.lib, x.index, g_ioBase, trigger);
        while (g_calls == before && std::chrono::steady_clock::now() < deadline)
            x.host.Sleep(1);
    }
    const unsigned seen = g_calls;
    if (seen < count)
        throw Stop{kExitCallFailed,
                   Format("%u of %u %s interrupts within %g s; is pin A15 joined to INT# "
                          "(the jumper)?",
                          seen, count, kind.c_str(), timeout)};
    x.Print(Format("%u %s interrupts\n", seen, kind.c_str()), {{"kind", kind}, {"count", seen}});
}

}  // namespace

int RunTzctl(const std::vector<std::string> &args, CliHost &host)
{
    Context x(host);
    CLI::App app{"tzctl: TZ810/TZ820 cards from the command line", "tzctl"};
    app.set_version_flag("--version", std::string(TZCTL_VERSION));
    app.fallthrough();
    app.require_subcommand(1);
    unsigned card = 0;
    CLI::Option *cardOption =
        app.add_option("--card", card, "card index, 0-15 (default 0)")->check(CLI::Range(0u, 15u));
    app.add_flag("--json", x.asJson, "one JSON object on stdout");
    bool all = false;
    app.add_flag("--all", all, "selftest: every card that list finds")->excludes(cardOption);

    CLI::App *list = app.add_subcommand("list", "the cards at indices 0-15");
    CLI::App *info = app.add_subcommand("info", "the card's chip, identity, resources, state");

    std::string at, len, what;
    std::vector<std::string> byteArgs;
    CLI::App *cfg = app.add_subcommand("cfg", "PCI configuration space")->require_subcommand(1);
    CLI::App *i2c = app.add_subcommand("i2c", "the 24C02 at 0x50")->require_subcommand(1);
    for (CLI::App *space : {cfg, i2c}) {
        space->add_subcommand("dump", "all 256 bytes");
        CLI::App *get = space->add_subcommand("get", "one byte, or LEN bytes as a dump");
        get->add_option("ADDR", at, "hex")->required();
        get->add_option("LEN", len, "hex");
        CLI::App *set = space->add_subcommand("set", "write bytes and read them back");
        set->add_option("ADDR", at, "hex")->required();
        set->add_option("BYTES", byteArgs, "hex pairs")->required();
    }

    BlockArgs block;
    CLI::App *io = app.add_subcommand("io", "I/O space")->require_subcommand(1);
    CLI::App *mem = app.add_subcommand("mem", "a TZ820's MEM window")->require_subcommand(1);
    for (CLI::App *space : {io, mem}) {
        const bool isIo = space == io;
        auto widths = isIo ? std::vector<std::string>{"byte", "word", "dword"}
                           : std::vector<std::string>{"byte", "dword"};
        CLI::App *read = space->add_subcommand("read", "a block, shown as a dump");
        CLI::App *write = space->add_subcommand("write", "a block from bytes or a file");
        for (CLI::App *c : {read, write}) {
            c->add_option("ADDR", block.address,
                          isIo ? "hex offset in the I/O window" : "hex offset in the MEM window")
                ->required();
            c->add_option("--width", block.width, "access width (default byte)")
                ->check(CLI::IsMember(widths));
            if (isIo)
                c->add_flag("--direct", block.direct, "ADDR is an absolute I/O address");
        }
        read->add_option("LEN", block.length, "hex, at most 8000")->required();
        read->add_option("-o", block.output, "write the raw bytes to this file");
        write->add_option("BYTES", block.bytes, "hex pairs");
        write->add_option("-i", block.input, "take the bytes from this file");
    }

    IdentityArgs ida;
    CLI::App *identity =
        app.add_subcommand("identity", "the identity block")->require_subcommand(1);
    CLI::App *identityShow = identity->add_subcommand("show", "EEPROM values beside config space");
    CLI::App *identitySet = identity->add_subcommand("set", "rewrite the block (next power-up)");
    identitySet->add_option("--vid", ida.vid, "hex");
    identitySet->add_option("--did", ida.did, "hex");
    identitySet->add_option("--rid", ida.rid, "hex");
    identitySet->add_option("--svid", ida.svid, "hex");
    identitySet->add_option("--sid", ida.sid, "hex");
    identitySet->add_flag("--force", ida.force, "write values that would lose the card");

    std::string file;
    bool noErase = false, noVerify = false;
    CLI::App *flash = app.add_subcommand("flash", "the 64 KiB SPI flash")->require_subcommand(1);
    flash->add_subcommand("id", "ask the flash for its id");
    flash->add_subcommand("read", "the chip into FILE")->add_option("FILE", file)->required();
    CLI::App *flashWrite = flash->add_subcommand("write", "unlock, erase, write, verify");
    flashWrite->add_option("FILE", file)->required();
    flashWrite->add_flag("--no-erase", noErase);
    flashWrite->add_flag("--no-verify", noVerify);
    flash->add_subcommand("verify", "compare with FILE")->add_option("FILE", file)->required();
    flash->add_subcommand("erase", "erase and check blank");

    unsigned ns = 0;
    CLI::App *pulse = app.add_subcommand("pulse", "access pulse width")->require_subcommand(1);
    CLI::App *pulseGet = pulse->add_subcommand("get", "in ns");
    pulse->add_subcommand("set", "30-450 ns in steps of 30")->add_option("NS", ns)->required();

    std::string mode, clock;
    CLI::App *spi = app.add_subcommand("spi", "SPI mode and clock")->require_subcommand(1);
    CLI::App *spiSet = spi->add_subcommand("set", "MODE spi3|spi4, CLOCK 15.6|31.3 (MHz)");
    spiSet->add_option("MODE", mode)->required()->check(CLI::IsMember({"spi3", "spi4"}));
    spiSet->add_option("CLOCK", clock)->required()->check(CLI::IsMember({"15.6", "31.3"}));

    std::string kind;
    unsigned count = 1;
    double timeout = 5;
    CLI::App *irq = app.add_subcommand("irq", "interrupts")->require_subcommand(1);
    CLI::App *watch = irq->add_subcommand("watch", "arm, trigger, wait for the routine");
    watch->add_option("KIND", kind)->required()->check(CLI::IsMember({"level", "edge"}));
    watch->add_option("--count", count, "calls to wait for (default 1)")
        ->check(CLI::Range(1u, 1000000u));
    watch->add_option("--timeout", timeout, "seconds (default 5)")->check(CLI::PositiveNumber);

    SelftestArgs selftestArgs;
    CLI::App *selftest = AddSelftestCommand(app, selftestArgs);

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        std::ostringstream out, err;
        if (e.get_exit_code() == 0) {
            app.exit(e, out, err);
            host.Out(out.str());
            return kExitOk;
        }
        host.Err(std::string("tzctl: ") + e.what() + "\n");
        return kExitUsage;
    }

    if (!host.LoadLibrary(x.lib)) {
        host.Err("tzctl: cannot load TZ810DLL.DLL\n");
        return kExitNoLibrary;
    }
    x.index = card;

    auto sub = [](CLI::App *parent) {
        return parent->get_subcommands().at(0)->get_name();
    };
    try {
        if (list->parsed())
            List(x);
        else if (info->parsed())
            Info(x);
        else if (cfg->parsed() || i2c->parsed()) {
            const bool isCfg = cfg->parsed();
            const ByteCommand bc = isCfg ? ByteCommand{board::ByteSpace::Config, "config"}
                                         : ByteCommand{board::ByteSpace::Eeprom, "EEPROM"};
            const std::string s = sub(isCfg ? cfg : i2c);
            const bool lenGiven = !len.empty();
            if (s == "dump")
                ByteDump(x, bc);
            else if (s == "get")
                ByteGet(x, bc, at, len, lenGiven);
            else
                ByteSet(x, bc, at, byteArgs);
        } else if (io->parsed() || mem->parsed()) {
            CLI::App *space = io->parsed() ? io : mem;
            Block(x, io->parsed() ? board::Space::Io : board::Space::Mem, sub(space) == "write",
                  block);
        } else if (identity->parsed()) {
            if (identityShow->parsed())
                IdentityShow(x);
            else
                IdentitySet(x, ida);
        } else if (flash->parsed())
            FlashCommand(x, sub(flash), file, noErase, noVerify);
        else if (pulse->parsed()) {
            if (pulseGet->parsed())
                PulseGet(x);
            else
                PulseSet(x, ns);
        } else if (spi->parsed())
            SpiSet(x, mode, clock);
        else if (irq->parsed())
            IrqWatch(x, kind, count, timeout);
        else if (selftest->parsed())
            return RunSelftestCommand(host, x.lib, all ? -1 : static_cast<int>(card), x.asJson,
                                      selftestArgs);
    } catch (const Stop &stop) {
        host.Err("tzctl: " + stop.message + "\n");
        return stop.code;
    }
    return kExitOk;
}
