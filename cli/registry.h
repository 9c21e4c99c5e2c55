// The table of tzctl's commands, and how each command file adds its own.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "context.h"
#include "options.h"

namespace tzctl {

// One row of the dispatch table; command is "" for a group without
// subcommands.
using Handler = void (*)(Context &x, const Options &o);

struct Command {
    std::string group, command;
    Handler handler;
};

// What a command file adds its subcommands and rows to.
struct Registry {
    CLI::App &app;
    Options &options;
    std::vector<Command> &table;

    // --card, --trace, --dry-run and --json, so that every command's help shows them.
    CLI::App *Globals(CLI::App *command);
    // A group that runs by itself.
    void Single(const char *name, const char *description, Handler handler);
    // A group that takes exactly one of its commands.
    CLI::App *Group(const char *name, const char *description);
    CLI::App *Add(CLI::App *group, const char *name, const char *description, Handler handler);
};

// Each adds one group; tzctl lists them in the order help shows them.
void AddList(Registry &r);
void AddInfo(Registry &r);
void AddCfg(Registry &r);
void AddI2c(Registry &r);
void AddIo(Registry &r);
void AddMem(Registry &r);
void AddIdentity(Registry &r);
void AddFlash(Registry &r);
void AddPulse(Registry &r);
void AddSpi(Registry &r);
void AddIrq(Registry &r);
void AddReg(Registry &r);
void AddSelftest(Registry &r);

}  // namespace tzctl
