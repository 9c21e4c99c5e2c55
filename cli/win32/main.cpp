// tzctl.exe: wide arguments in, UTF-8 out, the wide file API, and the
// device library bound at run time. Everything else is in RunTzctl.
#include <windows.h>

#include <string>
#include <vector>

#include "tzctl.h"

namespace {

std::string Narrow(const wchar_t *text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Widen(const std::string &text)
{
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
    return w;
}

bool IsConsole(HANDLE h)
{
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != 0;
}

// A console takes wide text; a pipe or file gets the UTF-8 bytes as they are.
void Write(DWORD which, const std::string &text)
{
    HANDLE h = GetStdHandle(which);
    DWORD done = 0;
    if (IsConsole(h)) {
        const std::wstring w = Widen(text);
        WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr);
    } else {
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    }
}

class Win32Host : public CliHost {
  public:
    void Out(const std::string &text) override
    {
        Write(STD_OUTPUT_HANDLE, text);
    }

    void Err(const std::string &text) override
    {
        Write(STD_ERROR_HANDLE, text);
    }

    bool ErrIsConsole() override
    {
        return IsConsole(GetStdHandle(STD_ERROR_HANDLE));
    }

    ReadResult ReadFile(const std::string &path, std::size_t maxSize,
                        std::vector<std::uint8_t> &data) override
    {
        HANDLE f =
            CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return ReadResult::OpenFailed;
        LARGE_INTEGER size{};
        ReadResult r = ReadResult::Ok;
        if (!GetFileSizeEx(f, &size)) {
            r = ReadResult::ReadFailed;
        } else if (static_cast<unsigned long long>(size.QuadPart) > maxSize) {
            r = ReadResult::TooLarge;
        } else {
            data.assign(static_cast<std::size_t>(size.QuadPart), 0);
            DWORD got = 0;
            if (!data.empty() &&
                (!::ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr) ||
                 got != data.size()))
                r = ReadResult::ReadFailed;
        }
        CloseHandle(f);
        return r;
    }

    bool ReplaceFile(const std::string &path, const std::vector<std::uint8_t> &data) override
    {
        const std::wstring target = Widen(path);
        const std::wstring temp = target + L".tmp";
        HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return false;
        DWORD done = 0;
        const bool written =
            data.empty() ||
            (WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
             done == data.size());
        CloseHandle(f);
        if (written && MoveFileExW(temp.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DeleteFileW(temp.c_str());
        return false;
    }

    void Sleep(unsigned ms) override
    {
        ::Sleep(ms);
    }

    bool LoadLibrary(DeviceLibrary &lib) override
    {
        return LoadDeviceLibrary(lib);
    }
};

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(Narrow(argv[i]));
    Win32Host host;
    return RunTzctl(args, host);
}
