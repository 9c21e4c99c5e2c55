// The pieces every tzctl command uses.
#include "context.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>

bool CliHost::CanCreate(const std::string &path)
{
    namespace fs = std::filesystem;
    const fs::path file = fs::u8path(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::error_code error;
    return fs::is_directory(folder, error) && !fs::is_directory(file, error);
}

bool CliHost::Exists(const std::string &path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::u8path(path), error);
}

namespace tzctl {

std::string Format(const char *format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(static_cast<std::size_t>(std::max(size, 0)) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return std::string(text.data(), text.size() - 1);
}

std::string Count(std::size_t n, const std::string &noun)
{
    return Format("%lu %s%s", static_cast<unsigned long>(n), noun.c_str(), n == 1 ? "" : "s");
}

void Usage(const std::string &message)
{
    throw Stop{kExitUsage, message};
}

void Check(const board::Outcome &o, const char *what)
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

void Guarded(const std::function<void()> &change, const std::function<board::Restoration()> &undo,
             const std::string &what)
{
    try {
        change();
    } catch (const Stop &failure) {
        const board::Restoration r = undo();
        switch (r.kind) {
        case board::Restoration::Unchanged:
            throw;
        case board::Restoration::PutBack:
            throw Stop{failure.code, failure.message + "; " + what + " put back as it was"};
        case board::Restoration::NotRestored:
            throw Stop{kExitNotRestored, failure.message + "; " + what +
                                             " not restored: " + board::Describe(r.outcome)};
        }
    }
}

json ByteArray(const Bytes &bytes)
{
    return json(bytes);
}

json IdentityJson(const board::Identity &id)
{
    return {{"vid", id.vid}, {"did", id.did}, {"rid", id.rid}, {"svid", id.svid}, {"sid", id.sid}};
}

std::uint32_t Hex(const std::string &text, std::uint32_t max, const char *what)
{
    std::uint32_t v = 0;
    if (!ParseHexNumber(text, max, v))
        Usage(Format("%s '%s' is not a hex number up to 0x%lx", what, text.c_str(),
                     static_cast<unsigned long>(max)));
    return v;
}

std::uint32_t Length(const std::string &text, std::uint32_t max)
{
    const std::uint32_t length = Hex(text, max, "length");
    if (length == 0)
        Usage("a length of 0 asks for nothing; give 1 or more");
    return length;
}

unsigned Decimal(const std::string &text, unsigned min, unsigned max, const char *what)
{
    // Held just above max, so no number of digits overflows it.
    unsigned long long v = 0;
    bool digits = !text.empty();
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        v = std::min(v * 10 + static_cast<unsigned>(c - '0'), max + 1ull);
    }
    if (!digits || v < min || v > max)
        Usage(
            Format("%s '%s' is not a decimal number from %u to %u", what, text.c_str(), min, max));
    return static_cast<unsigned>(v);
}

Context::~Context()
{
    if (opened)
        lib.TZ810mCloseDevice(card.index);
}

void Context::NeedWritable(const std::string &path)
{
    if (!host.CanCreate(path))
        Usage("cannot write " + path);
}

std::string OpenError(board::OpenStatus status, const board::Card &card)
{
    const unsigned long i = card.index;
    switch (status) {
    case board::OpenStatus::NoCard:
        return Format("no card at index %lu", i);
    case board::OpenStatus::Unrecognised:
        return Format("card %lu not recognised (device id byte %02x)", i, card.deviceIdLow);
    case board::OpenStatus::OpenFailed:
        return Format("card %lu could not be opened", i);
    case board::OpenStatus::Opened:
        break;
    }
    return "";
}

std::string LibraryText(const CliHost::LibraryInfo &library)
{
    if (library.simulated)
        return "simulated board library, no card" +
               (library.path.empty() ? "" : " (" + library.path + ")");
    return (library.path.empty() ? std::string("TZ810DLL.DLL") : library.path) +
           (library.version.empty() ? ", no file version" : ", file version " + library.version);
}

json LibraryJson(const CliHost::LibraryInfo &library)
{
    return {{"simulated", library.simulated}, {"path", library.path}, {"version", library.version}};
}

void Context::Open(bool anyChip)
{
    const board::OpenStatus status = board::OpenCard(lib, card.index, card);
    opened = status == board::OpenStatus::Opened ||
             (status == board::OpenStatus::Unrecognised && anyChip && board::OpenForRepair(card));
    if (!opened)
        throw Stop{kExitNoCard, OpenError(status, card)};
}

void Context::NeedTz820(const char *command)
{
    if (card.chip != board::Chip::TZ820)
        throw Stop{kExitNoCard,
                   Format("%s needs a TZ820; card %lu is a %s", command,
                          static_cast<unsigned long>(card.index), ChipName(card.chip))};
}

void Context::NeedIoBase()
{
    CheckCall(card.ioBaseKnown, "TZ810mGetIoBaseAddr");
}

ULONG Context::IoBase()
{
    NeedIoBase();
    return card.ioBase;
}

ULONG Context::MemBase()
{
    CheckCall(card.memBaseKnown, "TZ820mGetMemBaseAddr");
    return card.memBase;
}

board::Pause Context::Pause()
{
    return [this](unsigned ms) {
        host.Sleep(ms);
    };
}

board::Progress Context::Progress()
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

void Context::Print(const std::string &text, const json &object)
{
    host.Out(asJson ? object.dump() + "\n" : text);
}

CLI::App *Registry::Globals(CLI::App *command)
{
    command->add_option("--card", options.card, "card index, decimal 0-15 (default 0)")
        ->type_name("N")
        ->group("Global options");
    command->add_flag("--json", options.asJson, "one JSON object on stdout, errors included")
        ->group("Global options");
    return command;
}

void Registry::Single(const char *name, const char *description, Handler handler)
{
    Globals(app.add_subcommand(name, description));
    table.push_back({name, "", handler});
}

CLI::App *Registry::Group(const char *name, const char *description)
{
    return Globals(app.add_subcommand(name, description)->require_subcommand(1));
}

CLI::App *Registry::Add(CLI::App *group, const char *name, const char *description, Handler handler)
{
    table.push_back({group->get_name(), name, handler});
    return Globals(group->add_subcommand(name, description));
}

}  // namespace tzctl
