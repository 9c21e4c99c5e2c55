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
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

bool ReadFilePrefix(const fs::path &path, std::size_t n, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    text.assign(n, '\0');
    in.read(&text[0], static_cast<std::streamsize>(n));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad() && in.is_open();
}

#if defined(_WIN32)
namespace {

// Kernel object names follow the file, whatever case or form the path was
// given in, so every program naming it meets the same objects.
std::wstring ObjectName(const fs::path &path, const wchar_t *kind)
{
    std::error_code ec;
    fs::path full = fs::absolute(path, ec).lexically_normal();
    std::wstring key = (ec ? path : full).wstring();
    CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    std::uint64_t h = 14695981039346656037ull;
    for (wchar_t c : key)
        h = (h ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    std::wstring name = L"Local\\tzsim-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(h >> shift) & 0xF];
    return name + L"-" + kind;
}

}  // namespace

std::unique_ptr<SharedMapping> SharedMapping::Map(const fs::path &path, std::size_t size)
{
    std::unique_ptr<SharedMapping> m(new SharedMapping());
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    m->file_ = file;
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length) || static_cast<std::uint64_t>(length.QuadPart) != size)
        return nullptr;
    // The size is in the name: a program of another layout never meets it.
    const std::wstring name = ObjectName(path, (L"map-" + std::to_wstring(size)).c_str());
    m->section_ = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, name.c_str());
    if (!m->section_)
        return nullptr;
    m->data_ = MapViewOfFile(m->section_, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!m->data_)
        return nullptr;
    m->size_ = size;
    return m;
}

SharedMapping::~SharedMapping()
{
    if (data_)
        UnmapViewOfFile(data_);
    if (section_)
        CloseHandle(section_);
    if (file_)
        CloseHandle(file_);
}

bool SharedMapping::Flush(const void *at, std::size_t length)
{
    return FlushViewOfFile(at, length) && FlushFileBuffers(file_);
}

namespace {

// When the process started, in 100 ns units; 0 when it cannot be told.
std::uint64_t StartTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return std::uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

}  // namespace

std::uint64_t ProcessIdentity()
{
    return std::uint64_t(GetCurrentProcessId()) << 32 |
           static_cast<std::uint32_t>(StartTime(GetCurrentProcess()));
}

bool ProcessAlive(std::uint64_t identity)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                 static_cast<DWORD>(identity >> 32));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, though not ours to look at
    const bool alive =
        WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
        static_cast<std::uint32_t>(StartTime(process)) == static_cast<std::uint32_t>(identity);
    CloseHandle(process);
    return alive;
}

NamedLock::NamedLock(const fs::path &path)
    : mutex_(CreateMutexW(nullptr, FALSE, ObjectName(path, L"lock").c_str()))
{
}

NamedLock::~NamedLock()
{
    if (mutex_)
        CloseHandle(mutex_);
}

void NamedLock::Lock()
{
    // WAIT_ABANDONED: the last holder died; the journal mends what it left.
    if (mutex_)
        WaitForSingleObject(mutex_, INFINITE);
}

void NamedLock::Unlock()
{
    if (mutex_)
        ReleaseMutex(mutex_);
}
#else
std::unique_ptr<SharedMapping> SharedMapping::Map(const fs::path &path, std::size_t size)
{
    std::unique_ptr<SharedMapping> m(new SharedMapping());
    m->fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);

    struct stat st {};

    if (m->fd_ < 0 || ::fstat(m->fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) != size)
        return nullptr;
    void *data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m->fd_, 0);
    if (data == MAP_FAILED)
        return nullptr;
    m->data_ = data;
    m->size_ = size;
    return m;
}

SharedMapping::~SharedMapping()
{
    if (data_)
        ::munmap(data_, size_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool SharedMapping::Flush(const void *at, std::size_t length)
{
    // msync takes whole pages.
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(at) & ~(page - 1);
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(at) + length;
    return ::msync(reinterpret_cast<void *>(from), to - from, MS_SYNC) == 0;
}

namespace {

// The process's state and its start, in clock ticks since boot, from
// /proc/<pid>/stat; false when there is no such process.
bool ProcessStat(unsigned pid, char &state, std::uint64_t &start)
{
    std::string stat;
    if (!ReadFilePrefix("/proc/" + std::to_string(pid) + "/stat", 1024, stat))
        return false;
    // The name in parentheses may hold anything: the fields follow its end.
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string skip;
    fields >> state;
    for (int i = 0; i < 18; ++i)
        fields >> skip;
    return static_cast<bool>(fields >> start);
}

}  // namespace

std::uint64_t ProcessIdentity()
{
    char state = 0;
    std::uint64_t start = 0;
    ProcessStat(static_cast<unsigned>(::getpid()), state, start);
    return std::uint64_t(::getpid()) << 32 | static_cast<std::uint32_t>(start);
}

bool ProcessAlive(std::uint64_t identity)
{
    char state = 0;
    std::uint64_t start = 0;
    return ProcessStat(static_cast<unsigned>(identity >> 32), state, start) && state != 'Z' &&
           state != 'X' &&
           static_cast<std::uint32_t>(start) == static_cast<std::uint32_t>(identity);
}

NamedLock::NamedLock(const fs::path &path)
{
    fs::path file = path;
    file += ".lock";
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

NamedLock::~NamedLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void NamedLock::Lock()
{
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

void NamedLock::Unlock()
{
    if (fd_ >= 0)
        ::flock(fd_, LOCK_UN);
}
#endif

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
