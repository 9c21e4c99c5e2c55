// tzctl selftest: the board's self-test on the card asked for or on every
// card that answers, its report in text or JSON, and the JUnit file for all
// of them. Every card asked for is in every report, tested or not, and the
// exit code says the worst that happened: a card left changed first.
#include <algorithm>

#include "numbers.h"
#include "registry.h"
#include "report.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

namespace {

std::string CheckList()
{
    return Join(board::CheckNames());
}

bool Has(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// All checks, --only's, or all but --skip's; a name not known is refused.
std::vector<std::string> ChosenChecks(const Options::Selftest &args)
{
    for (const std::string &name : args.only.empty() ? args.skip : args.only)
        if (!Has(board::CheckNames(), name))
            Usage("unknown check '" + name + "' (checks: " + CheckList() + ")");
    if (!args.only.empty())
        return args.only;
    std::vector<std::string> checks;
    for (const std::string &name : board::CheckNames())
        if (!Has(args.skip, name))
            checks.push_back(name);
    return checks;
}

// Where the destructive flash check keeps the image: --backup, else beside
// the JUnit report or in the current folder, never over an earlier backup
// (which may be the only good copy left).
std::string BackupPath(Context &x, const Options::Selftest &args)
{
    if (!args.backup.empty())
        return args.backup;
    const std::size_t slash = args.junit.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : args.junit.substr(0, slash + 1);
    for (unsigned n = 1;; ++n) {
        const std::string path = folder + (n == 1 ? std::string("tzctl-flash-backup.bin")
                                                  : Format("tzctl-flash-backup-%u.bin", n));
        if (!x.host.Exists(path))
            return path;
    }
}

// The exit code for all cards together: something left changed outranks
// all, then an interrupt, a card not tested and a failed check.
ExitCode WorstOf(const std::vector<CardRun> &cards)
{
    ExitCode code = cards.empty() ? kExitNoCard : kExitOk;
    auto raise = [&code](ExitCode to) {
        static const ExitCode kRank[] = {kExitOk, kExitMismatch, kExitNoCard, kExitInterrupted,
                                         kExitNotRestored};
        const auto rank = [](ExitCode c) {
            return std::find(std::begin(kRank), std::end(kRank), c) - std::begin(kRank);
        };
        if (rank(to) > rank(code))
            code = to;
    };
    for (const CardRun &c : cards) {
        if (!c.report) {
            raise(c.code);
            continue;
        }
        if (c.report->Count(board::Verdict::Fail))
            raise(kExitMismatch);
        if (c.report->interrupted)
            raise(kExitInterrupted);
        if (!c.report->notRestored.empty())
            raise(kExitNotRestored);
    }
    return code;
}

void Tell(Context &x, const CardRun &c)
{
    const std::string card = "tzctl: card " + std::to_string(c.index);
    if (!c.report)
        return x.host.Err("tzctl: " + c.error + "\n");
    for (const std::string &what : c.report->notRestored)
        x.host.Err(card + " not restored: " + what + "\n");
    if (const unsigned failed = c.report->Count(board::Verdict::Fail))
        x.host.Err(card + ": " + Counted(failed, "check") + " failed\n");
    if (c.report->interrupted)
        x.host.Err(card + ": interrupted; the checks not yet begun were not run\n");
}

// Free text for a person and a file, but one line of it.
void NeedText(const std::string &text, const char *option)
{
    if (text.empty())
        Usage(std::string(option) + " must not be empty");
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            Usage(std::string(option) + " must not hold control characters");
}

// The card's own exit code, as its line of the log records it.
ExitCode CardCode(const CardRun &c)
{
    return WorstOf({c});
}

void Selftest(Context &x, const Options &o)
{
    const Options::Selftest &args = o.selftest;
    RunFacts facts;
    const std::string kUnset = "\x7f";
    if (args.serial != kUnset)
        NeedText(args.serial, "--serial");
    if (args.station != kUnset)
        NeedText(args.station, "--station");
    facts.serial = args.serial == kUnset ? "" : args.serial;
    facts.station = args.station == kUnset ? x.host.StationName() : args.station;
    if (!args.log.empty() && (!x.host.CanCreate(args.log) || !x.host.AppendFile(args.log, "")))
        Usage("cannot write " + args.log);
    board::SelftestOptions options;
    options.loops = Decimal(args.loops, 1, 1000000, "--loops");
    options.checks = ChosenChecks(args);
    options.irq = args.irq;
    options.destructive = args.destructive;
    options.dryRun = x.dryRun;
    options.pause = x.Pause();
    options.interrupted = [&x] {
        return x.host.Interrupted();
    };
    if (!args.junit.empty())
        x.NeedWritable(args.junit);
    const std::string backup =
        args.destructive && Has(options.checks, "flash") ? BackupPath(x, args) : "";
    if (!backup.empty())
        x.NeedWritable(backup);
    options.keepImage = [&](const Bytes &image) {
        return x.host.ReplaceFile(backup, image) ? backup : std::string();
    };

    const CliHost::LibraryInfo library = x.host.Library();
    facts.library = library;
    facts.started = x.host.LocalTime();
    std::vector<CardRun> cards;
    for (ULONG i = 0; i < 16; ++i)
        if (o.all ? board::ProbeCard(x.lib, i).has_value() : i == x.card.index)
            cards.push_back(CardRun{i, std::nullopt, kExitOk, ""});
    if (!x.asJson)
        x.host.Out("library: " + LibraryText(library) + "\n" + RunFactsText(facts));
    for (CardRun &c : cards) {
        x.card.index = c.index;  // the open fills in the rest afresh
        const board::OpenStatus status =
            x.host.Interrupted() ? board::OpenStatus::NoCard : x.TryOpen();
        if (x.host.Interrupted()) {
            c.code = kExitInterrupted;
            c.error =
                Format("card %lu not tested: interrupted", static_cast<unsigned long>(c.index));
        } else if (status != board::OpenStatus::Opened) {
            c.code = kExitNoCard;
            c.error = OpenError(status, x.card);
        } else {
            c.report = board::RunSelftest(x.card, options);
            if (!x.asJson)
                x.host.Out(SelftestText(*c.report));
        }
        x.Close();
        Tell(x, c);
    }
    if (cards.empty())
        x.host.Err("tzctl: no card answers\n");
    ExitCode code = WorstOf(cards);
    facts.finished = x.host.LocalTime();
    static const std::vector<board::CheckResult> kNoChecks;
    // In a dry run, what each check not run would write, card by card with --all.
    std::vector<std::string> writes;
    for (const CardRun &c : cards)
        for (const board::CheckResult &check :
             c.report ? c.report->checks : board::SelftestReport().checks)
            if (!check.planned.empty())
                writes.push_back((o.all ? Format("card %lu ", static_cast<unsigned long>(c.index))
                                        : std::string()) +
                                 check.name + ": " + check.planned);
    if (!x.asJson)
        x.Planned(writes);
    if (x.asJson) {
        // One object whatever happened: a card, every card, or the error.
        json all = o.all ? json{{"cards", json::array()}} : SelftestJson(cards.front());
        for (const CardRun &c : o.all ? cards : std::vector<CardRun>())
            all["cards"].push_back(SelftestJson(c));
        if (o.all && cards.empty())
            all = {{"error", {{"code", kExitNoCard}, {"message", "no card answers"}}}};
        if (!o.all && !cards.front().report)
            all.erase("card");
        else if (!all.contains("error"))
            all["library"] = LibraryJson(library);
        if (!all.contains("error")) {
            if (!facts.serial.empty())
                all["serial"] = facts.serial;
            all["station"] = facts.station;
            all["started"] = facts.started;
            all["finished"] = facts.finished;
            all["tool_version"] = TZCTL_VERSION;
        }
        if (!x.Planned(writes, all))
            x.host.Out(JsonLine(all));
    }
    if (!args.junit.empty()) {
        const std::string xml = SelftestJunit(cards, LibraryText(library), facts);
        if (!x.host.ReplaceFile(args.junit, Bytes(xml.begin(), xml.end()))) {
            x.host.Err("tzctl: cannot write " + args.junit + "\n");
            if (code == kExitOk)
                code = kExitOutputFailed;
        }
    }
    for (const CardRun &c : args.log.empty() ? std::vector<CardRun>() : cards)
        if (!x.host.AppendFile(args.log, SelftestLogLine(c, facts, CardCode(c)))) {
            x.host.Err("tzctl: cannot write " + args.log + "\n");
            if (code == kExitOk)
                code = kExitOutputFailed;
            break;
        }
    // The reports and their errors are out already.
    x.code = code;
}

}  // namespace

void AddSelftest(Registry &r)
{
    Options::Selftest &args = r.options.selftest;
    CLI::App *c =
        r.app.add_subcommand("selftest", "bring-up self-test of the card, or of --all cards");
    r.Globals(c);
    r.table.push_back({"selftest", "", Selftest});
    CLI::Option *only = c->add_option("--only", args.only, "checks to run: " + CheckList())
                            ->delimiter(',')
                            ->type_name("LIST");
    c->add_option("--skip", args.skip, "checks to leave out")
        ->delimiter(',')
        ->type_name("LIST")
        ->excludes(only);
    c->add_flag("--irq", args.irq, "pin A15 is joined to INT#: run the interrupt checks");
    c->add_flag("--destructive", args.destructive,
                "the flash check may erase and write (the image is kept in a file first, and "
                "put back)");
    c->add_option("--backup", args.backup,
                  "where --destructive keeps the flash image (default: tzctl-flash-backup.bin "
                  "beside the JUnit report, or here)")
        ->type_name("FILE");
    c->add_option("--junit", args.junit, "write a JUnit XML report to FILE")->type_name("FILE");
    c->add_option("--serial", args.serial, "the board's serial number, named in every report")
        ->type_name("SN");
    c->add_option("--station", args.station,
                  "the test station the reports name (default: this computer's name)")
        ->type_name("NAME");
    c->add_option("--log", args.log,
                  "append one JSON line per card and run to FILE, a results log that several "
                  "stations may share")
        ->type_name("FILE");
    c->add_option("--loops", args.loops, "run the memory check N times (1 to 1000000)")
        ->type_name("N");
    // Before or after the command, like --card, and never with it.
    for (CLI::App *level : {&r.app, c})
        level->add_flag("--all", r.options.all, "selftest: every card that list finds")
            ->group("Global options")
            ->excludes(level->get_option("--card"));
}

}  // namespace tzctl
