// What every command file of tzctl shares: the options read from the command
// line, the card a command works on, the one way out with an exit code, the
// number readers, and the table each file adds its commands to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "board.h"
#include "report.h"
#include "tzctl.h"

namespace tzctl {

using json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// Everything the command line said. Groups that share a shape (cfg and i2c,
// io and mem) share their fields: only one command runs.
struct Options {
    std::string card = "0";  // decimal, as every count is
    bool asJson = false;
    bool force = false;          // past the guards that keep a card recognisable
    std::string group, command;  // the subcommands given, "" for none

    std::string offset, length, width = "byte", output, input;  // cfg, i2c
    std::vector<std::string> bytes;

    struct Block {
        std::string address, length, width = "byte", output, input;
        std::vector<std::string> bytes;
        bool direct = false;
    } block;

    struct Identity {
        std::string vid, did, rid, svid, sid;
    } identity;

    std::string file;  // flash, i2c restore
    bool noErase = false, noVerify = false, partial = false;

    std::string pulseNs;
    std::string spiMode, spiClock;

    bool all = false;  // selftest: every card that answers
    SelftestArgs selftest;

    std::string irqKind;
    std::string irqCount = "1", irqTimeout = "5";
};

// Ends a command with its exit code and the one line for stderr.
struct Stop {
    int code;
    std::string message;
};

// printf into a string as long as the text needs.
std::string Format(const char *format, ...);
// "1 byte", "2 bytes".
std::string Count(std::size_t n, const std::string &noun);
[[noreturn]] void Usage(const std::string &message);
// Stops on anything but Ok; `what` names a mismatch.
void Check(const board::Outcome &o, const char *what = "");
void CheckCall(BOOL result, const char *call);
// Runs a change to the card; when it stops part way, puts back what undo
// restores and ends with the stop and what became of `what`: put back as it
// was, or not (exit 7, naming why).
void Guarded(const std::function<void()> &change, const std::function<board::Restoration()> &undo,
             const std::string &what);
json ByteArray(const Bytes &bytes);
json IdentityJson(const board::Identity &id);
// A hex number up to max, or a usage stop naming `what`.
std::uint32_t Hex(const std::string &text, std::uint32_t max, const char *what);
// A hex length from 1 up to max: a length of 0 asks for nothing.
std::uint32_t Length(const std::string &text, std::uint32_t max);
// Decimal digits only, so 010 is ten and 0x3c no number, from min to max.
unsigned Decimal(const std::string &text, unsigned min, unsigned max, const char *what);
// Bytes as typed (ParseHexBytes), or a usage stop.
Bytes HexBytes(const std::vector<std::string> &args);
// Why a card did not open: "no card at index 2", "card 0 not recognised
// (device id byte 35)", "card 0 could not be opened".
std::string OpenError(board::OpenStatus status, const board::Card &card);
// "simulated board library, no card (path)", or the path and file version.
std::string LibraryText(const CliHost::LibraryInfo &library);
json LibraryJson(const CliHost::LibraryInfo &library);

// The card a command works on: opened on demand, closed at the end.
struct Context {
    CliHost &host;
    DeviceLibrary lib;
    board::Card card;  // its index is --card's from the start
    bool asJson = false;
    bool opened = false;

    explicit Context(CliHost &h) : host(h)
    {
    }

    ~Context();

    // A file that cannot be created is found before the card is touched.
    void NeedWritable(const std::string &path);
    // With anyChip, a card whose chip is not recognised is opened too, as
    // far as putting its identity right needs.
    void Open(bool anyChip = false);
    void NeedTz820(const char *command);
    // Stops, naming the call that failed, when the open could not read the
    // I/O base: nothing is addressed through a base not read.
    void NeedIoBase();
    // A base as the open read it, or that stop.
    ULONG IoBase();
    ULONG MemBase();
    board::Pause Pause();
    board::Progress Progress();
    // Text or JSON, whichever was asked for.
    void Print(const std::string &text, const json &object);
};

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

    // --card and --json, so that every command's help shows them.
    CLI::App *Globals(CLI::App *command);
    // A group that runs by itself.
    void Single(const char *name, const char *description, Handler handler);
    // A group that takes exactly one of its commands.
    CLI::App *Group(const char *name, const char *description);
    CLI::App *Add(CLI::App *group, const char *name, const char *description, Handler handler);
};

// Refuses an identity block that would lose the card at its next power-up
// (usage, nothing written); --force skips this.
void GuardIdentity(const Context &x, const board::IdentityBlock &block);

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
void AddSelftest(Registry &r);

}  // namespace tzctl
