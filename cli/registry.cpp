// How each command file adds its commands to the command line and the table.
#include "registry.h"

namespace tzctl {

CLI::App *Registry::Globals(CLI::App *command)
{
    command->add_option("--card", options.card, "card index, decimal 0-15 (default 0)")
        ->type_name("N")
        ->group("Global options");
    command
        ->add_option("--trace", options.trace,
                     "append a line for every library call to FILE, as the tracing library does")
        ->type_name("FILE")
        ->group("Global options");
    command
        ->add_flag("-D,--dry-run", options.dryRun,
                   "read as usual, print each write the command would make, make none")
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
