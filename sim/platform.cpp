#include "platform.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
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
    return !in.bad();
}

bool WriteFileAtomically(const fs::path &path, const std::string &text)
{
    fs::path temp = path;
    temp += ".tmp";
    std::error_code made;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), made);
#if defined(_WIN32)
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, text.data() + done, piece, &written, nullptr) && written == piece;
        done += written;
    }
    // On the disk before the rename: a crash then leaves the old file or
    // the new one, never a renamed file whose bytes were still in a cache.
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
#else
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
#endif
}

bool RenameNoReplace(const fs::path &from, const fs::path &to)
{
#if defined(_WIN32)
    return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
#else
    // rename() would replace: a new link fails instead when the name is taken.
    return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
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

#if defined(_WIN32)
namespace {

std::wstring Widen(const std::string &utf8)
{
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

DWORD WINAPI ShowNotice(void *text)
{
    std::unique_ptr<std::wstring> owned(static_cast<std::wstring *>(text));
    MessageBoxW(nullptr, owned->c_str(), L"tzsim", MB_OK | MB_ICONWARNING | MB_TOPMOST);
    return 0;
}

}  // namespace
#endif

void TellUser(const std::string &text)
{
#if defined(_WIN32)
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE console = INVALID_HANDLE_VALUE;
    if ((err == nullptr || err == INVALID_HANDLE_VALUE) && GetConsoleWindow()) {
        console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        err = console;
    }
    if (err != nullptr && err != INVALID_HANDLE_VALUE) {
        const std::string line = "tzsim: " + text + "\n";
        DWORD mode = 0, written = 0;
        if (GetConsoleMode(err, &mode)) {
            const std::wstring wide = Widen(line);
            WriteConsoleW(err, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
        if (console != INVALID_HANDLE_VALUE)
            CloseHandle(console);
        return;
    }
    // A program with no console: a box on a thread of its own, so the call
    // that loaded the bench goes on, and nothing the caller's windows do
    // while the box is up can come back into the library half-built.
    auto *wide = new std::wstring(Widen(text));
    if (HANDLE thread = CreateThread(nullptr, 0, ShowNotice, wide, 0, nullptr))
        CloseHandle(thread);
    else
        delete wide;
#else
    (void)text;
#endif
}

}  // namespace tzsim
