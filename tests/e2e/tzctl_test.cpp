// tzctl.exe as a script sees it: a process beside the simulated library, with a
// scenario folder of its own, through pipes. Command lines -> exit code, output, trace.
#include <gtest/gtest.h>
#include <windows.h>
#include "driver.h"

namespace {

std::string Drain(HANDLE pipe)
{
    char buffer[4096];
    std::string text;
    for (DWORD got = 0; ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got;)
        text.append(buffer, got);
    CloseHandle(pipe);
    return text;
}

struct Result {
    int exit = -1;
    std::string out, err;
};

// The scenario's files reach the simulator through the environment it inherits.
Result Tzctl(const std::wstring &exe, const std::wstring &folder, const std::string &args)
{
    for (auto [name, file] :
         {std::pair{L"TZSIM_CONFIG", L"\\scenario.cfg"}, std::pair{L"TZSIM_STATE", L"\\state.txt"},
          std::pair{L"TZSIM_TRACE", L"\\trace.txt"}})
        SetEnvironmentVariableW(name, (folder + file).c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out[2], err[2];  // read, write
    CreatePipe(&out[0], &out[1], &inherit, 0);
    CreatePipe(&err[0], &err[1], &inherit, 0);
    SetHandleInformation(out[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err[0], HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out[1], si.hStdError = err[1];
    std::wstring line = L"\"" + exe + L"\" " + e2e::Widen(args);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, folder.c_str(), &si, &pi);
    for (HANDLE end : {out[1], err[1]})
        CloseHandle(end);
    Result run{-1, Drain(out[0]), Drain(err[0])};
    DWORD code = DWORD(-1);
    if (started && WaitForSingleObject(pi.hProcess, e2e::kWait) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    for (HANDLE end : {pi.hProcess, pi.hThread})
        CloseHandle(end);
    run.exit = int(code);
    return run;
}

// commands: " ; " between runs, all but the last succeed; text: how the last stdout starts (or
// found in it, after a newline) on success, else its stderr whole. config nullptr: a copy of the
// program without the library.
struct Row {
    const char *config, *commands;
    int exit;
    const char *text, *trace = "", *notInTrace = nullptr;
};

const Row kRows[] = {
    {nullptr, "list", 3, "tzctl: cannot load TZ810DLL.DLL\n"},
    {"", "list", 0, "\n0    TZ820   7a5d 5834 d000  feb00000  10\n",
     "TZ810mOpenDevice 0xF 0x0 0x1 0x0"},
    {"", "cfg set 3c 20 55", 4, "tzctl: config byte 0x3d did not take\n"},
    {"", "--card 7 info", 5, "tzctl: no card at index 7\n"},
    {"", "identity set --did 1235", 2,
     "tzctl: no program here recognises DID 1235 (its low byte must be 30, 31 or "
     "34); nothing written (--force writes it)\n",
     "", "TZ810mWriteI2C"},
    {"", "identity set --did 5831 ; list", 0, "\n0    TZ810   7a5d 5831 d000  -         10\n"},
    {"", "flash write 镜像.bin ; flash read 读回.bin ; flash verify 读回.bin", 0,
     "flash matches 读回.bin\n"},
    {"fault TZ780mReadFlash = call 5\n", "flash write 镜像.bin", 1,
     "tzctl: TZ780mReadFlash failed at 0x4000\n", "TZ780mReadFlash 0x0 0x4000 0x1000 -> 0x0"},
    {"", "selftest --irq --junit report.xml", 0, "config     PASS   ", "interrupt 0"},
};

TEST(Tzctl, CommandLines)
{
    wchar_t temp[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + (L"tzctl-e2e-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(folder.c_str(), nullptr);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring beside = self, alone = folder + L"\\tzctl.exe";
    beside.replace(beside.find_last_of(L"\\/") + 1, std::wstring::npos, L"tzctl.exe");
    ASSERT_TRUE(CopyFileW(beside.c_str(), alone.c_str(), FALSE));
    std::string image(0x10000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    e2e::WriteWholeFile(folder + L"\\镜像.bin", image);
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.commands);
        for (const wchar_t *name : {L"\\state.txt", L"\\trace.txt", L"\\读回.bin", L"\\report.xml"})
            DeleteFileW((folder + name).c_str());
        e2e::WriteWholeFile(folder + L"\\scenario.cfg", row.config ? row.config : "");
        const std::string commands = row.commands;
        Result run{0};
        for (size_t from = 0, semi = 0; semi != std::string::npos; from = semi + 3) {
            ASSERT_EQ(run.exit, 0) << run.err;
            semi = commands.find(" ; ", from);
            run = Tzctl(row.config ? beside : alone, folder, commands.substr(from, semi - from));
        }
        EXPECT_EQ(run.exit, row.exit);
        const size_t at = run.out.find(row.text);
        EXPECT_TRUE(row.exit || (row.text[0] == '\n' ? at != std::string::npos : at == 0))
            << run.out;
        EXPECT_EQ(run.err, row.exit ? row.text : "");
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
    for (const wchar_t *name : {L"\\state.txt", L"\\trace.txt", L"\\读回.bin", L"\\镜像.bin",
                                L"\\report.xml", L"\\scenario.cfg", L"\\tzctl.exe"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
