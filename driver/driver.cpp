#include "driver.h"
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {
bool Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result = nullptr)
{
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, 5000, result ? result : &r) != 0;
}

}  // namespace

std::function<bool()> KeepFolder;

bool WaitFor(const std::function<bool()> &done, DWORD timeout)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(10))
        if (GetTickCount() - start > timeout)
            return false;
    return true;
}

std::string ReadWholeFile(const std::wstring &path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool WriteWholeFile(const std::wstring &path, const std::string &content)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    return bool(file.write(content.data(), content.size()).flush());
}

std::wstring OwnFolder()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path = self;
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

TzDebug::TzDebug()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    // Wine reuses process ids: a folder kept from an earlier failed run is
    // left alone, not run in with its files.
    do
        folder_ = temp + (L"tzdebug-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter));
    while (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TzDebug::~TzDebug()
{
    if (Running() && TerminateProcess(pi_.hProcess, 0xDEAD))
        WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    std::error_code unused;
    if (!KeepFolder || !KeepFolder())
        std::filesystem::remove_all(folder_, unused);
    else
        std::fprintf(stderr, "[ e2e ] folder kept: %s\n[ e2e ] trace:\n%s\n",
                     Narrow(folder_).c_str(), ReadWholeFile(folder_ + L"\\trace.txt").c_str());
}

std::wstring SimulatorEnvironment(const std::vector<std::wstring> &variables)
{
    std::wstring env;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; *p; p += wcslen(p) + 1)
        if (_wcsnicmp(p, L"TZSIM_", 6) != 0)
            env.append(p, wcslen(p) + 1);
    FreeEnvironmentStringsW(block);
    for (const std::wstring &v : variables)
        env += v + L'\0';
    return env + L'\0';
}

bool TzDebug::Launch(const std::string &config, bool withLibrary)
{
    std::wstring exe = OwnFolder() + L"tzdebug.exe";
    if (!withLibrary && CopyFileW(exe.c_str(), (folder_ + L"\\tzdebug.exe").c_str(), FALSE))
        exe = folder_ + L"\\tzdebug.exe";
    WriteWholeFile(folder_ + L"\\scenario.cfg", config);
    std::wstring env = SimulatorEnvironment({L"TZSIM_CONFIG=" + folder_ + L"\\scenario.cfg",
                                             L"TZSIM_STATE=" + folder_ + L"\\state.bin",
                                             L"TZSIM_TRACE=" + folder_ + L"\\trace.txt"});
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &env[0], folder_.c_str(), &si, &pi_)) {
        error_ = "cannot start " + Narrow(exe) + ", error " + std::to_string(GetLastError());
        return false;
    }
    return !withLibrary || WaitMain(true);
}

bool TzDebug::WaitMain(bool visible)
{
    WaitFor([&] {
        std::vector<HWND> mains = Dialogs(L"DEBUG TZ810/820", visible);
        main_ = mains.empty() || (visible && !Send(mains.front(), WM_NULL, 0, 0)) ? nullptr
                                                                                  : mains.front();
        return main_ || !Running();
    });
    error_ = main_       ? ""
             : Running() ? "the main dialog did not appear"
                         : "the program ended before its main dialog";
    return main_ != nullptr;
}

long TzDebug::WaitExit()
{
    DWORD code = 0;
    const bool ended = WaitForSingleObject(pi_.hProcess, kWait) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(pi_.hProcess, &code) ? long(code) : -1;
}

std::vector<std::string> TzDebug::Calls(const std::string &name) const
{
    std::istringstream trace(ReadWholeFile(folder_ + L"\\trace.txt"));
    std::vector<std::string> calls;
    for (std::string line; std::getline(trace, line);)
        if (line.find(" " + name + " ") != std::string::npos)
            calls.push_back(line);
    return calls;
}

std::wstring TzDebug::TextOf(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!hwnd || !Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &length))
        return L"<no window>";
    std::vector<wchar_t> buffer(length + 2);
    Send(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &length);
    return std::wstring(buffer.data(), length);
}

void TzDebug::SetTextOf(HWND hwnd, const std::wstring &text)
{
    Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool TzDebug::Settle() const
{
    // The status box's modified flag is the marker: cleared now, set again by a message posted
    // behind everything posted so far, which the main loop or a modal loop takes in order. A second
    // round catches what the first ones posted in turn.
    HWND marker = Item(1035);
    DWORD_PTR modified = 0;
    for (int round = 0; round < 2; ++round)
        if (!Send(marker, EM_SETMODIFY, FALSE, 0) || !PostMessageW(marker, EM_SETMODIFY, TRUE, 0) ||
            !WaitFor([&] { return Send(marker, EM_GETMODIFY, 0, 0, &modified) && modified; }))
            return false;
    return true;
}

std::vector<HWND> TzDebug::Dialogs(const std::wstring &caption, bool visibleOnly) const
{
    std::vector<HWND> found;
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", caption.c_str()));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == pi_.dwProcessId && (!visibleOnly || IsWindowVisible(h)))
            found.push_back(h);
    }
    return found;
}

HWND TzDebug::WaitDialog(const std::wstring &caption, DWORD timeout) const
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            std::vector<HWND> all = Dialogs(caption);
            found = all.empty() || !Send(all.front(), WM_NULL, 0, 0) ? nullptr : all.front();
            return found || !Running();
        },
        timeout);
    return found;
}

MessageBoxInfo TzDebug::WaitMessageBox(DWORD timeout) const
{
    MessageBoxInfo info;
    if (!(info.hwnd = WaitDialog(L"\u63d0\u793a", timeout)))
        return info;  // 提示
    info.text = TextOf(GetDlgItem(info.hwnd, 0xFFFF));
    DWORD_PTR icon = 0;
    info.icon = Send(GetDlgItem(info.hwnd, 1088), STM_GETICON, 0, 0, &icon) && icon;
    info.owner = GetWindow(info.hwnd, GW_OWNER);
    return info;
}

bool TzDebug::PressOk(const MessageBoxInfo &box) const
{
    PostMessageW(box.hwnd, WM_COMMAND, IDOK, 0);
    return box.hwnd && WaitFor([&] { return !IsWindow(box.hwnd); });
}
}  // namespace e2e
