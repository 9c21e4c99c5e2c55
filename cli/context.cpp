// The pieces every tzctl command uses.
#include "context.h"

#include <cstdarg>
#include <cstdio>

namespace tzctl {

std::string Format(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
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

const char *ChipName(board::Chip chip)
{
    return chip == board::Chip::TZ820 ? "TZ820" : chip == board::Chip::TZ810 ? "TZ810" : "unknown";
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

Context::~Context()
{
    if (opened)
        lib.TZ810mCloseDevice(index);
}

void Context::Open(bool anyChip)
{
    switch (board::OpenCard(lib, index, card)) {
    case board::OpenStatus::NoCard:
        throw Stop{kExitNoCard, Format("no card at index %lu", static_cast<unsigned long>(index))};
    case board::OpenStatus::Unrecognised:
        opened = anyChip && board::OpenForRepair(lib, index);
        if (opened)
            return;
        throw Stop{kExitNoCard, Format("card %lu not recognised (device id byte %02x)",
                                       static_cast<unsigned long>(index), card.deviceIdLow)};
    case board::OpenStatus::Opened:
        opened = true;
    }
}

void Context::NeedTz820(const char *command)
{
    if (card.chip != board::Chip::TZ820)
        throw Stop{kExitNoCard, Format("%s needs a TZ820; card %lu is a %s", command,
                                       static_cast<unsigned long>(index), ChipName(card.chip))};
}

ULONG Context::IoBase()
{
    ULONG base = 0;
    CheckCall(lib.TZ810mGetIoBaseAddr(index, &base), "TZ810mGetIoBaseAddr");
    return base;
}

ULONG Context::MemBase()
{
    ULONG base = 0;
    CheckCall(lib.TZ820mGetMemBaseAddr(index, &base), "TZ820mGetMemBaseAddr");
    return base;
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

void Registry::Single(const char *name, const char *description, Handler handler)
{
    app.add_subcommand(name, description);
    table.push_back({name, "", handler});
}

CLI::App *Registry::Group(const char *name, const char *description)
{
    return app.add_subcommand(name, description)->require_subcommand(1);
}

CLI::App *Registry::Add(CLI::App *group, const char *name, const char *description, Handler handler)
{
    table.push_back({group->get_name(), name, handler});
    return group->add_subcommand(name, description);
}

}  // namespace tzctl
