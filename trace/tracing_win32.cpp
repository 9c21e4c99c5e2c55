// The tracer's system: the log file, the clock, the thread, finding the
// vendor's library, and the summary at unload.
#include <windows.h>

#include <string>

#include "module_info.h"
#include "text.h"
#include "tracing.h"

namespace {

HMODULE self = nullptr;

std::wstring Variable(const wchar_t *name)
{
    wchar_t small[1];
    const DWORD n = GetEnvironmentVariableW(name, small, 1);
    if (n == 0)
        return {};
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), n));
    return value;
}

std::wstring ModulePath(HMODULE module)
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring Folder(const std::wstring &path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

HANDLE OpenLog(const std::wstring &path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class Win32Environment : public tztrace::Environment {
  public:
    Win32Environment()
    {
        FILETIME utc, local;
        GetSystemTimeAsFileTime(&utc);
        FileTimeToLocalFileTime(&utc, &local);
        const ULONGLONG ticks =
            (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
        // 100 ns ticks since 1601 to microseconds since 1970.
        baseMicros_ = (ticks - 116444736000000000ull) / 10;
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&baseCount_);
        log_ = OpenChosenLog();
    }

    std::uint64_t Micros() override
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const ULONGLONG delta = static_cast<ULONGLONG>(now.QuadPart - baseCount_.QuadPart);
        const ULONGLONG f = static_cast<ULONGLONG>(frequency_.QuadPart);
        return baseMicros_ + delta / f * 1000000 + delta % f * 1000000 / f;
    }

    std::uint32_t Thread() override
    {
        return GetCurrentThreadId();
    }

    // Unbuffered: each line is in the system's hands when WriteFile returns,
    // so a crash of the program loses none, and appending writes of other
    // processes sharing the file land between lines, not inside them.
    void Write(const std::string &line) override
    {
        DWORD written = 0;
        if (log_ != INVALID_HANDLE_VALUE)
            WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

    tztrace::Loaded Load() override
    {
        tztrace::Loaded l;
        l.program = WideToUtf8(ModulePath(nullptr));
        l.pid = GetCurrentProcessId();
        std::wstring named = Variable(L"TZTRACE_LIBRARY");
        std::wstring candidates[2];
        if (!named.empty()) {
            candidates[0] = named;
        } else {
            candidates[0] = Folder(ModulePath(self)) + L"TZ810DLL.vendor.dll";
            wchar_t system[MAX_PATH];
            const UINT n = GetSystemDirectoryW(system, MAX_PATH);
            candidates[1] = std::wstring(system, n < MAX_PATH ? n : 0) + L"\\TZ810DLL.DLL";
        }
        for (const std::wstring &path : candidates) {
            if (path.empty())
                continue;
            HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            const DWORD error = GetLastError();
            if (module == self) {
                // The system folder's copy is this library: passing calls to
                // itself would never end.
                FreeLibrary(module);
                l.failure += (l.failure.empty() ? "" : "; ") + WideToUtf8(path) + " is tztrace";
                continue;
            }
            if (!module) {
                l.failure += (l.failure.empty() ? "" : "; ") + WideToUtf8(path) +
                             " not loaded (error " + std::to_string(error) + ")";
                continue;
            }
            // Kept for the life of the process: its interrupt thread may
            // outlive any scope. So is this library, whose wrappers of the
            // program's routines that thread calls.
            HMODULE pinned = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN |
                                   GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               reinterpret_cast<LPCWSTR>(&self), &pinned);
            l.library = WideToUtf8(ModulePath(module));
            l.version = ReadVersionBlock(l.library).fileVersion;
            l.resolve = [](void *m, const char *name) {
                return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(m), name));
            };
            l.context = module;
            return l;
        }
        return l;
    }

  private:
    static HANDLE OpenChosenLog()
    {
        const std::wstring named = Variable(L"TZTRACE_LOG");
        if (!named.empty())
            return OpenLog(named);
        HANDLE h = OpenLog(Folder(ModulePath(self)) + L"tztrace.log");
        if (h != INVALID_HANDLE_VALUE)
            return h;
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH)
            return INVALID_HANDLE_VALUE;
        return OpenLog(std::wstring(temp, n) + L"tztrace.log");
    }

    ULONGLONG baseMicros_ = 0;
    LARGE_INTEGER frequency_{}, baseCount_{};
    HANDLE log_ = INVALID_HANDLE_VALUE;
};

tztrace::Tracer *made = nullptr;

}  // namespace

tztrace::Tracer &tztrace::Process()
{
    static Tracer *tracer = [] {
        const std::string bytes = WideToUtf8(Variable(L"TZTRACE_BYTES"));
        made = new Tracer(*new Win32Environment, ByteLimit(bytes.c_str()));
        return made;
    }();
    return *tracer;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && made) {
        made->WriteSummary();
    }
    return TRUE;
}
