// The pieces every tzctl command uses.
#include "context.h"

#include "stop.h"
#include "words.h"

namespace tzctl {

json ByteArray(const Bytes &bytes)
{
    return json(bytes);
}

std::string JsonLine(const json &object)
{
    return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

json IdentityJson(const board::Identity &id)
{
    return {{"vid", id.vid}, {"did", id.did}, {"rid", id.rid}, {"svid", id.svid}, {"sid", id.sid}};
}

Context::~Context()
{
    Close();
}

void Context::Close()
{
    if (opened)
        lib.TZ810mCloseDevice(card.index);
    opened = false;
}

void Context::NeedWritable(const std::string &path)
{
    if (path != "-") {
        if (!host.CanCreate(path))
            Usage("cannot write " + path);
    } else if (asJson) {
        Usage("--json and the bytes cannot share standard output; give a file for the bytes");
    } else if (host.OutIsConsole()) {
        Usage("standard output is a console; send the bytes to a file or a pipe");
    }
}

CliHost::ReadResult Context::ReadFile(const std::string &path, std::size_t maxSize, Bytes &data)
{
    if (path != "-")
        return host.ReadFile(path, maxSize, data);
    if (host.InIsConsole())
        Usage("standard input is a console; pipe or redirect the bytes into tzctl");
    return host.ReadStdin(maxSize, data);
}

bool Context::WriteFile(const std::string &path, const Bytes &data)
{
    if (path != "-")
        return host.ReplaceFile(path, data);
    textToErr = true;
    // A closed pipe is the output failing, as for text, not a bad path.
    if (!host.WriteStdout(data))
        throw Stop{kExitOutputFailed, "cannot write standard output"};
    return true;
}

std::string Shown(const std::string &path, bool output)
{
    if (path != "-")
        return path;
    return output ? "standard output" : "standard input";
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
    return (library.tracing ? "tracing library " : "") +
           (library.path.empty() ? std::string("TZ810DLL.DLL") : library.path) +
           (library.version.empty() ? ", no file version" : ", file version " + library.version) +
           (library.tracing ? "; its log names the library it passes the calls to" : "");
}

json LibraryJson(const CliHost::LibraryInfo &library)
{
    return {{"simulated", library.simulated},
            {"tracing", library.tracing},
            {"path", library.path},
            {"version", library.version}};
}

board::OpenStatus Context::TryOpen(bool anyChip)
{
    const board::OpenStatus status = board::OpenCard(lib, card.index, card);
    opened = status == board::OpenStatus::Opened ||
             (status == board::OpenStatus::Unrecognised && anyChip && board::OpenForRepair(card));
    return status;
}

void Context::Open(bool anyChip)
{
    const board::OpenStatus status = TryOpen(anyChip);
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
    if (textToErr)
        host.Err(text);
    else
        host.Out(asJson ? JsonLine(object) : text);
}

bool Context::Planned(const std::vector<std::string> &writes, json object)
{
    if (!dryRun)
        return false;
    std::string text;
    for (const std::string &write : writes)
        text += "would write " + write + "\n";
    object["dry_run"] = true;
    object["writes"] = writes;
    Print(text + "dry run: nothing written\n", object);
    return true;
}

}  // namespace tzctl
