// Long use of one tzdebug.exe process under Wine: 300 cycles of open ->
// 0x1000-byte I/O read -> write back -> identity dialog opened and closed ->
// close. The process's handle count, GDI and USER object counts and private
// bytes are sampled after the first cycle and after the last; none may grow
// by more than 5 % (where Wine reports none of them, the windows the process
// owns and its pagefile-backed bytes stand in). A few samples in between show
// the trend.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "dialog_steps.h"
#include "driver.h"
#include "resource.h"

namespace {

const int kCycles = 300;
const int kSampleEvery = 50;
const double kMaxGrowth = 0.05;
const DWORD kBlockChars = 3 * 0x1000;
const wchar_t kIdentityCaption[] =
    L"\u5916\u7f6e24C02\u82af\u7247\u8bfb\u5199";  // 外置24C02芯片读写

struct Sample {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD windows = 0;  // top-level and child windows of the process
    SIZE_T privateBytes = 0;
};

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD *>(count);
    return TRUE;
}

struct WindowCount {
    DWORD pid;
    DWORD count;
};

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM param)
{
    auto *c = reinterpret_cast<WindowCount *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->pid) {
        ++c->count;
        EnumChildWindows(hwnd, CountChild, reinterpret_cast<LPARAM>(&c->count));
    }
    return TRUE;
}

// Wine reports neither the handle count nor the GDI and USER object counts of
// another process (they read 0), nor its private bytes: there the windows
// the process owns stand in for its USER objects, and the pagefile-backed
// bytes for its private bytes.
Sample Take(HANDLE process, DWORD pid)
{
    Sample s;
    GetProcessHandleCount(process, &s.handles);
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    WindowCount windows{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    s.windows = windows.count;
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&pmc),
                             sizeof pmc))
        s.privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    return s;
}

void Print(const char *label, const Sample &s)
{
    std::printf("  %-16s handles %5lu   GDI %5lu   USER %5lu   windows %4lu   private %9.1f KiB\n",
                label, static_cast<unsigned long>(s.handles), static_cast<unsigned long>(s.gdi),
                static_cast<unsigned long>(s.user), static_cast<unsigned long>(s.windows),
                s.privateBytes / 1024.0);
    std::fflush(stdout);
}

// Waits for the program to take everything posted so far; Wine's edit box
// can keep it busy for seconds over a long text.
bool Idle(const e2e::TzDebug &app)
{
    const DWORD start = GetTickCount();
    while (!app.Settle())
        if (GetTickCount() - start > 120000)
            return false;
    return true;
}

// Growth of one figure from first to last; a figure the system does not
// report (0 both times) cannot fail.
bool Check(const char *name, double first, double last)
{
    const double growth = first > 0 ? (last - first) / first : (last > 0 ? 1.0 : 0.0);
    const bool ok = growth <= kMaxGrowth;
    std::printf("  %-14s %+6.2f %%%s\n", name, 100.0 * growth,
                first == 0 && last == 0 ? "  (not reported by this system)"
                : ok                    ? ""
                                        : "  MORE THAN 5 %");
    return ok;
}

int Fail(int cycle, const char *why)
{
    std::fprintf(stderr, "soak: cycle %d: %s\n", cycle, why);
    return 2;
}

}  // namespace

int main()
{
    e2e::TzDebug app;
    if (!app.Launch(std::string()))
        return Fail(0, app.Error().c_str());
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, bench::ProcessId(app));
    if (!process)
        return Fail(0, "cannot open the process for its figures");

    bench::Select(app, IDC_DEVICE_COMBO, 0);

    Sample first, last;
    std::printf("%d cycles of open, 0x1000-byte I/O read and write-back, identity dialog, close\n",
                kCycles);
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        app.Click(IDC_OPEN);
        if (!Idle(app) || bench::Enabled(app, IDC_OPEN))
            return Fail(cycle, "the device did not open");

        // Closing empties the boxes and resets the combos: a direct I/O
        // address outside every card's window, in plain I/O space.
        bench::Select(app, IDC_IO_ADDR_TYPE, 1);
        app.SetText(IDC_IO_ADDR, L"0");
        app.SetText(IDC_IO_LENGTH, L"1000");
        app.SetText(IDC_IO_DATA, L"");
        app.Click(IDC_IO_READ);
        if (!Idle(app))
            return Fail(cycle, "the program stopped answering after the read");
        if (app.Text(IDC_IO_DATA).size() != kBlockChars)
            return Fail(cycle, ("the read showed " + std::to_string(app.Text(IDC_IO_DATA).size()) +
                                " characters")
                                   .c_str());
        app.Click(IDC_IO_WRITE);
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        if (!box.hwnd || e2e::Narrow(box.text) != "\xe5\x86\x99\xe6\x88\x90\xe5\x8a\x9f")  // 写成功
            return Fail(cycle, "the write-back did not succeed");
        app.PressOk(box);

        app.Click(IDC_IDENTITY);
        HWND dialog = app.WaitDialog(kIdentityCaption);
        if (!dialog)
            return Fail(cycle, "the identity dialog did not appear");
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        if (!app.WaitDialogGone(kIdentityCaption))
            return Fail(cycle, "the identity dialog did not close");

        app.Click(IDC_CLOSE);
        if (!Idle(app) || !bench::Enabled(app, IDC_OPEN))
            return Fail(cycle, "the device did not close");

        if (cycle == 1 || cycle == kCycles || cycle % kSampleEvery == 0) {
            const Sample s = Take(process, bench::ProcessId(app));
            Print(("after cycle " + std::to_string(cycle)).c_str(), s);
            if (cycle == 1)
                first = s;
            last = s;
        }
    }

    std::printf("growth from cycle 1 to cycle %d (limit +5 %%):\n", kCycles);
    bool ok = Check("handles", first.handles, last.handles);
    ok = Check("GDI objects", first.gdi, last.gdi) && ok;
    ok = Check("USER objects", first.user, last.user) && ok;
    ok = Check("windows", first.windows, last.windows) && ok;
    ok = Check("private bytes", double(first.privateBytes), double(last.privateBytes)) && ok;
    CloseHandle(process);
    bench::Command(app, IDC_EXIT);
    app.WaitExit();
    return ok ? 0 : 1;
}
