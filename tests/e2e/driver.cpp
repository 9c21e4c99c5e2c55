#include "driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

namespace e2e {

namespace {

const wchar_t kMainCaption[] = L"DEBUG TZ810/820";
const int kSettleMarker = 1035;  // the status box
const UINT kSendTimeout = 5000;

bool Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR *result = nullptr)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, kSendTimeout, &r))
        return false;
    if (result)
        *result = r;
    return true;
}

using WindowSearch = std::pair<DWORD, std::vector<HWND>>;

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp)
{
    auto *search = reinterpret_cast<WindowSearch *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->first)
        search->second.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid)
{
    WindowSearch search{pid, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

void RemoveTree(const std::wstring &folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName, path = folder + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..")
                RemoveTree(path);
        } else {
            DeleteFileW(path.c_str());
        }
    }
    FindClose(find);
    RemoveDirectoryW(folder.c_str());
}

// The pixels of w x h drawn by `draw` into a 32-bit bitmap.
std::vector<uint32_t> Pixels(int w, int h, const std::function<void(HDC, HDC)> &draw)
{
    std::vector<uint32_t> pixels(size_t(w) * h);
    HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    draw(mem, screen);
    SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(mem, bmp, 0, h, pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Whether the icon shown is nearer to the system's error icon than to any
// other system icon, told by its pixels on screen.
bool ShowsErrorIcon(HWND iconStatic)
{
    RECT r;
    GetWindowRect(iconStatic, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const auto shown = Pixels(w, h, [&](HDC mem, HDC screen) {
        BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    });
    long best = -1;
    bool error = false;
    for (LPCWSTR id : {IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK}) {
        const auto icon = Pixels(w, h, [&](HDC mem, HDC) {
            HBRUSH background = CreateSolidBrush(shown[0] & 0xFFFFFF);
            RECT all{0, 0, w, h};
            FillRect(mem, &all, background);
            DeleteObject(background);
            DrawIconEx(mem, 0, 0, LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
        });
        long d = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            for (int shift = 0; shift < 24; shift += 8)
                d += std::abs(int((shown[i] >> shift) & 0xFF) - int((icon[i] >> shift) & 0xFF));
        if (best < 0 || d < best) {
            best = d;
            error = id == IDI_HAND;
        }
    }
    return error;
}

} // namespace

bool WaitFor(const std::function<bool()> &done, DWORD timeout)
{
    for (DWORD start = GetTickCount(); !done();) {
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(10);
    }
    return true;
}

std::vector<std::pair<int, std::string>> DescribeControls(HWND dialog)
{
    std::vector<std::pair<int, std::string>> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(c, name, 32);
        const std::wstring cls = name;
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        std::string kind = "?";
        if (cls == L"Button")
            // A focused push button is made the default one.
            kind = (style & 0xF) <= BS_DEFPUSHBUTTON ? "B" : (style & 0xF) == BS_AUTOCHECKBOX ? "C"
                   : (style & 0xF) == BS_GROUPBOX ? "G" : "?";
        else if (cls == L"Static")
            kind = "L";
        else if (cls == L"Edit")
            kind = style & ES_MULTILINE ? (style & ES_READONLY ? "T" : "D") : style & ES_READONLY ? "R" : "I";
        else if (cls == L"ComboBox" && (style & 3) == CBS_DROPDOWN)
            kind = style & CBS_SORT ? "S" : "O";
        if (kind == "B" || kind == "C" || kind == "G" || kind == "L")
            kind += Narrow(TzDebug::TextOf(c));
        const int id = GetDlgCtrlID(c);
        controls.push_back({(id & 0xFFFF) == 0xFFFF ? -1 : id, kind});
    }
    return controls;
}

std::wstring Widen(const std::string &s)
{
    std::wstring out(s.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &out[0], int(s.size())));
    return out;
}

std::string Narrow(const std::wstring &s)
{
    std::string out(s.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), &out[0], int(out.size()),
                                   nullptr, nullptr));
    return out;
}

std::string ReadWholeFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool WriteWholeFile(const std::wstring &path, const std::string &content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) &&
                    written == content.size();
    CloseHandle(file);
    return ok;
}

