// tzctl.exe: wide arguments in, UTF-8 out, files and the device library
// through the system. Everything else is in RunTzctl.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "files.h"
#include "module_info.h"
#include "streams.h"
#include "text.h"
#include "tzctl.h"

namespace {

// Set by the console's control handler, which runs on a thread of its own.
std::atomic<bool> g_interrupted{false};
// Set once the command has ended and its output is written, with the code
// the process ends with.
HANDLE g_finished = nullptr;
std::atomic<int> g_exitCode{0};

// Ctrl-C and Ctrl-Break are held: the command sees them between its steps,
// so a flash write or an EEPROM restore in progress is completed and
// verified first. When the console closes or the user logs off, the system
// ends the process as soon as the handler returns: so the handler waits for
// the command to end and then ends the process itself, with the command's
// own code.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_interrupted = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_interrupted = true;
        WaitForSingleObject(g_finished, INFINITE);
        ExitProcess(static_cast<UINT>(g_exitCode.load()));
    default:
        return FALSE;
    }
}

class Win32Host : public CliHost {
  public:
    void Out(const std::string &text) override
    {
        if (!WriteStd(StdStream::Out, text))
            outputFailed_ = true;
    }

    void Err(const std::string &text) override
    {
        WriteStd(StdStream::Err, text);
    }

    bool ErrIsConsole() override
    {
        return IsConsole(StdStream::Err);
    }

    ReadResult ReadFile(const std::string &path, std::size_t maxSize,
                        std::vector<std::uint8_t> &data) override
    {
        switch (ReadWholeFile(path, maxSize, data)) {
        case ReadOutcome::Ok:
            return ReadResult::Ok;
        case ReadOutcome::OpenFailed:
            return ReadResult::OpenFailed;
        case ReadOutcome::TooLarge:
            return ReadResult::TooLarge;
        default:
            return ReadResult::ReadFailed;
        }
    }

    bool ReplaceFile(const std::string &path, const std::vector<std::uint8_t> &data) override
    {
        return ReplaceWholeFile(path, data.data(), data.size()) == ReplaceOutcome::Ok;
    }

    // The handle stays open for the run's next lines. Shared, so that other
    // programs may append to the same log; each text written by one write
    // while this program holds the file's lock, so that lines of several
    // writers never interleave; flushed, so that a crash loses no line.
    bool AppendFile(const std::string &path, const std::string &text) override
    {
        if (path != appendPath_) {
            if (append_ != INVALID_HANDLE_VALUE)
                CloseHandle(append_);
            append_ = CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            appendPath_ = path;
        }
        if (append_ == INVALID_HANDLE_VALUE)
            return false;
        if (text.empty())
            return true;
        // Another writer holds the lock for one line at a time: ten seconds
        // of waiting means it is stuck, and the line is not written.
        OVERLAPPED whole{};
        bool locked = false;
        for (int tries = 0; !locked && tries < 1000; ++tries) {
            locked = LockFileEx(append_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                MAXDWORD, MAXDWORD, &whole) != 0;
            if (!locked)
                ::Sleep(10);
        }
        if (!locked) {
            Err("tzctl: " + path + " stayed locked by another writer for 10 s\n");
            return false;
        }
        DWORD written = 0;
        const bool ok =
            WriteFile(append_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size() && FlushFileBuffers(append_);
        UnlockFileEx(append_, 0, MAXDWORD, MAXDWORD, &whole);
        return ok;
    }

    std::string StationName() override
    {
        wchar_t name[256];
        DWORD size = 256;
        if (GetComputerNameExW(ComputerNameDnsHostname, name, &size))
            return WideToUtf8(std::wstring(name, size));
        size = 256;
        return GetComputerNameW(name, &size) ? WideToUtf8(std::wstring(name, size)) : "";
    }

    // Local time and its offset from UTC, both from the one reading of the clock.
    std::string LocalTime() override
    {
        SYSTEMTIME utc, local;
        GetSystemTime(&utc);
        if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
            local = utc;
        FILETIME u, l;
        SystemTimeToFileTime(&utc, &u);
        SystemTimeToFileTime(&local, &l);
        const auto ticks = [](const FILETIME &t) {
            return static_cast<long long>(
                (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        const long long minutes = (ticks(l) - ticks(u)) / 600000000LL;
        const long long away = minutes < 0 ? -minutes : minutes;
        char text[40];
        snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02lld:%02lld", local.wYear,
                 local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                 minutes < 0 ? '-' : '+', away / 60, away % 60);
        return text;
    }

    void Sleep(unsigned ms) override
    {
        ::Sleep(ms);
    }

    bool LoadLibrary(DeviceLibrary &lib) override
    {
        return LoadDeviceLibrary(lib);
    }

    bool Interrupted() override
    {
        return g_interrupted;
    }

    LibraryInfo Library() override
    {
        LibraryInfo info;
        info.path = LoadedModulePath(L"TZ810DLL.DLL");
        if (info.path.empty())
            return info;
        const VersionBlock block = ReadVersionBlock(info.path);
        info.version = block.fileVersion;
        info.simulated = block.productName == "tzsim";
        info.tracing = block.productName == "tztrace";
        return info;
    }

    std::string ProgramPath() override
    {
        return LoadedModulePath(nullptr);
    }

    // One byte past the most tells a stream that holds too many.
    ReadResult ReadStdin(std::size_t maxSize, std::vector<std::uint8_t> &data) override
    {
        if (!ReadStdBytes(maxSize + 1, data))
            return ReadResult::ReadFailed;
        return data.size() > maxSize ? ReadResult::TooLarge : ReadResult::Ok;
    }

    bool WriteStdout(const std::vector<std::uint8_t> &data) override
    {
        return WriteStdBytes(data);
    }

    bool InIsConsole() override
    {
        return StdInIsConsole();
    }

    bool OutIsConsole() override
    {
        return IsConsole(StdStream::Out);
    }

    bool OutputFailed() const
    {
        return outputFailed_;
    }

  private:
    bool outputFailed_ = false;
    std::string appendPath_;
    HANDLE append_ = INVALID_HANDLE_VALUE;
};

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(WideToUtf8(argv[i]));
    // The bytes of `-` go through the handles as they are; the C streams
    // are made binary too, so nothing in the process turns CR LF or ends
    // the input at Ctrl-Z.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Win32Host host;
    int code = RunTzctl(args, host);
    if (host.OutputFailed()) {
        host.Err("tzctl: cannot write the output\n");
        // A failure the command met first keeps its own code.
        if (code == tzctl::kExitOk)
            code = tzctl::kExitOutputFailed;
    }
    g_exitCode = code;
    SetEvent(g_finished);
    return code;
}
