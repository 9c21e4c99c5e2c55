// tzctl's options and dispatch: the command line is read into one Options,
// then the one row of the command table it names runs. The commands
// themselves live in one file per group, each adding its own rows.
#include <optional>
#include <sstream>

#include "context.h"

#ifndef TZCTL_VERSION
#define TZCTL_VERSION "0.0.0"
#endif

namespace tzctl {
namespace {

// Each adds one group of commands: its subcommands and its rows.
using AddGroup = void (*)(Registry &);
// In the order help lists them.
const AddGroup kGroups[] = {AddList,     AddInfo,  AddCfg,   AddI2c, AddIo, AddMem,
                            AddIdentity, AddFlash, AddPulse, AddSpi, AddIrq};

// Reads the command line into options and fills the table with every
// command's row. Help, the version and a usage error end the run here, with
// the exit code returned.
std::optional<int> ParseOptions(const std::vector<std::string> &args, CliHost &host,
                                Options &options, std::vector<Command> &table)
{
    CLI::App app{"tzctl: TZ810/TZ820 cards from the command line", "tzctl"};
    app.set_version_flag("--version", std::string(TZCTL_VERSION));
    app.fallthrough();
    app.require_subcommand(1);
    app.add_option("--card", options.card, "card index, 0-15 (default 0)")
        ->check(CLI::Range(0u, 15u));
    app.add_flag("--json", options.asJson, "one JSON object on stdout");
    Registry registry{app, options, table};
    for (auto add : kGroups)
        add(registry);

    try {
        // CLI11 takes a vector of arguments from its back, last one first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
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
    for (const CLI::App *group : app.get_subcommands()) {
        options.group = group->get_name();
        for (const CLI::App *command : group->get_subcommands())
            options.command = command->get_name();
    }
    return std::nullopt;
}

const Command *Find(const std::vector<Command> &table, const Options &options)
{
    for (const Command &row : table)
        if (row.group == options.group && row.command == options.command)
            return &row;
    return nullptr;
}

}  // namespace
}  // namespace tzctl

int RunTzctl(const std::vector<std::string> &args, CliHost &host)
{
    using namespace tzctl;
    Options options;
    std::vector<Command> table;
    if (const std::optional<int> code = ParseOptions(args, host, options, table))
        return *code;

    Context x(host);
    if (!host.LoadLibrary(x.lib)) {
        host.Err("tzctl: cannot load TZ810DLL.DLL\n");
        return kExitNoLibrary;
    }
    x.index = options.card;
    x.asJson = options.asJson;

    const Command *command = Find(table, options);
    if (!command)
        return kExitOk;
    try {
        command->handler(x, options);
    } catch (const Stop &stop) {
        host.Err("tzctl: " + stop.message + "\n");
        return stop.code;
    }
    return kExitOk;
}
