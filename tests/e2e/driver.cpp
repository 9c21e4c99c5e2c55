#include "driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace e2e {

namespace {

const wchar_t kMainCaption[] = L"DEBUG TZ810/820";
const wchar_t kBoxCaption[] = L"\u63d0\u793a"; // 提示
const wchar_t kDialogClass[] = L"#32770";
const int kStatusBox = 1035;   // marker box of Settle()
const int kBoxTextId = 0xFFFF; // static text of a message box
const int kBoxIconId = 1088;   // icon static of a message box

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

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

struct TopLevelSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp)
{
    auto *search = reinterpret_cast<TopLevelSearch *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid)
        search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid)
{
    TopLevelSearch search{pid, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Dialog windows of the process whose caption is `caption`.
std::vector<HWND> DialogsOf(DWORD pid, const std::wstring &caption, bool visibleOnly)
{
    std::vector<HWND> result;
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (ClassOf(hwnd) != kDialogClass)
            continue;
        if (visibleOnly && !IsWindowVisible(hwnd))
            continue;
        if (TzDebug::TextOf(hwnd) == caption)
            result.push_back(hwnd);
    }
    return result;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChildById(HWND hwnd, LPARAM lp)
{
    auto *search = reinterpret_cast<ChildSearch *>(lp);
    if ((GetWindowLongPtrW(hwnd, GWLP_ID) & 0xFFFF) == (search->id & 0xFFFF)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND ChildById(HWND parent, int id)
{
    if (HWND hwnd = GetDlgItem(parent, id))
        return hwnd;
    ChildSearch search{id, nullptr};
    EnumChildWindows(parent, FindChildById, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring DriverFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}


void RemoveFolder(const std::wstring &folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// The driver's environment with the simulator's variables replaced.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring> &extra)
{
    std::vector<wchar_t> block;
    wchar_t *env = GetEnvironmentStringsW();
    for (const wchar_t *p = env; *p; p += wcslen(p) + 1) {
        if (_wcsnicmp(p, L"TZSIM_", 6) == 0)
            continue;
        block.insert(block.end(), p, p + wcslen(p) + 1);
    }
    FreeEnvironmentStringsW(env);
    for (const std::wstring &v : extra)
        block.insert(block.end(), v.c_str(), v.c_str() + v.size() + 1);
    block.push_back(0);
    return block;
}

// Draws into a 32-bit top-down bitmap of w x h and hands back its pixels
// (BGRA). draw gets the memory DC, the screen DC and the bitmap's bits.
template <typename Draw> std::vector<uint32_t> DrawPixels(int w, int h, Draw draw)
{
    std::vector<uint32_t> pixels(size_t(w) * h);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    draw(mem, screen, static_cast<uint32_t *>(bits));
    GdiFlush();
    std::memcpy(pixels.data(), bits, pixels.size() * 4);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The pixels of a window as shown on screen.
std::vector<uint32_t> CaptureScreen(const RECT &r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    return DrawPixels(w, h, [&](HDC mem, HDC screen, uint32_t *) {
        BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    });
}

// A system icon drawn as the icon static draws it, over `background`.
std::vector<uint32_t> RenderIcon(LPCWSTR id, int w, int h, uint32_t background)
{
    return DrawPixels(w, h, [&](HDC mem, HDC, uint32_t *bits) {
        std::fill(bits, bits + size_t(w) * h, background);
        DrawIconEx(mem, 0, 0, LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
    });
}

long Distance(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    long d = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            d += std::labs(long((a[i] >> shift) & 0xFF) - long((b[i] >> shift) & 0xFF));
    return d;
}

// The system icon closest to what the icon static shows.
BoxIcon ClassifyIcon(HWND iconStatic)
{
    RECT r;
    if (!GetWindowRect(iconStatic, &r) || r.right - r.left < 8 || r.bottom - r.top < 8)
        return BoxIcon::Unknown;
    std::vector<uint32_t> shown = CaptureScreen(r);
    const struct {
        LPCWSTR id;
        BoxIcon kind;
    } candidates[] = {{IDI_HAND, BoxIcon::Error},
                      {IDI_QUESTION, BoxIcon::Question},
                      {IDI_EXCLAMATION, BoxIcon::Warning},
                      {IDI_ASTERISK, BoxIcon::Information}};
    BoxIcon best = BoxIcon::Unknown;
    long bestDistance = -1, second = -1;
    for (const auto &c : candidates) {
        long d = Distance(shown, RenderIcon(c.id, r.right - r.left, r.bottom - r.top, shown[0]));
        if (bestDistance < 0 || d < bestDistance) {
            second = bestDistance;
            bestDistance = d;
            best = c.kind;
        } else if (second < 0 || d < second) {
            second = d;
        }
    }
    // A clear winner only: nearly as close to two icons means we saw neither.
    return bestDistance * 2 < second ? best : BoxIcon::Unknown;
}

} // namespace

std::string ReadWholeFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

const char *BoxIconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None: return "no icon";
    case BoxIcon::Error: return "the error icon";
    case BoxIcon::Question: return "the question icon";
    case BoxIcon::Warning: return "the warning icon";
    case BoxIcon::Information: return "the information icon";
    default: return "an icon not recognised";
    }
}

std::wstring Widen(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    return out;
}

std::string Narrow(const std::wstring &text)
{
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// ---------------------------------------------------------------- trace

uint32_t TraceCall::ResultValue() const
{
    return uint32_t(std::strtoull(result.c_str(), nullptr, 0));
}

uint32_t TraceCall::OutValue() const
{
    // A single value is written 0x-prefixed, bytes as bare hex digits.
    return uint32_t(std::strtoull(out.c_str(), nullptr, out.compare(0, 2, "0x") == 0 ? 0 : 16));
}

std::vector<TraceCall> ParseTrace(const std::string &text)
{
    std::vector<TraceCall> calls;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream tokens(line);
        TraceCall call;
        std::string ms;
        if (!(tokens >> ms >> call.name))
            continue;
        char *end = nullptr;
        call.ms = std::strtod(ms.c_str(), &end);
        if (end == ms.c_str())
            continue; // not a call line
        call.line = line;
        std::string token;
        while (tokens >> token) {
            if (token == "->") {
                std::getline(tokens, call.result);
                size_t first = call.result.find_first_not_of(' ');
                call.result = first == std::string::npos ? "" : call.result.substr(first);
                break;
            }
            if (token.compare(0, 5, "data=") == 0) {
                call.data = token.substr(5);
                continue;
            }
            if (token.compare(0, 4, "out=") == 0) {
                call.out = token.substr(4);
                continue;
            }
            size_t eq = token.find('=');
            std::string value = eq == std::string::npos ? token : token.substr(eq + 1);
            call.args.push_back(uint32_t(std::strtoull(value.c_str(), nullptr, 0)));
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

// ---------------------------------------------------------------- process

TzDebug::TzDebug()
{
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    swprintf(name, 64, L"tzdebug-e2e-%lu-%u-%lu", GetCurrentProcessId(), ++counter,
             GetTickCount());
    folder_ = std::wstring(temp) + name;
    CreateDirectoryW(folder_.c_str(), nullptr);
    tracePath_ = folder_ + L"\\trace.txt";
}

TzDebug::~TzDebug()
{
    Kill();
    if (pi_.hProcess) {
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    if (::testing::Test::HasFailure()) {
        std::string trace = ReadWholeFile(tracePath_);
        std::fprintf(stderr, "[ e2e ] scenario folder kept: %s\n[ e2e ] simulator trace:\n%s\n",
                     Narrow(folder_).c_str(), trace.c_str());
        return;
    }
    RemoveFolder(folder_);
}

std::wstring TzDebug::WriteFile(const wchar_t *name, const std::string &content)
{
    std::wstring path = folder_ + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

bool TzDebug::Launch(const LaunchOptions &options)
{
    std::wstring exe = DriverFolder() + L"tzdebug.exe";
    if (!options.withLibrary) {
        std::wstring copy = folder_ + L"\\tzdebug.exe";
        if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE)) {
            error_ = "cannot copy tzdebug.exe into " + Narrow(folder_);
            return false;
        }
        exe = copy;
    }
    std::wstring config = WriteFile(L"scenario.cfg", options.config);
    std::vector<wchar_t> env = EnvironmentBlock({L"TZSIM_CONFIG=" + config,
                                                 L"TZSIM_STATE=" + folder_ + L"\\state.bin",
                                                 L"TZSIM_TRACE=" + tracePath_});
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, env.data(), folder_.c_str(), &si, &pi_)) {
        error_ = "CreateProcess failed for " + Narrow(exe) + ", error " +
                 std::to_string(GetLastError());
        return false;
    }
    if (options.waitForMain)
        return WaitMain(true);
    return true;
}

bool TzDebug::Running() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool TzDebug::WaitMain(bool visible, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = DialogsOf(pi_.dwProcessId, kMainCaption, visible);
        if (!found.empty()) {
            main_ = found.front();
            if (!visible || Send(main_, WM_NULL, 0, 0))
                return true;
        }
        if (!Running()) {
            DWORD code = 0;
            GetExitCodeProcess(pi_.hProcess, &code);
            error_ = "tzdebug.exe ended (code " + std::to_string(code) +
                     ") before its main dialog was shown";
            return false;
        }
        if (GetTickCount() - start > timeout) {
            error_ = "the main dialog did not appear";
            return false;
        }
        Sleep(20);
    }
}

HWND TzDebug::Item(int id) const
{
    return main_ ? GetDlgItem(main_, id) : nullptr;
}

std::wstring TzDebug::TextOf(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!hwnd || !Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &length))
        return L"<no window>";
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR got = 0;
    if (!Send(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &got))
        return L"<no answer>";
    return std::wstring(buffer.data(), got);
}

bool TzDebug::Enabled(int id) const
{
    return IsWindowEnabled(Item(id)) != FALSE;
}

int TzDebug::ComboSelection(int id) const
{
    DWORD_PTR r = DWORD_PTR(-2);
    Send(Item(id), CB_GETCURSEL, 0, 0, &r);
    return int(r);
}

int TzDebug::ComboCount(int id) const
{
    DWORD_PTR r = DWORD_PTR(-2);
    Send(Item(id), CB_GETCOUNT, 0, 0, &r);
    return int(r);
}

std::wstring TzDebug::ComboEntry(int id, int index) const
{
    DWORD_PTR length = 0;
    HWND combo = Item(id);
    if (!Send(combo, CB_GETLBTEXTLEN, index, 0, &length) || int(length) < 0)
        return L"<none>";
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR got = 0;
    if (!Send(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()), &got) ||
        int(got) < 0)
        return L"<none>";
    return std::wstring(buffer.data(), got);
}

std::vector<std::wstring> TzDebug::ComboEntries(int id) const
{
    std::vector<std::wstring> entries;
    int count = ComboCount(id);
    for (int i = 0; i < count; ++i)
        entries.push_back(ComboEntry(id, i));
    return entries;
}

int TzDebug::CheckState(int id) const
{
    DWORD_PTR r = DWORD_PTR(-1);
    Send(Item(id), BM_GETCHECK, 0, 0, &r);
    return int(r);
}

void TzDebug::Click(int id) const
{
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void TzDebug::Command(int id) const
{
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void TzDebug::Type(int id, const std::wstring &chars) const
{
    HWND box = Item(id);
    for (wchar_t c : chars)
        PostMessageW(box, WM_CHAR, c, 1);
}

void TzDebug::Key(int id, UINT vk) const
{
    HWND box = Item(id);
    UINT scan = MapVirtualKeyW(vk, 0);
    PostMessageW(box, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(box, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
}

void TzDebug::Select(int id, int index) const
{
    Send(Item(id), CB_SETCURSEL, index, 0);
}

void TzDebug::SetText(int id, const std::wstring &text) const
{
    SetTextOf(Item(id), text);
}

void TzDebug::SetTextOf(HWND hwnd, const std::wstring &text)
{
    Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TzDebug::CaretToEnd(int id) const
{
    // Posted, so it stays in order with characters posted before and after.
    PostMessageW(Item(id), EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
}

bool TzDebug::Settle(DWORD timeout) const
{
    // The status box's modified flag is the marker: cleared now, set again by
    // a message posted behind everything posted so far. Posted messages are
    // taken in order, by the main loop or by a modal loop one of them
    // entered, so once the flag reads set, all of them have been taken.
    // A second round catches what the first ones posted in turn (the
    // characters TranslateMessage makes of a key, for one).
    HWND marker = Item(kStatusBox);
    DWORD start = GetTickCount();
    for (int round = 0; round < 2; ++round) {
        if (!marker || !Send(marker, EM_SETMODIFY, FALSE, 0))
            return false;
        PostMessageW(marker, EM_SETMODIFY, TRUE, 0);
        for (;;) {
            DWORD_PTR modified = 0;
            if (!Send(marker, EM_GETMODIFY, 0, 0, &modified))
                return false;
            if (modified)
                break;
            if (GetTickCount() - start > timeout)
                return false;
            Sleep(5);
        }
    }
    return true;
}

// ---------------------------------------------------------------- boxes

std::vector<HWND> TzDebug::MessageBoxes() const
{
    return DialogsOf(pi_.dwProcessId, kBoxCaption, false);
}

MessageBoxInfo TzDebug::WaitMessageBox(DWORD timeout) const
{
    MessageBoxInfo info;
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> boxes = DialogsOf(pi_.dwProcessId, kBoxCaption, true);
        if (!boxes.empty() && Send(boxes.front(), WM_NULL, 0, 0)) {
            info.hwnd = boxes.front();
            break;
        }
        if (!Running() || GetTickCount() - start > timeout)
            return info;
        Sleep(20);
    }
    info.text = TextOf(ChildById(info.hwnd, kBoxTextId));
    DWORD_PTR icon = 0;
    HWND iconStatic = ChildById(info.hwnd, kBoxIconId);
    info.hasIcon = iconStatic && Send(iconStatic, STM_GETICON, 0, 0, &icon) && icon != 0;
    info.icon = info.hasIcon ? ClassifyIcon(iconStatic) : BoxIcon::None;
    info.owner = GetWindow(info.hwnd, GW_OWNER);
    return info;
}

bool TzDebug::PressOk(const MessageBoxInfo &box, DWORD timeout) const
{
    if (!box.hwnd)
        return false;
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, IDOK)));
    DWORD start = GetTickCount();
    while (IsWindow(box.hwnd)) {
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(10);
    }
    return true;
}

std::vector<HWND> TzDebug::Dialogs(const std::wstring &caption, bool visibleOnly) const
{
    return DialogsOf(pi_.dwProcessId, caption, visibleOnly);
}

HWND TzDebug::WaitDialog(const std::wstring &caption, DWORD timeout) const
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = DialogsOf(pi_.dwProcessId, caption, true);
        if (!found.empty() && Send(found.front(), WM_NULL, 0, 0))
            return found.front();
        if (!Running() || GetTickCount() - start > timeout)
            return nullptr;
        Sleep(20);
    }
}

bool TzDebug::WaitDialogGone(const std::wstring &caption, DWORD timeout) const
{
    DWORD start = GetTickCount();
    while (!DialogsOf(pi_.dwProcessId, caption, false).empty()) {
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(10);
    }
    return true;
}

// ---------------------------------------------------------------- end

long TzDebug::WaitExit(DWORD timeout)
{
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, timeout) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
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
    return ParseTrace(ReadWholeFile(tracePath_));
}

} // namespace e2e
