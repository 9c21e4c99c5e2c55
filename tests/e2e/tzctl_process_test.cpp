// tzctl.exe as a script sees it: a process beside the simulated library, with a
// scenario folder of its own, its output caught in files. Command lines -> exit code, output,
// trace.
#include <gtest/gtest.h>
#include <windows.h>
#include <map>
#include "tzctl_process.h"

namespace {

using namespace tzctl_process;

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
    {"", "--card 1 identity set --did 5831 ; TZSIM_POWER_CYCLE=1 list", 0, "\n"
     "1    TZ810   7a5d 5831 d100  -         11\n"},
    {"", "pulse set 60 ; pulse get", 0, "60 ns\n"},
    {"", "pulse set 60 ; TZSIM_POWER_CYCLE=1 pulse get", 0, "150 ns\n"},
    {"", "i2c set 6 35 --force ; TZSIM_POWER_CYCLE=1 identity set --did 5834 --force ; TZSIM_POWER_CYCLE=1 list", 0,
     "\n0    TZ820   7a5d 5834 d000  feb00000  10\n"},
    {"", "flash write 镜像.bin ; flash read 读回.bin ; flash verify 读回.bin", 0, "flash matches 读回.bin\n"},
    {"", "io read f8 4 -o /missing-folder/x.bin", 2, "tzctl: cannot write /missing-folder/x.bin\n", "",
     "TZ810mOpenDevice"},
    {"fault TZ780mReadFlash = call 5\n", "flash write 镜像.bin", 1, "tzctl: TZ780mReadFlash failed at 0x4000\n",
     "TZ780mReadFlash 0x0 0x4000 0x1000 -> 0x0"},
    {"", "io read 0 4 -o out.bin", 0, "4 bytes saved to out.bin\n"},
    {"", kReadToLongName.c_str(), 0, "4 bytes saved to nnn"},
    {"", "identity show", 6, "tzctl: cannot write the output\n", "", nullptr, true},
    {"", "i2c dump -o -", 6, "tzctl: cannot write standard output\n", "", nullptr, true},
    {"", "selftest --irq --junit report.xml", 0, "library: simulated board library, no card (", "interrupt 0"},
    {"a15_int = off\n", "irq watch edge --count 1000000 --timeout 60", 8, "tzctl: interrupted after 0 of 1000000 edge "
     "interrupts\n", "", nullptr, false, true},
};

// clang-format on

TEST(Tzctl, CommandLines)
{
    const e2e::TzDebug scratch;  // for its folder, removed unless a test failed
    const std::wstring folder = scratch.Folder();
    // tzctl.exe beside this program, and so beside the simulated library, and a copy alone.
    const std::wstring beside = e2e::OwnFolder() + L"tzctl.exe", alone = folder + L"\\tzctl.exe";
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
        if (commands.find("读回") != std::string::npos) {
            EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\读回.bin"), image);
        }
        if (commands.find("--junit") != std::string::npos) {
            EXPECT_NE(e2e::ReadWholeFile(folder + L"\\report.xml")
                          .find("<testsuite name=\"card 0 TZ820\" tests=\"8\" failures=\"0\""),
                      std::string::npos);
        }
    }
    EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\out.bin.tmp"), "mine");
    // Past MAX_PATH: only the long form removes it.
    DeleteFileW((L"\\\\?\\" + folder + L"\\" + e2e::Widen(kLongName)).c_str());
}

// Programs at once on the one bench, as on the one card: while one holds card 0 open, others
// write the flash and EEPROM ranges of both cards, and every write is kept, the holder's kill
// included. A state file that is no bench of this version is kept aside, and the run says so.
TEST(Tzctl, ProgramsAtOnceKeepEveryWrite)
{
    const e2e::TzDebug scratch;
    const std::wstring folder = scratch.Folder(), exe = e2e::OwnFolder() + L"tzctl.exe";
    const std::string image(0x10000, 'i'), parts = "0123456789abcdefghijklmnopqrstuv";
    e2e::WriteWholeFile(folder + L"\\img.bin", image);
    e2e::WriteWholeFile(folder + L"\\scenario.cfg", "");
    for (const auto &[file, aside, why] :
         {std::tuple{"tzsim-state 1\n", L".v1", " holds a bench of version 1"},
          {"junk", L".damaged", " could not be read"}}) {
        e2e::WriteWholeFile(folder + L"\\state.txt", file);
        DeleteFileW((folder + L"\\state.txt" + aside).c_str());  // a kept folder's, from before
        const std::string state = e2e::Narrow(folder + L"\\state.txt");
        const tzctl_runs::Run run = Tzctl(exe, folder, "list", false, false);
        EXPECT_EQ(run.err, "tzsim: " + state + why + "; kept as " + state + e2e::Narrow(aside) +
                               "; the bench starts fresh\n");
        EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\state.txt" + aside), file);
    }
    std::vector<Started> writers;
    writers.push_back(
        Start(exe, folder, "irq watch edge --count 1000000 --timeout 6", L"0", false));
    ASSERT_TRUE(e2e::WaitFor([&] { return Registered(folder); }));
    writers.push_back(Start(exe, folder, "flash write img.bin", L"1", false));
    writers.push_back(Start(exe, folder, "--card 1 i2c set 80 5a", L"2", false));
    for (const char *at : {"40", "48", "50", "58"}) {
        const std::wstring part = L"part" + e2e::Widen(at);
        const std::size_t k = writers.size() - 3;
        e2e::WriteWholeFile(folder + L"\\" + part, parts.substr(8 * k, 8));
        const std::string args = std::string("i2c set ") + at + " -i " + e2e::Narrow(part);
        writers.push_back(Start(exe, folder, args, part, false));
    }
    for (std::size_t k = 1; k < writers.size(); ++k)
        EXPECT_EQ(Finish(writers[k], folder).exit, 0) << k;
    // Killed in the middle of its work, perhaps inside a call: the bench goes on without it.
    EXPECT_TRUE(TerminateProcess(writers[0].pi.hProcess, 9));
    EXPECT_EQ(Finish(writers[0], folder).exit, 9);
    EXPECT_EQ(Tzctl(exe, folder, "flash verify img.bin", false, false).out,
              "flash matches img.bin\n");
    EXPECT_EQ(Tzctl(exe, folder, "--card 1 i2c get 80", false, false).out, "0x5a\n");
    EXPECT_EQ(Tzctl(exe, folder, "i2c dump -o e.bin", false, false).exit, 0);
    EXPECT_EQ(e2e::ReadWholeFile(folder + L"\\e.bin").substr(0x40, 32), parts);
}

