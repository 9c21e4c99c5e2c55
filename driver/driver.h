// Runs the real tzdebug.exe beside the simulated TZ810DLL.DLL, drives it by window messages and
// reads the simulator's call trace: what the end-to-end tests and the benchmarks that measure the
// real program share. Every wait has a timeout; a program still running at the end is killed.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text.h"

namespace e2e {
constexpr DWORD kWait = 15000;  // ms: the longest we wait for anything
// Polls until `done` holds; false after `timeout` ms.
bool WaitFor(const std::function<bool()> &done, DWORD timeout = kWait);
// UTF-8 to UTF-16 and back, as the programs themselves convert.
inline constexpr auto &Widen = Utf8ToWide;
inline constexpr auto &Narrow = WideToUtf8;
std::string ReadWholeFile(const std::wstring &path);  // empty when it cannot be read
// This process's environment block with the simulator's variables (TZSIM_*) replaced by
// `variables`, each "NAME=value".
std::wstring SimulatorEnvironment(const std::vector<std::wstring> &variables);
bool WriteWholeFile(const std::wstring &path, const std::string &content);
// The folder of this program, separator included: where the build put the programs and libraries.
std::wstring OwnFolder();

// A message box of the program (caption "提示"); the error icon is its only icon.
struct MessageBoxInfo {
    HWND hwnd = nullptr, owner = nullptr;
    std::wstring text;
    bool icon = false;
};

class TzDebug {
  public:
    TzDebug();  // makes the folder the program runs in
    ~TzDebug();
    TzDebug(const TzDebug &) = delete;
    TzDebug &operator=(const TzDebug &) = delete;
    // Runs the program with the scenario `config` for the simulated library, and waits for its
    // main dialog; without the library, a copy of tzdebug.exe alone in a folder, and no wait.
    // False with Error() on failure.
    bool Launch(const std::string &config, bool withLibrary = true);

    const std::string &Error() const
    {
        return error_;
    }

    bool WaitMain(bool visible = true);  // visible, or merely created

    HWND Main() const
    {
        return main_;
    }

    HWND Item(int id) const
    {
        return GetDlgItem(main_, id);
    }

    bool Running() const
    {
        return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
    }

    std::wstring Folder() const
    {
        return folder_;
    }

    long WaitExit();  // the exit code, or -1 on timeout
    // The simulator's trace lines of the calls named `name`, in order:
    // "<ms> <Name> <args> [data=<hex>] [out=<hex>] -> <result>", numbers as 0x%X.
    std::vector<std::string> Calls(const std::string &name) const;

    std::wstring Text(int id) const
    {
        return TextOf(Item(id));
    }

    static std::wstring TextOf(HWND hwnd);

    // These post, so a command that shows a modal box does not block.
    void Click(int id) const
    {
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(Item(id)));
    }

    static void TypeInto(HWND box, const std::wstring &s)
    {
        for (wchar_t c : s)
            PostMessageW(box, WM_CHAR, c, 1);
    }

    void SetText(int id, const std::wstring &text) const
    {
        SetTextOf(Item(id), text);
    }

    static void SetTextOf(HWND hwnd, const std::wstring &text);
    // Until every message posted so far is handled, or a modal loop entered by one took the later
    // ones.
    bool Settle() const;
    std::vector<HWND> Dialogs(const std::wstring &caption, bool visibleOnly = true) const;
    HWND WaitDialog(const std::wstring &caption,
                    DWORD timeout = kWait) const;  // visible and settled

    bool WaitDialogGone(const std::wstring &c) const
    {
        return WaitFor([&] { return Dialogs(c, false).empty(); });
    }

    MessageBoxInfo WaitMessageBox(DWORD timeout = kWait) const;
    bool PressOk(const MessageBoxInfo &box) const;

  private:
    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
    std::wstring folder_;
    std::string error_;
};

// Whether a run's folder and trace are kept for a look afterwards (a failed test's), rather than
// removed with it; nothing: removed.
extern std::function<bool()> KeepFolder;
}  // namespace e2e
