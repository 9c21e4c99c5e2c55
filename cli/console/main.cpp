// tzctl.exe: wide arguments in, UTF-8 out, files and the device library
// through the system. Everything else is in RunTzctl.
#include <windows.h>

#include <atomic>
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
    // programs may append to the same log; flushed, so that a crash of the
    // program loses no line before it.
    bool AppendFile(const std::string &path, const std::string &text) override
    {
        if (path != appendPath_) {
            if (append_ != INVALID_HANDLE_VALUE)
                CloseHandle(append_);
            append_ = CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            appendPath_ = path;
        }
        DWORD written = 0;
        return append_ != INVALID_HANDLE_VALUE &&
               WriteFile(append_, text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
               written == text.size() && FlushFileBuffers(append_);
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
