// Drives the real tzdebug.exe from a test: starts it beside the simulated
// TZ810DLL.DLL with a scenario of its own, talks to its dialogs through
// window messages and reads the simulator's call trace afterwards.
//
// Every wait has a timeout, so a program that misbehaves fails the test
// instead of hanging the suite; a program still running at the end of a
// test is killed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

std::wstring Widen(const std::string &utf8);
std::string Narrow(const std::wstring &text);
// The bytes of a file, empty when it cannot be opened.
std::string ReadWholeFile(const std::wstring &path);

// One line of the simulator's call trace:
//   <ms since load> <FunctionName> <args 0x-hex> [data=<hex>] [out=<hex>|0x<value>] -> <result>
// Pointer arguments are not listed; what a call hands back through them is
// in "out".
struct TraceCall {
    double ms = 0;
    std::string name;
    std::vector<uint32_t> args;
    std::string data;   // hex digits after "data=", empty when none
    std::string out;    // the text after "out=", empty when none
    std::string result; // the text after "->"
    std::string line;   // the whole line, for failure messages

    // The result as a 32-bit number.
    uint32_t ResultValue() const;
    // "out" as a number, when the call handed back one value.
    uint32_t OutValue() const;
    uint32_t Arg(size_t i) const { return i < args.size() ? args[i] : 0xDEADBEEF; }
};

std::vector<TraceCall> ParseTrace(const std::string &text);
// Calls named `name` in `calls`, from position `from` on.
std::vector<TraceCall> CallsNamed(const std::vector<TraceCall> &calls, const std::string &name,
                                  size_t from = 0);
std::string DescribeTrace(const std::vector<TraceCall> &calls, size_t from = 0);

// Which system icon a message box shows, told apart by its pixels on screen
// (so the box must not be covered by another window when it is read).
enum class BoxIcon { None, Error, Question, Warning, Information, Unknown };
const char *BoxIconName(BoxIcon icon);

// A message box of the program (caption "提示").
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring text;
    bool hasIcon = false;
    BoxIcon icon = BoxIcon::None;
    HWND owner = nullptr;
    explicit operator bool() const { return hwnd != nullptr; }
};

struct LaunchOptions {
    // Scenario for the simulated library, written to the TZSIM_CONFIG file.
    std::string config;
    // false: run a copy of tzdebug.exe from a folder that holds no library.
    bool withLibrary = true;
    // false: return as soon as the process runs (the start-up may show a
    // message box before the main dialog becomes visible).
    bool waitForMain = true;
};

constexpr DWORD kWait = 15000; // ms: the longest we wait for anything

class TzDebug {
public:
    TzDebug();
    ~TzDebug();
    TzDebug(const TzDebug &) = delete;
    TzDebug &operator=(const TzDebug &) = delete;

    // Starts the program. With waitForMain, also waits for the main dialog
    // to be shown and its queue to settle. False (with Error()) on failure.
    bool Launch(const LaunchOptions &options);
    bool Launch(const std::string &config) { return Launch(LaunchOptions{config}); }
    const std::string &Error() const { return error_; }

    // Waits for the main dialog: visible when `visible`, else merely created.
    bool WaitMain(bool visible = true, DWORD timeout = kWait);
    HWND Main() const { return main_; }
    HWND Item(int id) const;
    DWORD ProcessId() const { return pi_.dwProcessId; }
    bool Running() const;

    // Reading the main dialog (or any window of the program).
    std::wstring Text(int id) const { return TextOf(Item(id)); }
    static std::wstring TextOf(HWND hwnd);
    bool Enabled(int id) const;
    int ComboSelection(int id) const;
    int ComboCount(int id) const;
    std::wstring ComboEntry(int id, int index) const;
    std::vector<std::wstring> ComboEntries(int id) const;
    int CheckState(int id) const;

    // Acting on the main dialog. All of them post, so a command that shows
    // a modal box does not block the test.
    void Click(int id) const;   // WM_COMMAND (id, BN_CLICKED), lParam the control
    void Command(int id) const; // WM_COMMAND id, lParam 0 (Enter, Esc)
    void Type(int id, const std::wstring &chars) const; // WM_CHAR per character
    void Key(int id, UINT vk) const;                    // WM_KEYDOWN + WM_KEYUP
    // Selects a combo entry as the program itself would (no notification).
    void Select(int id, int index) const;
    // Replaces the box's text as a paste would (no character messages).
    void SetText(int id, const std::wstring &text) const;
    static void SetTextOf(HWND hwnd, const std::wstring &text);
    // Puts the caret at the end of an edit box.
    void CaretToEnd(int id) const;

    // Waits until every message posted so far has been handled, or a modal
    // loop entered by one of them has taken the later ones. False when the
    // program stopped answering.
    bool Settle(DWORD timeout = kWait) const;

    // Message boxes of the program, caption "提示".
    MessageBoxInfo WaitMessageBox(DWORD timeout = kWait) const;
    // Every message box window of the program, shown or not yet shown.
    std::vector<HWND> MessageBoxes() const;
    // Presses OK and waits for the box to go away.
    bool PressOk(const MessageBoxInfo &box, DWORD timeout = kWait) const;

    // A top-level dialog of the program with this caption (waits for it to
    // be visible and settled); null on timeout.
    HWND WaitDialog(const std::wstring &caption, DWORD timeout = kWait) const;
    std::vector<HWND> Dialogs(const std::wstring &caption, bool visibleOnly = true) const;
    // Waits until no window of the program has this caption.
    bool WaitDialogGone(const std::wstring &caption, DWORD timeout = kWait) const;

    // Waits for the process to end; its exit code, or -1 on timeout.
    long WaitExit(DWORD timeout = kWait);
    void Kill();

    // The simulator's trace as far as written.
    std::vector<TraceCall> Trace() const;
    std::wstring Folder() const { return folder_; }

private:
    std::wstring WriteFile(const wchar_t *name, const std::string &content);

    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
    std::wstring folder_;
    std::wstring tracePath_;
    std::string error_;
};

} // namespace e2e
