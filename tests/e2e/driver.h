// Drives the real tzdebug.exe from a test: starts it beside the simulated
// TZ810DLL.DLL with a scenario of its own, talks to its windows through
// window messages and reads the simulator's call trace.
//
// Every wait has a timeout, so a program that misbehaves fails the test
// instead of hanging the suite; a program still running at the end of a
// test is killed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Polls until `done` holds; false after `timeout` ms.
bool WaitFor(const std::function<bool()> &done, DWORD timeout);

// The controls of a dialog in template order: the identifier (-1 for none)
// and a kind letter, followed by the text for buttons and labels. Kinds:
// B push button, C check box, G group box, L label, I input box, R
// read-only box, D multi-line data box, T read-only multi-line text,
// O drop-down combo box, S sorted one.
std::vector<std::pair<int, std::string>> DescribeControls(HWND dialog);

std::wstring Widen(const std::string &utf8);
std::string Narrow(const std::wstring &text);
// The bytes of a file, empty when it cannot be opened.
std::string ReadWholeFile(const std::wstring &path);
bool WriteWholeFile(const std::wstring &path, const std::string &content);

// One line of the simulator's call trace:
//   <ms since load> <FunctionName> <args 0x-hex> [data=<hex>] [out=<hex>] -> <result>
struct TraceCall {
    std::string name;
    std::vector<uint32_t> args;
    std::string data;  // hex digits after "data=", empty when none
    std::string out;   // the text after "out=", empty when none
    std::string line;  // the whole line, for failure messages
    uint32_t Arg(size_t i) const { return i < args.size() ? args[i] : 0xDEADBEEF; }
};
std::vector<TraceCall> ParseTrace(const std::string &text);
std::vector<TraceCall> CallsNamed(const std::vector<TraceCall> &calls, const std::string &name,
                                  size_t from = 0);
std::string DescribeTrace(const std::vector<TraceCall> &calls, size_t from = 0);

// A message box of the program (caption "提示").
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring text;
    bool hasIcon = false;
    bool errorIcon = false;  // the icon shown is the system's error icon
    HWND owner = nullptr;
    explicit operator bool() const { return hwnd != nullptr; }
};

struct LaunchOptions {
    std::string config;  // scenario for the simulated library
    bool withLibrary = true;  // false: a copy of tzdebug.exe alone in a folder
    bool waitForMain = true;  // false: return as soon as the process runs
};

constexpr DWORD kWait = 15000;  // ms: the longest we wait for anything

class TzDebug {
public:
    TzDebug();
    ~TzDebug();
    TzDebug(const TzDebug &) = delete;
    TzDebug &operator=(const TzDebug &) = delete;

    // Starts the program; with waitForMain, also waits for the main dialog.
    // False (with Error()) on failure.
    bool Launch(const LaunchOptions &options);
    bool Launch(const std::string &config) { return Launch(LaunchOptions{config}); }
    const std::string &Error() const { return error_; }
    // Waits for the main dialog: visible when `visible`, else merely created.
    bool WaitMain(bool visible = true, DWORD timeout = kWait);
    HWND Main() const { return main_; }
    HWND Item(int id) const { return main_ ? GetDlgItem(main_, id) : nullptr; }
    DWORD ProcessId() const { return pi_.dwProcessId; }
    bool Running() const;
    std::wstring Folder() const { return folder_; }

    std::wstring Text(int id) const { return TextOf(Item(id)); }
    static std::wstring TextOf(HWND hwnd);
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    std::vector<std::wstring> ComboEntries(HWND combo) const;
    std::vector<std::wstring> ComboEntries(int id) const { return ComboEntries(Item(id)); }

    // Acting on the main dialog. All of them post, so a command that shows
    // a modal box does not block the test.
    void Click(int id) const;                            // WM_COMMAND from the button
    void Command(int id) const;                          // WM_COMMAND id, lParam 0
    void Type(int id, const std::wstring &chars) const;  // WM_CHAR per character
    static void TypeInto(HWND box, const std::wstring &chars);
    void Key(int id, UINT vk) const;                     // WM_KEYDOWN + WM_KEYUP
    void Select(int id, int index) const;                // as the program would
    void SetText(int id, const std::wstring &text) const { SetTextOf(Item(id), text); }
    static void SetTextOf(HWND hwnd, const std::wstring &text);

    // Waits until every message posted so far has been handled, or a modal
    // loop entered by one of them has taken the later ones.
    bool Settle(DWORD timeout = kWait) const;

    MessageBoxInfo WaitMessageBox(DWORD timeout = kWait) const;
    std::vector<HWND> MessageBoxes() const { return Dialogs(L"\u63d0\u793a", false); }
    bool PressOk(const MessageBoxInfo &box, DWORD timeout = kWait) const;

    // Top-level dialogs of the program with this caption.
    std::vector<HWND> Dialogs(const std::wstring &caption, bool visibleOnly = true) const;
    // Waits for one to be visible and settled; null on timeout.
    HWND WaitDialog(const std::wstring &caption, DWORD timeout = kWait) const;
    bool WaitDialogGone(const std::wstring &caption, DWORD timeout = kWait) const;

    // Waits for the process to end; its exit code, or -1 on timeout.
    long WaitExit(DWORD timeout = kWait);
    void Kill();
    // The simulator's trace as far as written.
    std::vector<TraceCall> Trace() const;

private:
    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
    std::wstring folder_;
    std::string error_;
};

} // namespace e2e
