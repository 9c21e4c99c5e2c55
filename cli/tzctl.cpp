// tzctl's options and dispatch: the command line is read into one Options,
// then the one row of the command table it names runs. The commands
// themselves live in one file per group, each adding its own rows.
#include <algorithm>
#include <optional>
#include <sstream>

#include "dry_run.h"
#include "help.h"
#include "registry.h"
#include "self_trace.h"
#include "stop.h"
#include "tzctl.h"
#include "words.h"

#ifndef TZCTL_VERSION
#define TZCTL_VERSION "0.0.0"
#endif

namespace tzctl {
namespace {

// Each adds one group of commands: its subcommands and its rows.
using AddGroup = void (*)(Registry &);
// In the order help lists them.
const AddGroup kGroups[] = {AddList,  AddInfo,  AddCfg, AddI2c, AddIo,  AddMem,     AddIdentity,
                            AddFlash, AddPulse, AddSpi, AddIrq, AddReg, AddSelftest};

// The next word from `at` on that is neither an option nor the value of one.
std::size_t NextWord(const std::vector<std::string> &args, std::size_t at)
{
    for (; at < args.size(); ++at) {
        if (args[at] == "--card" || args[at] == "--trace")
            ++at;
        else if (args[at].empty() || args[at][0] != '-')
            return at;
    }
    return args.size();
}

// What to say when the words do not name a command: the word, and the
// commands it is closest to, or all of them.
std::optional<std::string> CommandMistake(const CLI::App &app, const std::vector<std::string> &args)
{
    const CLI::App *level = &app;
    std::string path;
    for (std::size_t at = NextWord(args, 0);; at = NextWord(args, at + 1)) {
        const std::vector<const CLI::App *> commands = level->get_subcommands({});
        if (commands.empty())
            return std::nullopt;
        const CLI::App *named = nullptr;
        std::string all, close;
        std::size_t best = 2;  // a word further off suggests nothing
        for (const CLI::App *c : commands) {
            const std::string name = path + c->get_name();
            all += (all.empty() ? "" : ", ") + name;
            if (at == args.size() || args[at].empty())
                continue;
            if (c->get_name() == args[at])
                named = c;
            const std::size_t d = Distance(args[at], c->get_name());
            if (d > best)
                continue;
            if (d < best)
                close.clear();
            best = d;
            close += (close.empty() ? "'" : " or '") + name + "'";
        }
        // An option tzctl does not know, given where the command should be.
        for (std::size_t i = 0; path.empty() && i < at; ++i)
            if (args[i].size() > 1 && args[i][0] == '-' &&
                !app.get_option_no_throw(args[i].substr(0, args[i].find('='))))
                return args[i] + " is not an option; see 'tzctl --help'";
        // An empty word is no command either, and close to every short one.
        if (at == args.size() || args[at].empty())
            return path.empty() ? "no command given; see 'tzctl --help'"
                                : path + "needs one of " + all + "; see 'tzctl " + path + "--help'";
        if (!named)
            return "unknown command '" + path + args[at] + "'; " +
                   (close.empty() ? "the commands are " + all : "did you mean " + close + "?");
        level = named;
        path += args[at] + " ";
    }
}

// The end of tzctl's own help: what a script can tell from the exit code.
std::string ExitCodesText()
{
    std::string text = "Exit codes:\n";
    for (const ExitMeaning &m : kExitMeanings)
        text += Format("%d  %s\n", static_cast<int>(m.code), m.meaning);
    return text;
}

// Every value the command line gave, positional or not, must say something.
void RefuseEmptyValues(const CLI::App &app)
{
    for (const CLI::App *level = &app; level;) {
        for (const CLI::Option *option : level->get_options())
            for (const std::string &value : option->results())
                if (value.empty())
                    Usage(option->get_name() + " is empty; give it a value");
        const std::vector<CLI::App *> chosen = level->get_subcommands();
        level = chosen.empty() ? nullptr : chosen.front();
    }
}

// Reads the command line into options and fills the table with every
// command's row. True when help or the version was asked for (and printed).
bool ParseOptions(const std::vector<std::string> &args, CliHost &host, Options &options,
                  std::vector<Command> &table)
{
    CLI::App app{"tzctl: TZ810/TZ820 cards from the command line", "tzctl"};
    // "/tmp/x" is a path, never an option.
    app.allow_windows_style_options(false);
    app.fallthrough();
    app.require_subcommand(1);
    // The format and the help flag are inherited by every command added after them.
    app.formatter(HelpFormat());
    app.set_help_flag("-h,--help", "print this help");
    app.set_version_flag("--version", std::string(TZCTL_VERSION), "print tzctl and its version");
    Registry registry{app, options, table};
    registry.Globals(&app);
    for (auto add : kGroups)
        add(registry);
    // Headed as the README names them, not "Subcommands".
    for (CLI::App *group : app.get_subcommands({})) {
        group->group("Commands");
        for (CLI::App *command : group->get_subcommands({}))
            command->group("Commands");
    }
    // Set after the commands are added, which would each inherit it.
    app.footer(ExitCodesText());

    try {
        // CLI11 takes a vector of arguments from its back, last one first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::CallForVersion &) {
        // Which library a run would use belongs to the version: a station
        // must see that it runs on the simulated board.
        DeviceLibrary lib;
        const bool loaded = host.LoadLibrary(lib);
        const CliHost::LibraryInfo library = host.Library();
        host.Out(options.asJson
                     ? JsonLine(json{{"program", "tzctl"},
                                     {"version", TZCTL_VERSION},
                                     {"library", loaded ? LibraryJson(library) : json(nullptr)}})
                     : "tzctl " TZCTL_VERSION "\nlibrary: " +
                           (loaded ? LibraryText(library) : "TZ810DLL.DLL cannot be loaded") +
                           "\n");
        return true;
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) {
            std::ostringstream out, err;
            app.exit(e, out, err);
            host.Out(out.str());
            return true;
        }
        Usage(CommandMistake(app, args).value_or(ParseMistake(app, e)));
    }
    RefuseEmptyValues(app);
    for (const CLI::App *group : app.get_subcommands()) {
        options.group = group->get_name();
        for (const CLI::App *command : group->get_subcommands())
            options.command = command->get_name();
    }
    return false;
}

const Command &Find(const std::vector<Command> &table, const Options &options)
{
    return *std::find_if(table.begin(), table.end(), [&](const Command &row) {
        return row.group == options.group && row.command == options.command;
    });
}

int Run(const std::vector<std::string> &args, CliHost &host, Options &options)
{
    std::vector<Command> table;
    if (ParseOptions(args, host, options, table))
        return kExitOk;
    // Only the self-test knows what to do on every card.
    if (options.all && options.group != "selftest")
        Usage("--all is for selftest only; give --card N");
    // An empty append opens the log as every line will: refused before the card is touched.
    if (!options.trace.empty() && !host.AppendFile(options.trace, ""))
        Usage("cannot write " + options.trace);
    // Outlives the context, whose close is the last call traced before the summary.
    std::optional<tztrace::SelfTrace> traced;
    Context x(host);
    x.card.index = Decimal(options.card, 0, 15, "--card");
    x.asJson = options.asJson;
    x.dryRun = options.dryRun;
    if (!host.LoadLibrary(x.lib))
        throw Stop{kExitNoLibrary, "cannot load TZ810DLL.DLL"};
    if (!options.trace.empty()) {
        const CliHost::LibraryInfo library = host.Library();
        traced.emplace(x.lib, host.ProgramPath(),
                       library.path.empty() ? "TZ810DLL.DLL" : library.path, library.version,
                       [&](const std::string &line) { host.AppendFile(options.trace, line); });
        x.lib = traced->Table();
    }
    if (x.dryRun)
        x.lib = WithoutWrites(x.lib);
    Find(table, options).handler(x, options);
    if (x.code != kExitOk)
        return x.code;
    // The command has said all it had to; only the reason it ends differently.
    if (host.Interrupted()) {
        host.Err("tzctl: interrupted; the command ran to its end first\n");
        return kExitInterrupted;
    }
    return kExitOk;
}

int Fail(CliHost &host, bool asJson, const Stop &stop)
{
    host.Err("tzctl: " + stop.message + "\n");
    if (asJson)
        host.Out(JsonLine(json{{"error", {{"code", stop.code}, {"message", stop.message}}}}));
    return stop.code;
}

}  // namespace
}  // namespace tzctl

int RunTzctl(const std::vector<std::string> &args, CliHost &host)
{
    using namespace tzctl;
    Options options;
    // --json counts even when the line around it cannot be read.
    options.asJson = std::find(args.begin(), args.end(), "--json") != args.end();
    try {
        return Run(args, host, options);
    } catch (const Stop &stop) {
        return Fail(host, options.asJson, stop);
    } catch (const std::exception &e) {
        return Fail(host, options.asJson, Stop{kExitCallFailed, e.what()});
    }
}