// tzctl between pipes, as `tzctl ... -o - | tzctl ... -` runs it: input is written to its
// standard input before it starts, and its standard output read once it has ended (a pipe
// holds the few bytes).
tzctl_runs::Run Piped(const std::wstring &exe, const std::wstring &folder, const std::string &args,
                      const std::string &input)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    EXPECT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0x10000));
    EXPECT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0x10000));
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    DWORD wrote = 0;
    WriteFile(inWrite, input.data(), DWORD(input.size()), &wrote, nullptr);
    CloseHandle(inWrite);
    SetScenario(folder, false);
    Started started = Start(exe, folder, args, L"piped", false, inRead, outWrite);
    tzctl_runs::Run run = Finish(started, folder);
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(outRead, piece, sizeof piece, &got, nullptr) && got)
        run.out.append(piece, got);
    CloseHandle(outRead);
    return run;
}

// The bytes of `-` pass as they are: no CR added to LF or taken from CR LF, no end at Ctrl-Z.
TEST(Tzctl, BytesThroughPipes)
{
    const e2e::TzDebug scratch;
    const std::wstring folder = scratch.Folder(), exe = e2e::OwnFolder() + L"tzctl.exe";
    e2e::WriteWholeFile(folder + L"\\scenario.cfg", "");
    const std::string bytes = "\n\r\x1a\r\n";
    EXPECT_EQ(Tzctl(exe, folder, "i2c set 40 0a 0d 1a 0d 0a", false, false).exit, 0);
    const tzctl_runs::Run dump = Piped(exe, folder, "i2c dump -o -", "");
    EXPECT_EQ(dump.err, "256 bytes saved to standard output\n");
    ASSERT_EQ(dump.out.size(), 256u);
    EXPECT_EQ(dump.out.substr(0x40, bytes.size()), bytes);
    EXPECT_EQ(Tzctl(exe, folder, "i2c set 40 00 00 00 00 00", false, false).exit, 0);
    const tzctl_runs::Run restore = Piped(exe, folder, "i2c restore -", dump.out);
    EXPECT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(Piped(exe, folder, "i2c dump -o -", "").out, dump.out);
}

// Two stations' runs at once append to one results log: every line is one whole record.
TEST(Tzctl, RunsAtOnceShareOneLog)
{
    const e2e::TzDebug scratch;
    const std::wstring folder = scratch.Folder(), exe = e2e::OwnFolder() + L"tzctl.exe";
    std::string cards;
    for (int i = 0; i < 16; ++i)
        cards += "card " + std::to_string(i) + " = TZ810\n";
    e2e::WriteWholeFile(folder + L"\\scenario.cfg", cards);
    SetScenario(folder, false);
    const std::string run = "selftest --all --only config --log shared.log --serial ";
    std::vector<Started> runs;
    for (const char *serial : {"A", "B"})
        runs.push_back(Start(exe, folder, run + serial, e2e::Widen(serial), false));
    for (Started &started : runs)
        EXPECT_EQ(Finish(started, folder).exit, 0);
    const std::string log = e2e::ReadWholeFile(folder + L"\\shared.log");
    std::map<std::string, int> lines;
    for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        ASSERT_NE(end, std::string::npos) << log.substr(at);
        const std::string line = log.substr(at, end - at);
        EXPECT_EQ(line.back(), '}') << line;
        ++lines[line.substr(0, 14)];
    }
    EXPECT_EQ(lines["{\"serial\":\"A\","], 16) << log;
    EXPECT_EQ(lines["{\"serial\":\"B\","], 16) << log;
}

}  // namespace
