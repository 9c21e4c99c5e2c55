// tzctl.exe as a script sees it: run under Wine beside the simulated library,
// with a scenario folder of its own (configuration, state, trace, image
// files), through pipes. One table: command lines -> exit code, output, trace.
#include <gtest/gtest.h>

#include <windows.h>

#include "driver.h"

namespace {

std::wstring Here()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::string Drain(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got)
        text.append(buffer, got);
    CloseHandle(pipe);
    return text;
}

struct Result {
    int exit = -1;
    std::string out, err;
};

// One run of `exe` in `folder`, with the scenario's files named through the
// environment it inherits, its output through pipes.
Result Tzctl(const std::wstring &exe, const std::wstring &folder, const std::string &args)
{
    SetEnvironmentVariableW(L"TZSIM_CONFIG", (folder + L"\\scenario.cfg").c_str());
    SetEnvironmentVariableW(L"TZSIM_STATE", (folder + L"\\state.txt").c_str());
    SetEnvironmentVariableW(L"TZSIM_TRACE", (folder + L"\\trace.txt").c_str());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out[2], err[2];  // read, write
    CreatePipe(&out[0], &out[1], &inherit, 0);
    CreatePipe(&err[0], &err[1], &inherit, 0);
    SetHandleInformation(out[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err[0], HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out[1];
    si.hStdError = err[1];
    std::wstring line = L"\"" + exe + L"\" " + e2e::Widen(args);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, folder.c_str(), &si, &pi);
    CloseHandle(out[1]);
    CloseHandle(err[1]);
    Result run;
    run.out = Drain(out[0]);
    run.err = Drain(err[0]);
    DWORD code = DWORD(-1);
    if (started && WaitForSingleObject(pi.hProcess, e2e::kWait) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    if (started) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    run.exit = int(code);
    return run;
}

struct Row {
    const char *config;
    const char *commands;  // " ; " between runs; all but the last must succeed
    int exit;
    const char *out;       // how the last run's stdout starts, or found in it after a newline
    const char *err;       // the last run's stderr, whole
    const char *trace = "";        // found in the trace
    const char *notInTrace = nullptr;
};

// config nullptr: a copy of the program in a folder without the library.
const Row kRows[] = {
    {nullptr, "list", 3, "", "tzctl: cannot load TZ810DLL.DLL\n"},
    {"", "list", 0, "\n0    TZ820   7a5d 5834 d000  feb00000  10\n", "", "TZ810mOpenDevice 0xF 0x0 0x1 0x0"},
    {"", "cfg set 3c 20 55", 4, "", "tzctl: config byte 0x3d did not take\n"},
    {"", "--card 7 info", 5, "", "tzctl: no card at index 7\n"},
    {"", "identity set --did 1235", 2, "",
     "tzctl: no program here recognises DID 1235 (its low byte must be 30, 31 or 34); nothing written "
     "(--force writes it)\n", "", "TZ810mWriteI2C"},
    {"", "identity set --did 5831 ; list", 0, "\n0    TZ810   7a5d 5831 d000  -         10\n", ""},
    {"", "flash write 镜像.bin ; flash read 读回.bin ; flash verify 读回.bin", 0, "flash matches 读回.bin\n", ""},
    {"fault TZ780mReadFlash = call 5\n", "flash write 镜像.bin", 1, "", "tzctl: TZ780mReadFlash failed at 0x4000\n",
     "TZ780mReadFlash 0x0 0x4000 0x1000 -> 0x0"},
};

TEST(Tzctl, CommandLines)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + (L"tzctl-e2e-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(folder.c_str(), nullptr);
    // A copy away from the library, for the rows without one.
    const std::wstring alone = folder + L"\\tzctl.exe";
    ASSERT_TRUE(CopyFileW((Here() + L"tzctl.exe").c_str(), alone.c_str(), FALSE));
    std::string image(0x10000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    e2e::WriteWholeFile(folder + L"\\镜像.bin", image);

    for (const Row &row : kRows) {
        SCOPED_TRACE(row.commands);
        for (const wchar_t *name : {L"\\state.txt", L"\\trace.txt", L"\\读回.bin"})
            DeleteFileW((folder + name).c_str());
        e2e::WriteWholeFile(folder + L"\\scenario.cfg", row.config ? row.config : "");
        const std::wstring exe = row.config ? Here() + L"tzctl.exe" : alone;
        std::string commands = row.commands;
        Result run;
        for (size_t from = 0;;) {
            const size_t semi = commands.find(" ; ", from);
            run = Tzctl(exe, folder, commands.substr(from, semi - from));
            if (semi == std::string::npos)
                break;
            ASSERT_EQ(run.exit, 0) << run.err;
            from = semi + 3;
        }
        EXPECT_EQ(run.exit, row.exit);
        const size_t at = run.out.find(row.out);
        EXPECT_TRUE(row.out[0] == '\n' ? at != std::string::npos : at == 0) << run.out;
        EXPECT_EQ(run.err, row.err);
        const std::string trace = e2e::ReadWholeFile(folder + L"\\trace.txt");
        EXPECT_NE(trace.find(row.trace), std::string::npos) << trace;
        if (row.notInTrace) {
            EXPECT_EQ(trace.find(row.notInTrace), std::string::npos) << trace;
        }
        if (commands.find("读回") != std::string::npos) {
            EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\读回.bin"), image);
        }
    }
    for (const wchar_t *name : {L"\\state.txt", L"\\trace.txt", L"\\读回.bin", L"\\镜像.bin",
                                L"\\scenario.cfg", L"\\tzctl.exe"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
