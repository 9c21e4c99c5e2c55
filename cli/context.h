// The card a command works on, and the library it is reached through.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "board.h"
#include "exit_code.h"
#include "host.h"
#include "numbers.h"

namespace tzctl {

using json = nlohmann::ordered_json;

json ByteArray(const Bytes &bytes);
// The one line a --json run prints. Text that is not UTF-8 (a path as typed,
// a library's string) shows as U+FFFD instead of losing the whole answer.
std::string JsonLine(const json &object);
json IdentityJson(const board::Identity &id);
// Why a card did not open: "no card at index 2", "card 0 not recognised
// (device id byte 35)", "card 0 could not be opened".
std::string OpenError(board::OpenStatus status, const board::Card &card);
// "simulated board library, no card (path)", or the path and file version.
// A path as a message names it: "-" is standard input or output.
std::string Shown(const std::string &path, bool output = false);
std::string LibraryText(const CliHost::LibraryInfo &library);
json LibraryJson(const CliHost::LibraryInfo &library);

// The card a command works on: opened on demand, closed at the end.
struct Context {
    CliHost &host;
    DeviceLibrary lib;
    board::Card card;  // its index is --card's from the start
    bool asJson = false;
    bool dryRun = false;
    bool opened = false;
    bool textToErr = false;
    // How a command that reports its own outcome (the self-test, over
    // several cards) ends, all it had to say said.
    ExitCode code = kExitOk;

    explicit Context(CliHost &h) : host(h)
    {
    }

    ~Context();

    // A file that cannot be created is found before the card is touched;
    // so is standard output that cannot take bytes ("-").
    void NeedWritable(const std::string &path);
    // A file's bytes, or standard input's for "-".
    CliHost::ReadResult ReadFile(const std::string &path, std::size_t maxSize, Bytes &data);
    // Replaces the file, or for "-" writes standard output, after which the
    // command's text goes to standard error: a pipe gets only the bytes.
    bool WriteFile(const std::string &path, const Bytes &data);
    // With anyChip, a card whose chip is not recognised is opened too, as
    // far as putting its identity right needs.
    void Open(bool anyChip = false);
    // The same open, answering instead of stopping.
    board::OpenStatus TryOpen(bool anyChip = false);
    void Close();
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
    // In a dry run, the end of a command that writes, reached before its
    // first write: each write it would make, one a line ("would write" and
    // the write in text, the strings as "writes" in JSON beside the object's
    // own fields), and true. False, with nothing said, in any other run.
    bool Planned(const std::vector<std::string> &writes, json object = json::object());
};

}  // namespace tzctl
