// tzctl.exe through the tracing TZ810DLL.DLL, with the simulator beside it as the vendor's
// library: the same answers as tzctl --trace beside the simulator alone, and both logs list
// exactly the calls the simulator saw.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "resource.h"
#include "tzctl_process.h"

namespace {

using Calls = std::vector<std::string>;

// "Function -> result" of each call line: the simulator's "ms Function args -> 0xR", the tracing
// library's "seq time thread Function args -> 0xR duration".
Calls CallsOf(const std::string &text, int nameField)
{
    Calls calls;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string name, word;
        for (int i = 0; i <= nameField; ++i)
            fields >> name;
        while (fields >> word && word != "->") {
        }
        fields >> word;
        word = word == "void" ? "0x0" : word;  // the simulator's CloseDevice answers 0
        if (name.rfind("TZ", 0) == 0)
            calls.push_back(name + " -> " + word);
    }
    return calls;
}

TEST(Trace, SameAnswersAndTheCallsTheLibrarySaw)
{
    const e2e::TzDebug scratch;
    const std::wstring folder = scratch.Folder(), direct = folder + L"\\direct";
    CreateDirectoryW(direct.c_str(), nullptr);
    for (const auto &[from, to] : {std::pair{L"tzctl.exe", folder + L"\\tzctl.exe"},
                                   {L"trace\\TZ810DLL.DLL", folder + L"\\TZ810DLL.DLL"},
                                   {L"TZ810DLL.DLL", folder + L"\\TZ810DLL.vendor.dll"},
                                   {L"tzctl.exe", direct + L"\\tzctl.exe"},
                                   {L"TZ810DLL.DLL", direct + L"\\TZ810DLL.DLL"}})
        ASSERT_TRUE(CopyFileW((e2e::OwnFolder() + from).c_str(), to.c_str(), FALSE))
            << e2e::Narrow(to);
    const std::wstring log = folder + L"\\tztrace.log";
    for (const char *command :
         {"list", "flash id", "--card 1 cfg get 0 4", "irq watch edge --count 2"}) {
        SCOPED_TRACE(command);
        for (const std::wstring &at : {folder, direct}) {
            DeleteFileW((at + L"\\trace.txt").c_str());
            e2e::WriteWholeFile(at + L"\\scenario.cfg", "");
        }
        DeleteFileW((direct + L"\\self.log").c_str());
        const std::size_t logged = e2e::ReadWholeFile(log).size();
        const auto traced = tzctl_process::Tzctl(folder + L"\\tzctl.exe", folder, command, 0, 0);
        const auto plain = tzctl_process::Tzctl(direct + L"\\tzctl.exe", direct,
                                                std::string("--trace self.log ") + command, 0, 0);
        EXPECT_EQ(traced.out.find("library: tracing library " + e2e::Narrow(folder)) !=
                      std::string::npos,
                  std::string(command) == "list")
            << traced.out;
        // Less the line that names the library tzctl loaded.
        EXPECT_EQ(traced.out.substr(0, traced.out.rfind("library: ")),
                  plain.out.substr(0, plain.out.rfind("library: ")));
        const std::string run = e2e::ReadWholeFile(log).substr(logged);
        Calls logCalls = CallsOf(run, 3),
              simCalls = CallsOf(e2e::ReadWholeFile(folder + L"\\trace.txt"), 1),
              selfCalls = CallsOf(e2e::ReadWholeFile(direct + L"\\self.log"), 3),
              directCalls = CallsOf(e2e::ReadWholeFile(direct + L"\\trace.txt"), 1);
        const bool interrupts = std::string(command).find("irq") == 0;
        EXPECT_EQ(run.find(" routine index=0x0 ") != std::string::npos, interrupts) << run;
        // The routine's calls, on the library's thread, interleave with the program's.
        if (interrupts)
            for (Calls *calls : {&logCalls, &simCalls, &selfCalls, &directCalls})
                std::sort(calls->begin(), calls->end());
        EXPECT_EQ(logCalls, simCalls) << run;
        EXPECT_EQ(selfCalls, directCalls) << e2e::ReadWholeFile(direct + L"\\self.log");
    }
    // Without the vendor's library every call fails, and the log says why.
    SetEnvironmentVariableW(L"TZTRACE_LIBRARY", (folder + L"\\none.dll").c_str());
    const std::size_t logged = e2e::ReadWholeFile(log).size();
    EXPECT_EQ(tzctl_process::Tzctl(folder + L"\\tzctl.exe", folder, "list", 0, 0)
                  .out.rfind("card chip    vid  did  io    mem       irq\nlibrary: ", 0),
              0u);
    SetEnvironmentVariableW(L"TZTRACE_LIBRARY", nullptr);
    const std::string run = e2e::ReadWholeFile(log).substr(logged);
    EXPECT_NE(run.find("\n# no library: " + e2e::Narrow(folder) + "\\none.dll not loaded"),
              std::string::npos)
        << run;
    // Every call says why it failed: " ! no library".
    EXPECT_EQ(std::count(run.begin(), run.end(), '!'), std::ptrdiff_t(CallsOf(run, 3).size()))
        << run;
}

// tzdebug.exe the same: the card opened, four bytes of its I/O window read and shown (the pulse
// register's among them), the program closed, which closes the card.
TEST(Trace, TzdebugShowsTheSameAndTheCallsTheLibrarySaw)
{
    e2e::TzDebug traced, plain;
    for (const auto &[from, to] : {std::pair{L"trace\\TZ810DLL.DLL", L"\\TZ810DLL.DLL"},
                                   {L"TZ810DLL.DLL", L"\\TZ810DLL.vendor.dll"}})
        ASSERT_TRUE(
            CopyFileW((e2e::OwnFolder() + from).c_str(), (traced.Folder() + to).c_str(), FALSE));
    std::vector<std::wstring> shown;
    for (e2e::TzDebug *app : {&traced, &plain}) {
        // The traced one from a copy of tzdebug.exe beside the copied libraries.
        ASSERT_TRUE(app->Launch("pulse 0 = 0x5A\n", app == &plain) && app->WaitMain())
            << app->Error();
        app->Click(IDC_OPEN);
        app->SetText(IDC_IO_ADDR, L"F8");
        app->SetText(IDC_IO_LENGTH, L"4");
        app->Click(IDC_IO_READ);
        ASSERT_TRUE(app->Settle());
        shown.push_back(app->Text(IDC_IO_DATA));
        PostMessageW(app->Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(app->WaitExit(), 1);
    }
    EXPECT_EQ(e2e::Narrow(shown[0]), e2e::Narrow(shown[1]));
    const std::string log = e2e::ReadWholeFile(traced.Folder() + L"\\tztrace.log");
    const Calls calls = CallsOf(log, 3);
    EXPECT_EQ(calls, CallsOf(e2e::ReadWholeFile(traced.Folder() + L"\\trace.txt"), 1)) << log;
    // Written as the library is unloaded.
    EXPECT_NE(log.find(": " + std::to_string(calls.size()) + " calls, "), std::string::npos) << log;
}

}  // namespace
