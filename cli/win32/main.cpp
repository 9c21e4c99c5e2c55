// tzctl.exe: wide arguments in, UTF-8 out, files and the device library
// through the system. Everything else is in RunTzctl.
#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "module_info.h"
#include "streams.h"
#include "text.h"
#include "tzctl.h"

namespace {

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

    void Sleep(unsigned ms) override
    {
        ::Sleep(ms);
    }

    bool LoadLibrary(DeviceLibrary &lib) override
    {
        return LoadDeviceLibrary(lib);
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
        return info;
    }

    bool OutputFailed() const
    {
        return outputFailed_;
    }

  private:
    bool outputFailed_ = false;
};

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(WideToUtf8(argv[i]));
    Win32Host host;
    int code = RunTzctl(args, host);
    if (host.OutputFailed()) {
        host.Err("tzctl: cannot write the output\n");
        // A failure the command met first keeps its own code.
        if (code == kExitOk)
            code = kExitOutputFailed;
    }
    return code;
}