std::vector<TraceCall> ParseTrace(const std::string &text)
{
    std::vector<TraceCall> calls;
    std::istringstream lines(text);
    std::string line, ms, token;
    while (std::getline(lines, line)) {
        std::istringstream tokens(line);
        TraceCall call;
        if (!(tokens >> ms >> call.name) || !std::isdigit(static_cast<unsigned char>(ms[0])))
            continue;
        call.line = line;
        while (tokens >> token && token != "->") {
            if (token.compare(0, 5, "data=") == 0)
                call.data = token.substr(5);
            else if (token.compare(0, 4, "out=") == 0)
                call.out = token.substr(4);
            else
                call.args.push_back(uint32_t(std::strtoull(token.c_str() + token.find('=') + 1, nullptr, 0)));
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<TraceCall> CallsNamed(const std::vector<TraceCall> &calls, const std::string &name,
                                  size_t from)
{
    std::vector<TraceCall> result;
    for (size_t i = from; i < calls.size(); ++i)
        if (calls[i].name == name)
            result.push_back(calls[i]);
    return result;
}

std::string DescribeTrace(const std::vector<TraceCall> &calls, size_t from)
{
    std::string text;
    for (size_t i = from; i < calls.size(); ++i)
        text += "  " + calls[i].line + "\n";
    return text;
}

TzDebug::TzDebug()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"tzdebug-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter);
    CreateDirectoryW(folder_.c_str(), nullptr);
}

TzDebug::~TzDebug()
{
    Kill();
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    if (::testing::Test::HasFailure())
        std::fprintf(stderr, "[ e2e ] folder kept: %s\n[ e2e ] trace:\n%s\n", Narrow(folder_).c_str(),
                     ReadWholeFile(folder_ + L"\\trace.txt").c_str());
    else
        RemoveTree(folder_);
}

bool TzDebug::Launch(const LaunchOptions &options)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"tzdebug.exe";
    if (!options.withLibrary) {
        CopyFileW(exe.c_str(), (folder_ + L"\\tzdebug.exe").c_str(), FALSE);
        exe = folder_ + L"\\tzdebug.exe";
    }
    WriteWholeFile(folder_ + L"\\scenario.cfg", options.config);
    // The driver's environment with the simulator's variables replaced.
    std::wstring env;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; *p; p += wcslen(p) + 1)
        if (_wcsnicmp(p, L"TZSIM_", 6) != 0)
            env.append(p, wcslen(p) + 1);
    FreeEnvironmentStringsW(block);
    for (const wchar_t *v : {L"TZSIM_CONFIG=\\scenario.cfg", L"TZSIM_STATE=\\state.bin",
                             L"TZSIM_TRACE=\\trace.txt"}) {
        std::wstring s = v;
        env += s.insert(s.find(L'=') + 1, folder_) + L'\0';
    }
    env += L'\0';
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &env[0], folder_.c_str(), &si, &pi_)) {
        error_ = "cannot start " + Narrow(exe) + ", error " + std::to_string(GetLastError());
        return false;
    }
    return !options.waitForMain || WaitMain(true);
}

bool TzDebug::Running() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool TzDebug::WaitMain(bool visible, DWORD timeout)
{
    const bool found = WaitFor(
        [&] {
            std::vector<HWND> mains = Dialogs(kMainCaption, visible);
            main_ = mains.empty() ? nullptr : mains.front();
            return (main_ && (!visible || Send(main_, WM_NULL, 0, 0))) || !Running();
        },
        timeout);
    if (found && main_)
        return true;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    error_ = "no main dialog; the program " + (Running() ? std::string("runs") : "ended with " + std::to_string(code));
    return false;
}

std::wstring TzDebug::TextOf(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!hwnd || !Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &length))
        return L"<no window>";
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR got = 0;
    Send(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &got);
    return std::wstring(buffer.data(), got);
}

std::vector<std::wstring> TzDebug::ComboEntries(HWND combo) const
{
    std::vector<std::wstring> entries;
    DWORD_PTR count = 0, length = 0;
    Send(combo, CB_GETCOUNT, 0, 0, &count);
    for (int i = 0; i < int(count) && Send(combo, CB_GETLBTEXTLEN, i, 0, &length); ++i) {
        std::vector<wchar_t> buffer(length + 2);
        Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        entries.push_back(buffer.data());
    }
    return entries;
}

