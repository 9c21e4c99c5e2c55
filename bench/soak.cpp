// Long use of one tzdebug.exe process under Wine: 300 cycles of open ->
// 0x1000-byte I/O read -> write back -> identity dialog opened and closed ->
// close. The process's handle count, GDI and USER object counts and private
// bytes are sampled after the first cycle and after the last; none may grow
// by more than 5 %. A few samples in between show the trend.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "driver.h"
#include "resource.h"

namespace {

const int kCycles = 300;
const int kSampleEvery = 50;
const double kMaxGrowth = 0.05;
const DWORD kBlockChars = 3 * 0x1000;
const wchar_t kIdentityCaption[] = L"\u5916\u7f6e24C02\u82af\u7247\u8bfb\u5199"; // 外置24C02芯片读写

struct Sample {
    DWORD handles = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    SIZE_T privateBytes = 0;
};

Sample Take(HANDLE process)
{
    Sample s;
    GetProcessHandleCount(process, &s.handles);
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&pmc), sizeof pmc))
        s.privateBytes = pmc.PrivateUsage;
    return s;
}

void Print(const char *label, const Sample &s)
{
    std::printf("  %-14s handles %5lu   GDI %5lu   USER %5lu   private %8.1f KiB\n", label,
                static_cast<unsigned long>(s.handles), static_cast<unsigned long>(s.gdi),
                static_cast<unsigned long>(s.user), s.privateBytes / 1024.0);
}

// Growth of one figure from first to last; a figure the system does not
// report (0 both times) cannot fail.
bool Check(const char *name, double first, double last)
{
    const double growth = first > 0 ? (last - first) / first : (last > 0 ? 1.0 : 0.0);
    const bool ok = growth <= kMaxGrowth;
    std::printf("  %-14s %+6.2f %%%s\n", name, 100.0 * growth,
                first == 0 && last == 0 ? "  (not reported by this system)"
                                        : ok ? "" : "  MORE THAN 5 %");
    return ok;
}

int Fail(int cycle, const char *why)
{
    std::fprintf(stderr, "soak: cycle %d: %s\n", cycle, why);
    return 2;
}

} // namespace

int main()
{
    e2e::TzDebug app;
    if (!app.Launch(std::string()))
        return Fail(0, app.Error().c_str());
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, app.ProcessId());
    if (!process)
        return Fail(0, "cannot open the process for its figures");

    // A direct I/O address outside every card's window: plain I/O space.
    app.Select(IDC_DEVICE_COMBO, 0);
    app.Select(IDC_IO_ADDR_TYPE, 1);
    app.SetText(IDC_IO_ADDR, L"0");
    app.SetText(IDC_IO_LENGTH, L"1000");

    Sample first, last;
    std::printf("%d cycles of open, 0x1000-byte I/O read and write-back, identity dialog, close\n",
                kCycles);
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        app.Click(IDC_OPEN);
        if (!app.Settle() || app.Enabled(IDC_OPEN))
            return Fail(cycle, "the device did not open");

        app.SetText(IDC_IO_DATA, L"");
        app.Click(IDC_IO_READ);
        if (!app.Settle() || app.Text(IDC_IO_DATA).size() != kBlockChars)
            return Fail(cycle, "the read did not show the block");
        app.Click(IDC_IO_WRITE);
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        if (!box || e2e::Narrow(box.text) != "\xe5\x86\x99\xe6\x88\x90\xe5\x8a\x9f") // 写成功
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
        if (!app.Settle() || !app.Enabled(IDC_OPEN))
            return Fail(cycle, "the device did not close");

        if (cycle == 1 || cycle == kCycles || cycle % kSampleEvery == 0) {
            const Sample s = Take(process);
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
    ok = Check("private bytes", double(first.privateBytes), double(last.privateBytes)) && ok;
    CloseHandle(process);
    app.Command(IDC_EXIT);
    app.WaitExit();
    return ok ? 0 : 1;
}
