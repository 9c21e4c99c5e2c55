// tzctl selftest: opens each card asked for, runs the board's self-test on
// it, prints its report and writes the JUnit file for all of them.
#include <algorithm>
#include <optional>

#include <CLI/CLI.hpp>

#include "context.h"
#include "report.h"

namespace {

std::string CheckList()
{
    return board::Join(board::CheckNames());
}

// The names given, or a usage message naming the one not known.
std::optional<std::string> UnknownCheck(const std::vector<std::string> &names)
{
    for (const std::string &n : names) {
        bool known = false;
        for (const std::string &c : board::CheckNames())
            known = known || c == n;
        if (!known)
            return "unknown check '" + n + "' (checks: " + CheckList() + ")";
    }
    return std::nullopt;
}

}  // namespace

CLI::App *AddSelftestCommand(CLI::App &app, SelftestArgs &args)
{
    CLI::App *c = app.add_subcommand("selftest", "bring-up self-test of the card, or --all");
    CLI::Option *only = c->add_option("--only", args.only, "checks to run: " + CheckList())
                            ->delimiter(',')
                            ->type_name("LIST");
    c->add_option("--skip", args.skip, "checks to leave out")
        ->delimiter(',')
        ->type_name("LIST")
        ->excludes(only);
    c->add_flag("--irq", args.irq, "pin A15 is joined to INT#: run the interrupt checks");
    c->add_flag("--destructive", args.destructive,
                "the flash check may erase and write (the image is put back)");
    c->add_option("--junit", args.junit, "write a JUnit XML report to FILE")->type_name("FILE");
    return c;
}

int RunSelftestCommand(CliHost &host, const DeviceLibrary &lib, int card, bool asJson,
                       const SelftestArgs &args)
{
    const std::optional<std::string> unknown =
        UnknownCheck(args.only.empty() ? args.skip : args.only);
    if (unknown) {
        host.Err("tzctl: " + *unknown + "\n");
        return kExitUsage;
    }
    board::SelftestOptions options;
    if (!args.only.empty())
        options.checks = args.only;
    for (const std::string &s : args.skip)
        options.checks.erase(std::find(options.checks.begin(), options.checks.end(), s));
    options.irq = args.irq;
    options.destructive = args.destructive;
    options.pause = [&host](unsigned ms) {
        host.Sleep(ms);
    };

    std::vector<ULONG> indices;
    for (ULONG i = 0; i < 16; ++i)
        if (card == static_cast<int>(i) || (card < 0 && board::ProbeCard(lib, i)))
            indices.push_back(i);
    int exit = indices.empty() ? kExitNoCard : kExitOk;
    if (indices.empty())
        host.Err("tzctl: no card answers\n");
    std::vector<board::SelftestReport> reports;
    for (ULONG index : indices) {
        board::Card opened;
        const board::OpenStatus status = board::OpenCard(lib, index, opened);
        if (status == board::OpenStatus::NoCard)
            host.Err("tzctl: no card at index " + std::to_string(index) + "\n");
        if (status == board::OpenStatus::Unrecognised)
            host.Err("tzctl: card " + std::to_string(index) + " not recognised (device id byte " +
                     board::HexText(opened.deviceIdLow, 2) + ")\n");
        if (status != board::OpenStatus::Opened) {
            exit = kExitNoCard;
            continue;
        }
        reports.push_back(board::RunSelftest(lib, opened, options));
        lib.TZ810mCloseDevice(index);
        const board::SelftestReport &r = reports.back();
        host.Out(asJson ? SelftestJson(r) : SelftestText(r));
        for (const std::string &what : r.notRestored)
            host.Err("tzctl: card " + std::to_string(index) + " not restored: " + what + "\n");
        if (const unsigned failed = r.Count(board::Verdict::Fail))
            host.Err("tzctl: card " + std::to_string(index) + ": " + std::to_string(failed) +
                     (failed == 1 ? " check" : " checks") + " failed\n");
        if (!r.notRestored.empty())
            exit = kExitNotRestored;
        else if (r.Count(board::Verdict::Fail) && exit == kExitOk)
            exit = kExitMismatch;
    }
    if (!args.junit.empty()) {
        const std::string xml = SelftestJunit(reports);
        if (!host.ReplaceFile(args.junit, std::vector<std::uint8_t>(xml.begin(), xml.end()))) {
            host.Err("tzctl: cannot write " + args.junit + "\n");
            return kExitUsage;
        }
    }
    return exit;
}

namespace tzctl {

namespace {

void Selftest(Context &x, const Options &o)
{
    if (!o.selftest.junit.empty())
        x.NeedWritable(o.selftest.junit);
    const int code = RunSelftestCommand(x.host, x.lib, o.all ? -1 : static_cast<int>(x.index),
                                        x.asJson, o.selftest);
    // The report and its errors are out already.
    if (code != kExitOk)
        throw Stop{code, ""};
}

}  // namespace

void AddSelftest(Registry &r)
{
    CLI::App *command = AddSelftestCommand(r.app, r.options.selftest);
    r.Globals(command);
    r.table.push_back({"selftest", "", Selftest});
    // Before or after the command, like --card, and never with it.
    for (CLI::App *level : {&r.app, command})
        level->add_flag("--all", r.options.all, "selftest: every card that list finds")
            ->group("Global options")
            ->excludes(level->get_option("--card"));
}

}  // namespace tzctl
