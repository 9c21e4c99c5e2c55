// What a tzctl command needs of the process it runs in: the console
// program gives the real one, tests a fake.
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

    // Appends the text at the file's end, creating it, written whole and
    // flushed to the system before it returns. A host without files has none.
    virtual bool AppendFile(const std::string &path, const std::string &text)
    {
        (void)path;
        (void)text;
        return false;
    }

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
    // version ("1.0.3.0"), whether it is our simulated board, which a
    // production station must never take for a card, and whether it is our
    // tracing library, whose log names the library behind it.
    struct LibraryInfo {
        std::string path, version;
        bool simulated = false;
        bool tracing = false;
    };

    virtual LibraryInfo Library()
    {
        return {};
    }

    // The running program's path, as a trace's header names it.
    virtual std::string ProgramPath()
    {
        return "tzctl";
    }

    // The computer's name, the station a report names when none is given.
    virtual std::string StationName()
    {
        return "";
    }

    // Now as ISO 8601 local time with its UTC offset: "2026-12-08T17:58:03+01:00".
    virtual std::string LocalTime()
    {
        return "";
    }

    // `-` as a file, as scripts pipe bytes: standard input read to its end
    // (TooLarge past maxSize bytes) and bytes to standard output, both binary.
    virtual ReadResult ReadStdin(std::size_t maxSize, std::vector<std::uint8_t> &data)
    {
        (void)maxSize;
        (void)data;
        return ReadResult::OpenFailed;
    }

    virtual bool WriteStdout(const std::vector<std::uint8_t> &data)
    {
        (void)data;
        return false;
    }

    // Bytes are neither typed in nor shown on a console.
    virtual bool InIsConsole()
    {
        return false;
    }

    virtual bool OutIsConsole()
    {
        return false;
    }
};
