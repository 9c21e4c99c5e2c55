// Everything tzctl's command line can say, in one struct the parser fills
// and the commands read.
#pragma once

#include <string>
#include <vector>

namespace tzctl {

// Everything the command line said. Groups that share a shape (cfg and i2c,
// io and mem) share their fields: only one command runs.
struct Options {
    std::string card = "0";  // decimal, as every count is
    bool asJson = false;
    std::string trace;           // the log every library call is appended to, "" for none
    bool dryRun = false;         // -D: the card read as usual, each write said and none made
    bool force = false;          // past the guards that keep a card recognisable
    std::string group, command;  // the subcommands given, "" for none

    std::string offset, length, width = "byte", output, input;  // cfg, i2c
    std::vector<std::string> bytes;  // cfg: the registers after the first too
    std::vector<std::string> regs;   // reg get, reg set

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

    struct Selftest {
        std::vector<std::string> only, skip;
        std::string junit, backup;
        // "\x7f" until given, so that an empty one given is told apart.
        std::string serial = "\x7f", station = "\x7f", log, loops = "1";
        bool irq = false;
        bool destructive = false;
    } selftest;

    bool all = false;  // selftest: every card that answers

    std::string irqKind;
    std::string irqCount = "1", irqTimeout = "5";
};

}  // namespace tzctl
