// tzctl's host in memory: output kept, files in a map, the simulated library bound unless told not
// to be. "throws.bin" throws when read, "unwritable.bin" cannot be written and
// "full.log" takes no line.
#pragma once
#include <chrono>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>
#include "sim_control.h"
#include "tzctl.h"

struct FakeHost : CliHost {
    std::string out, err;
    // What went to standard output as bytes comes back on standard input,
    // as in `tzctl ... -o - | tzctl ... -`; nothing piped is the console.
    std::vector<std::uint8_t> piped;
    std::map<std::string, std::vector<std::uint8_t>> files;
    bool loads = true, interrupted = false;

    void Out(const std::string &t) override
    {
        out += t;
    }

    void Err(const std::string &t) override
    {
        err += t;
    }

    ReadResult ReadFile(const std::string &path, std::size_t max,
                        std::vector<std::uint8_t> &data) override
    {
        if (path == "throws.bin")
            throw std::bad_alloc();
        const auto file = files.find(path);
        if (file == files.end())
            return ReadResult::OpenFailed;
        if (file->second.size() > max)
            return ReadResult::TooLarge;
        data = file->second;
        return ReadResult::Ok;
    }

    bool ReplaceFile(const std::string &p, const std::vector<std::uint8_t> &d) override
    {
        if (p == "unwritable.bin")
            return false;
        files[p] = d;
        return true;
    }

    bool AppendFile(const std::string &p, const std::string &text) override
    {
        // A disk that fills: the file opens, no line goes in.
        if (p == "unwritable.bin" || (p == "full.log" && !text.empty()))
            return false;
        files[p].insert(files[p].end(), text.begin(), text.end());
        return true;
    }

    // Only the interrupt wait sleeps, not the EEPROM's write pauses.
    void Sleep(unsigned ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms < 2 ? ms : 0));
    }

    bool Interrupted() override
    {
        return interrupted;
    }

    bool LoadLibrary(DeviceLibrary &lib) override
    {
        tzsim::BindTable(lib);
        return loads;
    }

    bool Exists(const std::string &path) override
    {
        return files.count(path) != 0;
    }

    LibraryInfo Library() override
    {
        return {"", "", true};
    }

    std::string StationName() override
    {
        return "bench-1";
    }

    std::string LocalTime() override
    {
        return "2026-12-08T17:58:03+01:00";
    }

    ReadResult ReadStdin(std::size_t max, std::vector<std::uint8_t> &data) override
    {
        if (piped.size() > max)
            return ReadResult::TooLarge;
        data = piped;
        return ReadResult::Ok;
    }

    bool WriteStdout(const std::vector<std::uint8_t> &data) override
    {
        out.append(data.begin(), data.end());
        piped.insert(piped.end(), data.begin(), data.end());
        return true;
    }

    bool InIsConsole() override
    {
        return piped.empty();
    }
};
