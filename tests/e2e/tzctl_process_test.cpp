// tzctl.exe as a script sees it: a process beside the simulated library, with a
// scenario folder of its own, its output caught in files. Command lines -> exit code, output,
// trace.
#include <gtest/gtest.h>
#include <windows.h>
#include "checks.h"
#include "../tzctl_runs.h"

namespace {

// The driver's answer to the Ctrl-C it sends along with a run.
BOOL WINAPI TakeNoNotice(DWORD)
{
    return TRUE;
}

// The scenario's files reach the simulator through the environment it inherits; stdout and stderr
// go to files of the folder. outputFails: stdout is a handle that takes no writes. ctrlC: Ctrl-C is
// pressed once the run's interrupt routine is registered.
tzctl_runs::Run Tzctl(const std::wstring &exe, const std::wstring &folder, const std::string &args,
                      bool outputFails, bool ctrlC)
{
    for (auto [name, file] :
         {std::pair{L"TZSIM_CONFIG", L"\\scenario.cfg"}, std::pair{L"TZSIM_STATE", L"\\state.txt"},
          std::pair{L"TZSIM_TRACE", L"\\trace.txt"}})
        SetEnvironmentVariableW(name, (folder + file).c_str());
    const std::string cycle = "TZSIM_POWER_CYCLE=1 ";
    const bool cycled = args.rfind(cycle, 0) == 0;
    SetEnvironmentVariableW(L"TZSIM_POWER_CYCLE", cycled ? L"1" : nullptr);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Shared for writing too: Wine may close the last run's copies a moment after it ended.
    const auto open = [&](const wchar_t *name, DWORD access, DWORD disposition) {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        return CreateFileW((folder + name).c_str(), access, share, &inherit, disposition, 0,
                           nullptr);
    };
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outputFails ? open(L"\\scenario.cfg", GENERIC_READ, OPEN_EXISTING)
                                : open(L"\\out.txt", GENERIC_WRITE, CREATE_ALWAYS);
    si.hStdError = open(L"\\err.txt", GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring line = L"\"" + exe + L"\" " + e2e::Widen(args.substr(cycled ? cycle.size() : 0));
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, folder.c_str(), &si, &pi);
    const auto registered = [&] {
        return e2e::ReadWholeFile(folder + L"\\trace.txt").find(" TZ810mSetIntRoutine ") !=
               std::string::npos;
    };
    // Ctrl-C as typed in the run's console. Wine 8 delivers no Ctrl-Break (GenerateConsoleCtrlEvent
    // refuses it), but it does deliver Ctrl-C to every process of a console: the driver joins the
    // run's console for that.
    if (started && ctrlC && e2e::WaitFor(registered)) {
        SetConsoleCtrlHandler(TakeNoNotice, TRUE);
        FreeConsole();
        EXPECT_TRUE(AttachConsole(pi.dwProcessId) && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        FreeConsole();
    }
    DWORD code = DWORD(-1);
    if (started && WaitForSingleObject(pi.hProcess, e2e::kWait) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    for (HANDLE handle : {pi.hProcess, pi.hThread, si.hStdOutput, si.hStdError})
        CloseHandle(handle);
    const std::string out = outputFails ? "" : e2e::ReadWholeFile(folder + L"\\out.txt");
    return {int(code), out, e2e::ReadWholeFile(folder + L"\\err.txt")};
}

// commands and text as tzctl_runs.h reads them; a command may start "TZSIM_POWER_CYCLE=1 ".
// config nullptr: a copy of the program without the library. A file of the user's, out.bin.tmp,
// lies beside every run.
struct Row {
    const char *config, *commands;
    int exit;
    const char *text, *trace = "", *notInTrace = nullptr;
    bool outputFails = false, ctrlC = false;
};

// A name as long as a name may be, less three.
const std::string kLongName = std::string(248, 'n') + ".bin";
const std::string kReadToLongName = "io read 0 4 -o " + kLongName;

// clang-format off
const Row kRows[] = {
    {nullptr, "list", 3, "tzctl: cannot load TZ810DLL.DLL\n"},
    {"", "list", 0, "\n0    TZ820   7a5d 5834 d000  feb00000  10\n", "TZ810mOpenDevice 0xF 0x0 0x1 0x0"},
    {"", "--card 1 identity set --did 5831 ; list", 0, "\n1    TZ810   7a5d 5830 d100  -         11\n"},
    {"", "--card 1 identity set --did 5831 ; TZSIM_POWER_CYCLE=1 list", 0, "\n1    TZ810   7a5d 5831 d100  -         11\n"},
    {"", "pulse set 60 ; pulse get", 0, "60 ns\n"},
    {"", "pulse set 60 ; TZSIM_POWER_CYCLE=1 pulse get", 0, "150 ns\n"},
    {"", "i2c set 6 35 --force ; TZSIM_POWER_CYCLE=1 identity set --did 5834 --force ; TZSIM_POWER_CYCLE=1 list", 0, "\n0    TZ820   7a5d 5834 d000  feb00000  10\n"},
    {"", "flash write 镜像.bin ; flash read 读回.bin ; flash verify 读回.bin", 0, "flash matches 读回.bin\n"},
    {"", "io read f8 4 -o /missing-folder/x.bin", 2, "tzctl: cannot write /missing-folder/x.bin\n", "", "TZ810mOpenDevice"},
    {"fault TZ780mReadFlash = call 5\n", "flash write 镜像.bin", 1, "tzctl: TZ780mReadFlash failed at 0x4000\n", "TZ780mReadFlash 0x0 0x4000 0x1000 -> 0x0"},
    {"", "io read 0 4 -o out.bin", 0, "4 bytes saved to out.bin\n"},
    {"", kReadToLongName.c_str(), 0, "4 bytes saved to nnn"},
    {"", "identity show", 6, "tzctl: cannot write the output\n", "", nullptr, true},
    {"", "selftest --irq --junit report.xml", 0, "library: simulated board library, no card (", "interrupt 0"},
    {"a15_int = off\n", "irq watch edge --count 1000000 --timeout 60", 8, "tzctl: interrupted after 0 of 1000000 edge interrupts\n", "", nullptr, false, true},
};

// clang-format on

TEST(Tzctl, CommandLines)
{
    const e2e::TzDebug scratch;  // for its folder, removed unless a test failed
    const std::wstring folder = scratch.Folder();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring beside = self, alone = folder + L"\\tzctl.exe";
    beside.replace(beside.find_last_of(L"\\/") + 1, std::wstring::npos, L"tzctl.exe");
    ASSERT_TRUE(CopyFileW(beside.c_str(), alone.c_str(), FALSE));
    std::string image(0x10000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    e2e::WriteWholeFile(folder + L"\\镜像.bin", image);
    e2e::WriteWholeFile(folder + L"\\out.bin.tmp", "mine");
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.commands);
        for (const wchar_t *name : {L"\\state.txt", L"\\trace.txt", L"\\读回.bin", L"\\report.xml"})
            DeleteFileW((folder + name).c_str());
        e2e::WriteWholeFile(folder + L"\\scenario.cfg", row.config ? row.config : "");
        const std::string commands = row.commands;
        const tzctl_runs::Run run = tzctl_runs::RunAll(commands, [&](const std::string &line) {
            return Tzctl(row.config ? beside : alone, folder, line, row.outputFails, row.ctrlC);
        });
        tzctl_runs::ExpectRun(run, commands, row.exit, row.text);
        const std::string trace = e2e::ReadWholeFile(folder + L"\\trace.txt");
        EXPECT_NE(trace.find(row.trace), std::string::npos) << trace;
        EXPECT_TRUE(!row.notInTrace || trace.find(row.notInTrace) == std::string::npos) << trace;
        if (commands.find("读回") != std::string::npos)
            EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\读回.bin"), image);
        if (commands.find("--junit") != std::string::npos)
            EXPECT_NE(e2e::ReadWholeFile(folder + L"\\report.xml")
                          .find("<testsuite name=\"card 0 TZ820\" tests=\"8\" failures=\"0\""),
                      std::string::npos);
    }
    EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\out.bin.tmp"), "mine");
    // Past MAX_PATH: only the long form removes it.
    DeleteFileW((L"\\\\?\\" + folder + L"\\" + e2e::Widen(kLongName)).c_str());
}

}  // namespace
