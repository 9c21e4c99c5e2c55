// tzctl: the bench from the command line. Everything but the process's own
// entry lives here, portable, so the commands run in host tests against the
// simulated library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device_library.h"

// What a command needs of the process it runs in.
class CliHost {
  public:
    virtual ~CliHost() = default;
    // UTF-8 text to standard output and standard error.
    virtual void Out(const std::string &text) = 0;
    virtual void Err(const std::string &text) = 0;

    // Progress is shown only to a person watching.
    virtual bool ErrIsConsole()
    {
        return false;
    }

    enum class ReadResult {
        Ok,
        OpenFailed,
        TooLarge,
        ReadFailed
    };
    // The whole file when it holds at most maxSize bytes; paths are UTF-8.
    virtual ReadResult ReadFile(const std::string &path, std::size_t maxSize,
                                std::vector<std::uint8_t> &data) = 0;
    // Replaces the file by these bytes at once: an existing file stays as it
    // was when anything fails.
    virtual bool ReplaceFile(const std::string &path, const std::vector<std::uint8_t> &data) = 0;
    // Whether ReplaceFile could create the file: its folder exists and the
    // path names no folder. Asked before the card is touched.
    virtual bool CanCreate(const std::string &path);
    // Whether anything is at the path, so that a new file is not put over it.
    virtual bool Exists(const std::string &path);
    virtual void Sleep(unsigned ms) = 0;
    // Binds the device library; false when it cannot be loaded.
    virtual bool LoadLibrary(DeviceLibrary &lib) = 0;

    // Ctrl-C, Ctrl-Break or the console closing since the command began.
    // The interrupt is held, not obeyed: a command asks only between whole
    // steps, so a write or a restore in progress is completed and checked
    // before it stops.
    virtual bool Interrupted()
    {
        return false;
    }

    // The library LoadLibrary bound: where it was loaded from, its file
    // version ("1.0.3.0"), and whether it is our simulated board, which a
    // production station must never take for a card.
    struct LibraryInfo {
        std::string path, version;
        bool simulated = false;
    };

    virtual LibraryInfo Library()
    {
        return {};
    }
};

namespace tzctl {
// Exit codes, as the README lists them.
enum : int {
    kExitOk = 0,
    kExitCallFailed = 1,    // a library call failed, or no interrupt came
    kExitUsage = 2,         // usage or input, found before the card is touched
    kExitNoLibrary = 3,     // TZ810DLL.DLL cannot be loaded
    kExitMismatch = 4,      // a read-back or verify differs, a self-test check failed
    kExitNoCard = 5,        // no card, not recognised, wrong chip, no flash
    kExitOutputFailed = 6,  // the output could not be written
    kExitNotRestored = 7,   // the card was left changed: what is named on stderr
    kExitInterrupted = 8,   // Ctrl-C: what was in progress was completed first
};
}  // namespace tzctl

// Runs one command line (without the program name); returns the exit code.
// Nothing escapes it: an error is one "tzctl: ..." line on stderr and, with
// --json, {"error":{"code":N,"message":"..."}} on stdout.
int RunTzctl(const std::vector<std::string> &args, CliHost &host);

// ---------------------------------------------------------------- text

// Hexadecimal with or without 0x, at most `max`; false for anything else.
bool ParseHexNumber(const std::string &text, std::uint32_t max, std::uint32_t &value);
// Bytes as typed: 0x12, a single digit 1, hex pairs 0102ab, and lists of
// these in one argument ("01 02 ab"); false for anything else or none.
bool ParseHexBytes(const std::vector<std::string> &args, std::vector<std::uint8_t> &bytes);
// "1 byte", "2 bytes".
std::string Counted(std::size_t n, const std::string &noun);
// "1 byte differs", "2 bytes differ".
std::string BytesDiffer(std::size_t n);

// hexdump -C: address, 16 bytes in two groups of 8, |ascii|, '*' for
// repeated lines, and the end address last.
std::string HexDump(std::uint32_t start, const std::vector<std::uint8_t> &bytes);
// Configuration space as PCI tools print it: "00: xx xx ... xx" per 16 bytes.
std::string ConfigDump(const std::vector<std::uint8_t> &bytes);
// EEPROM as I2C tools print it: a column header, then rows with ASCII.
std::string I2cDump(const std::vector<std::uint8_t> &bytes);
