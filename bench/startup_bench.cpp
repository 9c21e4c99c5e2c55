// tzdebug's start-up under Wine: from CreateProcess to the main dialog's
// status box holding the text the program sets once it has loaded
// TZ810DLL.DLL and probed the cards ("已检测到..."), answered by the
// program's own thread. Beside it the floor: startup_floor.exe, the same
// dialog from the same template and resources with no logic, which shows
// that text at once. The two alternate, which goes first changing every
// round, on one simulated bench whose configuration and state file lie in
// a folder of this run's own. Prints the medians and their ratio.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common.h"
#include "driver.h"
#include "resource.h"

namespace {

const int kRounds = 15;
const DWORD kWait = e2e::kWait;
const wchar_t kCaption[] = L"DEBUG TZ810/820";
const wchar_t kDetected[] = L"\u5df2\u68c0\u6d4b\u5230";  // 已检测到
// Wine's settings per program (whether a window manager handles its
// windows) go by the program's name; the floor is given tzdebug.exe's.
const wchar_t kWineSettings[] = L"Software\\Wine\\AppDefaults\\";
const wchar_t kX11[] = L"\\X11 Driver";

void CopyWineSettings(const std::wstring &from, const std::wstring &to)
{
    const std::wstring source = kWineSettings + from + kX11;
    const std::wstring target = kWineSettings + to + kX11;
    wchar_t managed[16] = {};
    DWORD size = sizeof managed;
    if (RegGetValueW(HKEY_CURRENT_USER, source.c_str(), L"Managed", RRF_RT_REG_SZ, nullptr, managed,
                     &size) != ERROR_SUCCESS) {
        RegDeleteKeyW(HKEY_CURRENT_USER, target.c_str());
        return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, target.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>(managed), size);
    RegCloseKey(key);
}

void DropWineSettings(const std::wstring &program)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, (kWineSettings + program + kX11).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, (kWineSettings + program).c_str());
}

// This process's environment with the simulator's variables replaced: the
// bench's configuration (empty: the default bench) and state file in
// `folder`, no trace.
std::wstring Environment(const std::wstring &folder)
{
    return e2e::SimulatorEnvironment(
        {L"TZSIM_CONFIG=" + folder + L"\\none.cfg", L"TZSIM_STATE=" + folder + L"\\bench.state"});
}

HWND FindMain(DWORD pid)
{
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", kCaption));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid)
            return h;
    }
    return nullptr;
}

bool StatusFilled(HWND main)
{
    const std::wstring text = e2e::TzDebug::TextOf(GetDlgItem(main, IDC_STATUS));
    return text.compare(0, wcslen(kDetected), kDetected) == 0;
}

class Run {
  public:
    Run(const std::wstring &exe, const std::wstring &folder, std::wstring &env)
    {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        const double t0 = bench::Millis();
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                            CREATE_UNICODE_ENVIRONMENT, &env[0], folder.c_str(), &si, &pi_)) {
            error_ = "cannot start " + e2e::Narrow(exe);
            return;
        }
        // Polled each millisecond: the floor is a few tens of them.
        for (;;) {
            if (!main_)
                main_ = FindMain(pi_.dwProcessId);
            if (main_ && StatusFilled(main_))
                break;
            if (WaitForSingleObject(pi_.hProcess, 1) == WAIT_OBJECT_0) {
                error_ = e2e::Narrow(exe) + " ended before its status text was filled";
                return;
            }
            if (bench::Millis() - t0 > kWait) {
                error_ = e2e::Narrow(exe) + ": no status text in time";
                return;
            }
        }
        millis_ = bench::Millis() - t0;
    }

    ~Run()
    {
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi_.hProcess, 0xDEAD);
            WaitForSingleObject(pi_.hProcess, kWait);
        }
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }

    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    const std::string &Error() const
    {
        return error_;
    }

    double Elapsed() const
    {
        return millis_;
    }

    void Command(int id) const
    {
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    // Ends the program as the user does, by its exit button.
    bool Exit() const
    {
        Command(IDC_EXIT);
        return WaitForSingleObject(pi_.hProcess, kWait) == WAIT_OBJECT_0;
    }

  private:
    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
    double millis_ = 0;
    std::string error_;
};

int Fail(const std::string &why)
{
    std::fprintf(stderr, "startup_bench: %s\n", why.c_str());
    return 2;
}

}  // namespace

int main()
{
    const std::wstring own = bench::OwnFolder();
    const std::wstring program = own + L"tzdebug.exe";
    const std::wstring floor = own + L"startup_floor.exe";
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + (L"startup_bench-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(folder.c_str(), nullptr);
    e2e::WriteWholeFile(folder + L"\\none.cfg", "");
    std::wstring env = Environment(folder);
    CopyWineSettings(L"tzdebug.exe", L"startup_floor.exe");

    struct Cleanup {
        std::wstring folder;

        ~Cleanup()
        {
            DropWineSettings(L"startup_floor.exe");
            DeleteFileW((folder + L"\\bench.state").c_str());
            DeleteFileW((folder + L"\\none.cfg").c_str());
            RemoveDirectoryW(folder.c_str());
        }
    } cleanup{folder};

    // A first, untimed start of each. tzdebug opens and closes card 0 too,
    // which saves the bench: every timed start then loads a state file, as
    // on a bench in use.
    {
        Run run(program, folder, env);
        if (!run.Error().empty())
            return Fail(run.Error());
        run.Command(IDC_OPEN);
        run.Command(IDC_CLOSE);
        if (!run.Exit())
            return Fail("tzdebug.exe did not exit");
    }
    if (GetFileAttributesW((folder + L"\\bench.state").c_str()) == INVALID_FILE_ATTRIBUTES)
        return Fail("tzdebug.exe saved no state file in the bench's folder");
    {
        Run run(floor, folder, env);
        if (!run.Error().empty())
            return Fail(run.Error());
        if (!run.Exit())
            return Fail("startup_floor.exe did not exit");
    }

    std::vector<double> floors, programs;
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const bool isFloor = (k == 0) == (round % 2 == 0);
            Run run(isFloor ? floor : program, folder, env);
            if (!run.Error().empty())
                return Fail(run.Error());
            (isFloor ? floors : programs).push_back(run.Elapsed());
            if (!run.Exit())
                return Fail("a program did not exit");
        }
    }

    const double f = bench::Median(floors), p = bench::Median(programs);
    std::printf("start-up, CreateProcess to the status text filled, median of %d rounds\n",
                kRounds);
    std::printf("  floor: startup_floor.exe, the same dialog without logic  %8.1f ms\n", f);
    std::printf("  tzdebug.exe beside the simulated TZ810DLL.DLL            %8.1f ms\n", p);
    std::printf("  ratio tzdebug / floor                                    %8.2f\n", p / f);
    std::printf("  rounds (floor / tzdebug ms):");
    for (int i = 0; i < kRounds; ++i)
        std::printf(" %.0f/%.0f", floors[i], programs[i]);
    std::printf("\n");
    return 0;
}