void TzDebug::Click(int id) const
{
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void TzDebug::Command(int id) const { PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void TzDebug::Type(int id, const std::wstring &chars) const { TypeInto(Item(id), chars); }

void TzDebug::TypeInto(HWND box, const std::wstring &chars)
{
    for (wchar_t c : chars)
        PostMessageW(box, WM_CHAR, c, 1);
}

void TzDebug::Key(int id, UINT vk) const
{
    const LPARAM scan = LPARAM(MapVirtualKeyW(vk, 0)) << 16;
    PostMessageW(Item(id), WM_KEYDOWN, vk, 1 | scan);
    PostMessageW(Item(id), WM_KEYUP, vk, 1 | scan | 0xC0000000u);
}

void TzDebug::Select(int id, int index) const { Send(Item(id), CB_SETCURSEL, index, 0); }

void TzDebug::SetTextOf(HWND hwnd, const std::wstring &text)
{
    Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool TzDebug::Settle(DWORD timeout) const
{
    // The status box's modified flag is the marker: cleared now, set again by
    // a message posted behind everything posted so far. Posted messages are
    // taken in order, by the main loop or by a modal loop one of them
    // entered. A second round catches what the first ones posted in turn
    // (the characters TranslateMessage makes of a key, for one).
    HWND marker = Item(kSettleMarker);
    for (int round = 0; round < 2; ++round) {
        if (!marker || !Send(marker, EM_SETMODIFY, FALSE, 0))
            return false;
        PostMessageW(marker, EM_SETMODIFY, TRUE, 0);
        DWORD_PTR modified = 0;
        if (!WaitFor([&] { return Send(marker, EM_GETMODIFY, 0, 0, &modified) && modified; }, timeout))
            return false;
    }
    return true;
}

MessageBoxInfo TzDebug::WaitMessageBox(DWORD timeout) const
{
    MessageBoxInfo info;
    HWND box = WaitDialog(L"\u63d0\u793a", timeout);  // 提示
    if (!box)
        return info;
    info.hwnd = box;
    info.text = TextOf(GetDlgItem(box, 0xFFFF));
    HWND icon = GetDlgItem(box, 1088);
    DWORD_PTR handle = 0;
    info.hasIcon = icon && Send(icon, STM_GETICON, 0, 0, &handle) && handle;
    info.errorIcon = info.hasIcon && ShowsErrorIcon(icon);
    info.owner = GetWindow(box, GW_OWNER);
    return info;
}

bool TzDebug::PressOk(const MessageBoxInfo &box, DWORD timeout) const
{
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, IDOK)));
    return box && WaitFor([&] { return !IsWindow(box.hwnd); }, timeout);
}

std::vector<HWND> TzDebug::Dialogs(const std::wstring &caption, bool visibleOnly) const
{
    std::vector<HWND> result;
    wchar_t name[16] = {};
    for (HWND hwnd : TopLevelWindows(pi_.dwProcessId))
        if (GetClassNameW(hwnd, name, 16) && std::wstring(name) == L"#32770" &&
            (!visibleOnly || IsWindowVisible(hwnd)) && TextOf(hwnd) == caption)
            result.push_back(hwnd);
    return result;
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

bool TzDebug::WaitDialogGone(const std::wstring &caption, DWORD timeout) const
{
    return WaitFor([&] { return Dialogs(caption, false).empty(); }, timeout);
}

long TzDebug::WaitExit(DWORD timeout)
{
    DWORD code = 0;
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, timeout) != WAIT_OBJECT_0)
        return -1;
    GetExitCodeProcess(pi_.hProcess, &code);
    main_ = nullptr;
    return long(code);
}

void TzDebug::Kill()
{
    if (Running()) {
        TerminateProcess(pi_.hProcess, 0xDEAD);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
}

std::vector<TraceCall> TzDebug::Trace() const
{
    return ParseTrace(ReadWholeFile(folder_ + L"\\trace.txt"));
}

} // namespace e2e
