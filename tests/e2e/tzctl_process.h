// tzctl.exe run as a process under Wine, as a script runs it: beside a library, with a scenario
// folder of its own (its configuration, state and the simulator's trace), its output caught in
// files.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include "checks.h"
#include "../tzctl_runs.h"

namespace tzctl_process {

// The driver's answer to the Ctrl-C it sends along with a run.
inline BOOL WINAPI TakeNoNotice(DWORD)
{
    return TRUE;
}

// The scenario's files reach the simulator through the environment it inherits.
inline void SetScenario(const std::wstring &folder, bool cycled)
{
    for (auto [name, file] :
         {std::pair{L"TZSIM_CONFIG", L"\\scenario.cfg"}, std::pair{L"TZSIM_STATE", L"\\state.txt"},
          std::pair{L"TZSIM_TRACE", L"\\trace.txt"}})
        SetEnvironmentVariableW(name, (folder + file).c_str());
    SetEnvironmentVariableW(L"TZSIM_POWER_CYCLE", cycled ? L"1" : nullptr);
}

// A run under way, its stdout and stderr going to files of the folder named after it.
struct Started {
    PROCESS_INFORMATION pi{};
    std::wstring out, err;
};

// outputFails: stdout is a handle that takes no writes. in and out, when given, are the
// run's standard input and output instead (the ends of pipes), closed here once it has them.
inline Started Start(const std::wstring &exe, const std::wstring &folder, const std::string &args,
                     const std::wstring &name, bool outputFails, HANDLE in = nullptr,
                     HANDLE out = nullptr)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Shared for writing too: Wine may close the last run's copies a moment after it ended.
    const auto open = [&](const std::wstring &file, DWORD access, DWORD disposition) {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        return CreateFileW((folder + file).c_str(), access, share, &inherit, disposition, 0,
                           nullptr);
    };
    Started run{{}, L"\\out" + name + L".txt", L"\\err" + name + L".txt"};
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out           ? out
                    : outputFails ? open(L"\\scenario.cfg", GENERIC_READ, OPEN_EXISTING)
                                  : open(run.out, GENERIC_WRITE, CREATE_ALWAYS);
    si.hStdError = open(run.err, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring line = L"\"" + exe + L"\" " + e2e::Widen(args);
    CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                   folder.c_str(), &si, &run.pi);
    if (in)
        CloseHandle(in);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    if (outputFails || out)
        run.out.clear();
    return run;
}

inline tzctl_runs::Run Finish(Started &run, const std::wstring &folder)
{
    DWORD code = DWORD(-1);
    if (run.pi.hProcess && WaitForSingleObject(run.pi.hProcess, e2e::kWait) == WAIT_OBJECT_0)
        GetExitCodeProcess(run.pi.hProcess, &code);
    CloseHandle(run.pi.hProcess);
    CloseHandle(run.pi.hThread);
    const std::string out = run.out.empty() ? "" : e2e::ReadWholeFile(folder + run.out);
    return {int(code), out, e2e::ReadWholeFile(folder + run.err)};
}

inline bool Registered(const std::wstring &folder)
{
    return e2e::ReadWholeFile(folder + L"\\trace.txt").find(" TZ810mSetIntRoutine ") !=
           std::string::npos;
}

// One run to its end. ctrlC: Ctrl-C is pressed once the run's interrupt routine is registered.
inline tzctl_runs::Run Tzctl(const std::wstring &exe, const std::wstring &folder,
                             const std::string &args, bool outputFails, bool ctrlC)
{
    const std::string cycle = "TZSIM_POWER_CYCLE=1 ";
    const bool cycled = args.rfind(cycle, 0) == 0;
    SetScenario(folder, cycled);
    Started run = Start(exe, folder, args.substr(cycled ? cycle.size() : 0), L"", outputFails);
    // Ctrl-C as typed in the run's console. Wine 8 delivers no Ctrl-Break (GenerateConsoleCtrlEvent
    // refuses it), but it does deliver Ctrl-C to every process of a console: the driver joins the
    // run's console for that.
    if (run.pi.hProcess && ctrlC && e2e::WaitFor([&] { return Registered(folder); })) {
        SetConsoleCtrlHandler(TakeNoNotice, TRUE);
        FreeConsole();
        EXPECT_TRUE(AttachConsole(run.pi.dwProcessId) && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        FreeConsole();
    }
    return Finish(run, folder);
}

}  // namespace tzctl_process
