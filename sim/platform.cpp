#include "platform.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tzsim {

namespace fs = std::filesystem;

fs::path EnvPath(const char *name)
{
#if defined(_WIN32)
    std::wstring wname(name, name + std::char_traits<char>::length(name));
    const wchar_t *v = _wgetenv(wname.c_str());
    return v && *v ? fs::path(v) : fs::path();
#else
    const char *v = std::getenv(name);
    return v && *v ? fs::path(v) : fs::path();
#endif
}

fs::path ModuleDir()
{
#if defined(_WIN32)
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleDir), &self))
        return fs::path();
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(self, buffer, sizeof buffer / sizeof buffer[0]);
    if (n == 0 || n >= sizeof buffer / sizeof buffer[0])
        return fs::path();
    return fs::path(std::wstring(buffer, n)).parent_path();
#else
    return fs::path();
#endif
}

fs::path UserStatePath()
{
#if defined(_WIN32)
    fs::path local = EnvPath("LOCALAPPDATA");
    return local.empty() ? fs::path() : local / "tzsim" / "bench.state";
#else
    return fs::path();
#endif
}

bool ReadWholeFile(const fs::path &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool WriteFileAtomically(const fs::path &path, const std::string &text)
{
    fs::path temp = path;
    temp += ".tmp";
    std::error_code made;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), made);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out)
            return false;
    }
#if defined(_WIN32)
    return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    std::error_code ec;
    fs::rename(temp, path, ec);
    return !ec;
#endif
}

std::FILE *OpenForAppend(const fs::path &path)
{
#if defined(_WIN32)
    return _wfopen(path.c_str(), L"ab");
#else
    return std::fopen(path.c_str(), "ab");
#endif
}

void DebugNote(const std::string &text)
{
#if defined(_WIN32)
    OutputDebugStringA(("TZ810DLL: " + text + "\n").c_str());
#else
    (void)text;
#endif
}

}  // namespace tzsim
