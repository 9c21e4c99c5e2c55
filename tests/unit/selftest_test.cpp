// The bring-up self-test on the simulated bench: one row per fault with the
// check that finds it and what it says; the card as it was afterwards; and
// the report in its three forms, the JUnit one read back by an XML parser.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>
#include <tinyxml2.h>
#include "report.h"
#include "sim_control.h"

namespace {
using board::Verdict;
using tzctl::CardRun;
using tzctl::SelftestJson;
using tzctl::SelftestJunit;
using tzctl::SelftestText;

// Time passes only for the interrupt thread: a pause lets it deliver what is
// due, and the EEPROM's write pauses cost nothing.
void VirtualPause(unsigned)
{
    tzsim::WaitForInterrupts(5);
}

board::SelftestReport SelfTest(const std::string &config, ULONG index,
                               const std::vector<std::string> &checks = board::CheckNames(),
                               unsigned loops = 1, std::function<bool()> interrupted = {})
{
    tzsim::Reset(config);
    DeviceLibrary lib;
    tzsim::BindTable(lib);
    board::Card card;
    board::OpenCard(lib, index, card);
    board::SelftestOptions options;
    options.checks = checks;
    options.loops = loops;
    options.irq = true;
    options.destructive = true;
    options.keepImage = [](const std::vector<std::uint8_t> &) {
        return std::string("backup.bin");
    };
    options.pause = VirtualPause;
    options.interrupted = interrupted;
    board::SelftestReport report = board::RunSelftest(card, options);
    lib.TZ810mCloseDevice(index);
    tzsim::Reset();  // the interrupt thread goes before the next bench
    for (board::CheckResult &c : report.checks)
        c.seconds = 0;
    report.seconds = 0;
    return report;
}

// The check runs alone on card 0; it fails with the finding unless `passes`.
struct Row {
    const char *config, *check, *finding, *notRestored = "";
    bool passes = false;
};

// clang-format off
const Row kRows[] = {
    {"io_base 0 = 0", "config", "no I/O base"},
    {"fault TZ810mReadConfig = call 2", "config", "VID and DID cannot be read"},
    {"mem_base 0 = 0", "config", "no MEM base"},
    {"int_line 0 = 0xFF", "config", "interrupt line ff outside 01-fe"},
    {"vid 0 = 0xFFFF", "config", "VID reads ffff"},
    {"eeprom 0 = absent", "identity", "the EEPROM does not answer at I2C address 0x50"},
    {"eeprom 0 = blank", "identity", "identity block header ff, not 78: the card runs on its chip's defaults"},
    {"eeprom_changed 0 = 0x0C 0x11", "identity", "SVID 7a11 in the EEPROM, 7a5d in use: the card loads its identity "
     "at power-up"},
    {"eeprom_changed 0 = 6 0x35", "identity", "DID 5835 in the EEPROM, 5834 in use: the card loads its identity at "
     "power-up"},
    {"pulse_bit 0 = 2 stuck 1", "pulse", "pulse register bit 2 stuck at 1"},
    {"pulse_bit 0 = 3 stuck 0", "pulse", "pulse register bit 3 stuck at 0"},
    {"pulse_bit 0 = 0 shorted 1", "pulse", "pulse register bit 0 shorted to bit 1"},
    {"mem_data 0 = 3 stuck 0", "mem", "data bus: D3 stuck at 0"},
    {"mem_data 0 = 27 stuck 1\npulse 0 = 0x44", "mem", "data bus: D27 stuck at 1"},
    {"mem_data 0 = 5 shorted 6", "mem", "data bus: D5 shorted to D6"},
    {"mem_address 0 = 4 stuck 1", "mem", "address bus: A4 stuck"},
    {"mem_address 0 = 13 shorted 14", "mem", "address bus: A13 shorted to A14"},
    {"mem_cell 0 = 0x1234 0", "mem", "cell 1234 reads 00, not 34, by byte access (wrong cells: 1)"},
    {"fault TZ810mWriteIoByte = call 33", "pulse", "16 codes with 32-bit I/O off and on read back; it held 04",
     "pulse register not put back to 04: TZ810mWriteIoByte failed", true},
    {"fault TZ810mWriteIoByte = call 17", "pulse", "TZ810mWriteIoByte failed at the pulse register"},
    {"fault TZ810mGetIoBaseAddr = always", "pulse", "not tested: TZ810mGetIoBaseAddr failed, and no I/O access is "
     "made without the window's base"},
    {"pulse_bit 0 = 6 stuck 0", "pulse", "pulse register bit 6 stuck at 0"},
    {"pulse_bit 0 = 7 stuck 1", "pulse", "pulse register bit 7 stuck at 1"},
    {"fault TZ820mGetMemBaseAddr = always", "mem", "TZ820mGetMemBaseAddr failed; nothing written"},
    {"fault TZ810mAccessBlock = call 1", "mem", "the window cannot be read; nothing written"},
    {"fault TZ810mAccessBlock = call 2", "mem", "TZ810mAccessBlock failed writing at 0x0"},
    {"mem_cell 0 = 0 0x5A", "mem", "cell 0000 reads 5a, not 00, by byte access (wrong cells: 1)"},
    {"mem_cell 0 = 0x10 0", "mem", "cell 0010 reads 00, not 10, by byte access (wrong cells: 1)"},
    {"mem_cell 0 = 0x7FFE 0", "mem", "cell 7ffe reads 00, not ff, by byte access (wrong cells: 1)"},
    {"fault TZ810mReadIoByte = call 2", "level-irq", "the interrupt registers cannot be read; nothing written"},
    {"fault TZ810mWriteI2C = call 1", "eeprom", "TZ810mWriteI2C failed at 0xff, writing 55 to byte ff"},
    {"fault TZ810mWriteI2C = call 3", "eeprom", "byte ff took 55 and aa", "EEPROM byte ff not restored to ff: "
     "TZ810mWriteI2C failed at 0xff", true},
    {"fault TZ810mWriteIoByte = call 5", "level-irq", "2 calls of the routine, one expected"},
    {"fault TZ810mWriteIoByte = call 6", "level-irq", "one call of the routine, request cancelled",
     "interrupt register not put back to 00: TZ810mWriteIoByte failed", true},
    {"eeprom 0 = read_only", "eeprom", "byte ff did not take 55: is the EEPROM write-protected (WP high)?"},
    {"eeprom 0 = absent", "eeprom", "the EEPROM does not answer at I2C address 0x50"},
    {"flash = absent", "flash", "no flash answers its id (reply ff ff ff ff, a 25VF512 says bf 48)"},
    {"fault TZ780mReadFlash = call 17", "flash", "two reads of the flash: TZ780mReadFlash failed at 0x0"},
    {"fault TZ780mEarseFlash = always", "flash", "chip erase: TZ780mEarseFlash failed at 0x0"},
    {"fault TZ780mWriteFlash = always", "flash", "pattern: 65280 bytes differ from 0x0"},
    {"fault TZ780mEarseFlash = call 3", "flash", "25VF512, two reads agree; erased blank, pattern written and "
     "verified; image kept in backup.bin", "flash image not restored: TZ780mEarseFlash failed at 0x0; the original is "
     "in backup.bin", true},
    {"a15_int = off", "level-irq", "no call of the routine within 1 s: is pin A15 joined to INT#?"},
    {"fault TZ810mWriteIoByte = call 5", "edge-irq", "no call of the routine within 1 s: is pin A15 joined to INT#?"},
    {"fault TZ810mWriteIoByte = call 6", "edge-irq", "the request stays active after it was answered"},
};

// clang-format on

TEST(Selftest, EachFaultFoundByItsCheck)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(row.config);
        const board::SelftestReport report = SelfTest(row.config, 0, {row.check});
        const auto check = std::find_if(report.checks.begin(), report.checks.end(),
                                        [&](const auto &c) { return c.name == row.check; });
        EXPECT_EQ(check->verdict, row.passes ? Verdict::Pass : Verdict::Fail);
        EXPECT_EQ(check->finding, row.finding);
        EXPECT_EQ(board::Join(report.notRestored), row.notRestored);
        EXPECT_EQ(report.Count(Verdict::Skip), 7u);
    }
}

// A marginal board fails some loops of the memory check: the first failure
// is reported with how many loops failed; a loop that leaves the window
// changed ends them.
// clang-format off
const struct {
    const char *config;
    unsigned loops, failing;
    const char *finding;
} kLoopRows[] = {
    {"", 3, 0, "data bus, address bus A0-A14 and 32767 cells by byte (3 loops)"},
    {"mem_data 0 = 3 stuck 0", 3, 3, "data bus: D3 stuck at 0 (first of 3 failing loops in 3)"},
    {"fault TZ810mAccessBlock = call 400", 3, 1, "TZ810mAccessBlock failed reading at 0x2 (first of 1 failing loops in 3)"},
    {"fault TZ810mAccessBlock = from 40", 1, 1, "TZ810mAccessBlock failed writing at 0x2 (first of 1 failing loops in 1); stopped after 1 of 3 loops"},
};

// clang-format on

TEST(Selftest, MemoryCheckLoops)
{
    for (const auto &row : kLoopRows) {
        SCOPED_TRACE(row.config);
        const board::SelftestReport report = SelfTest(row.config, 0, {"mem"}, 3);
        EXPECT_EQ(report.checks[3].finding, row.finding);
        EXPECT_EQ(report.checks[3].loops, row.loops);
        EXPECT_EQ(report.checks[3].failingLoops, row.failing);
    }
}

TEST(Selftest, LeavesTheCardAsItFoundIt)
{
    tzsim::Reset("pulse 0 = 0x44");
    tzsim::SetMemByte(0, 0x1234, 0x5A);
    tzsim::SetFlashByte(0x4321, 0x3C);
    tzsim::SetEepromByte(0, 0xFF, 0x42);
    // A GP0 that starts low: the trigger must not make an edge of its own.
    tzsim::SetIoWindowByte(0, board::kRegGp0, 0x00);
    DeviceLibrary lib;
    tzsim::BindTable(lib);
    board::Card card;
    board::OpenCard(lib, 0, card);
    board::SelftestOptions options;
    options.irq = options.destructive = true;
    options.pause = VirtualPause;
    options.keepImage = [](const std::vector<std::uint8_t> &) {
        return std::string("backup.bin");
    };
    EXPECT_EQ(board::RunSelftest(card, options).Count(Verdict::Pass), 8u);
    EXPECT_EQ(tzsim::MemByte(0, 0x1234), 0x5A);
    EXPECT_EQ(tzsim::FlashByte(0x4321), 0x3C);
    EXPECT_EQ(tzsim::EepromByte(0, 0xFF), 0x42);
    EXPECT_EQ(tzsim::IoWindowByte(0, board::kRegPulse), 0x44);
    EXPECT_EQ(tzsim::IoWindowByte(0, board::kRegInterrupt), 0x00);
    EXPECT_EQ(tzsim::IoWindowByte(0, board::kRegGp0), 0x00);
    EXPECT_FALSE(tzsim::HasRoutine(0));
    tzsim::Reset();
}

TEST(Selftest, ChecksAfterAnInterruptAreNotRun)
{
    int asked = 0;
    const board::SelftestReport r =
        SelfTest("", 0, {"config", "identity"}, 1, [&] { return ++asked > 1; });
    ASSERT_GE(r.checks.size(), 2u);
    EXPECT_EQ(r.checks[0].verdict, Verdict::Pass) << r.checks[0].finding;
    EXPECT_EQ(r.checks[1].finding, "not run: interrupted");
    EXPECT_TRUE(r.interrupted);
}

const char kHealthy[] =
    "config     PASS   0.000 s  TZ820 7a5d:5834, I/O d000, MEM feb00000, interrupt line 10\n"
    "identity   PASS   0.000 s  header 78, values as in configuration space\n"
    "pulse      PASS   0.000 s  16 codes with 32-bit I/O off and on read back; it held 44\n"
    "mem        PASS   0.000 s  data bus, address bus A0-A14 and 32767 cells by byte and dword\n"
    "eeprom     PASS   0.000 s  byte ff took 55 and aa\n"
    "flash      PASS   0.000 s  25VF512, two reads agree; erased blank, pattern written and "
    "verified; image kept in backup.bin\n"
    "level-irq  PASS   0.000 s  one call of the routine, request cancelled\n"
    "edge-irq   PASS   0.000 s  one call of the routine, request cancelled\n"
    "card 0 TZ820: 8 passed, 0 failed, 0 skipped in 0.000 s\n";
// What was left changed comes first.
const char kFaulty[] =
    "NOT RESTORED: flash image not restored: TZ780mEarseFlash failed at 0x0; the original is in "
    "backup.bin\n"
    "config     PASS   0.000 s  TZ810 7a5d:5830, I/O d100, interrupt line 11\n"
    "identity   PASS   0.000 s  header 78, values as in configuration space\n"
    "pulse      PASS   0.000 s  16 codes read back; it held 04\n"
    "mem        SKIP   0.000 s  a TZ810 has no MEM window\n"
    "eeprom     FAIL   0.000 s  byte ff did not take 55: is the EEPROM write-protected (WP high)?\n"
    "flash      PASS   0.000 s  25VF512, two reads agree; erased blank, pattern written and "
    "verified; image kept in backup.bin\n"
    "level-irq  PASS   0.000 s  one call of the routine, request cancelled\n"
    "edge-irq   PASS   0.000 s  one call of the routine, request cancelled\n"
    "card 1 TZ810: 6 passed, 1 failed, 1 skipped in 0.000 s\n";

TEST(Selftest, ReportForms)
{
    const board::SelftestReport healthy = SelfTest("pulse 0 = 0x44", 0);
    board::SelftestReport faulty =
        SelfTest("eeprom 1 = read_only\nfault TZ780mEarseFlash = call 3", 1);
    EXPECT_EQ(SelftestText(healthy), kHealthy);
    EXPECT_EQ(SelftestText(faulty), kFaulty);

    const nlohmann::ordered_json json = SelftestJson(CardRun{1, faulty, tzctl::kExitOk, ""});
    EXPECT_EQ(json["chip"], "TZ810");
    EXPECT_EQ(json["failed"], 1);
    EXPECT_EQ(json["not_restored"][0], faulty.notRestored[0]);
    EXPECT_EQ(json["checks"][4]["outcome"], "FAIL");
    EXPECT_EQ(json["checks"][4]["finding"], faulty.checks[4].finding);
    EXPECT_EQ(json["checks"][0]["facts"]["did"], 0x5830);
    EXPECT_EQ(json["checks"][1]["facts"]["sid"], 1);
    EXPECT_EQ(json["checks"][4]["facts"]["byte_ff"], 0xff);
    EXPECT_EQ(json["checks"][1]["facts"]["svid"], 0x7a5d);
    EXPECT_EQ(json["checks"][0]["facts"]["int_line"], 17);
    EXPECT_EQ(json["checks"][5]["facts"]["id"], nlohmann::ordered_json::parse("[191,72,191,72]"));
    EXPECT_EQ(
        SelftestJson(CardRun{0, healthy, tzctl::kExitOk, ""})["checks"][3]["facts"]["accesses"],
        "byte, dword");

    faulty.checks[3].finding = "<&'\"\x01>";
    tinyxml2::XMLDocument xml;
    ASSERT_EQ(
        xml.Parse(SelftestJunit({{0, healthy, tzctl::kExitOk, ""}, {1, faulty, tzctl::kExitOk, ""}},
                                "lib")
                      .c_str()),
        tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement *all = xml.FirstChildElement("testsuites");
    EXPECT_STREQ(all->Attribute("tests"), "17");
    EXPECT_EQ(all->FirstChild()->ToText(), nullptr);
    EXPECT_EQ(all->LastChild()->ToText(), nullptr);
    EXPECT_STREQ(all->Attribute("failures"), "2");
    const tinyxml2::XMLElement *card1 = all->LastChildElement("testsuite");
    EXPECT_STREQ(card1->Attribute("name"), "card 1 TZ810");
    EXPECT_STREQ(card1->Attribute("tests"), "9");
    const tinyxml2::XMLElement *mem = card1->FirstChildElement("testcase")
                                          ->NextSiblingElement()
                                          ->NextSiblingElement()
                                          ->NextSiblingElement();
    EXPECT_STREQ(mem->Attribute("name"), "mem");
    EXPECT_EQ(mem->PreviousSibling()->ToText(), nullptr);
    EXPECT_STREQ(mem->FirstChildElement("skipped")->Attribute("message"), "<&'\" >");
    const tinyxml2::XMLElement *restore = card1->LastChildElement("testcase");
    EXPECT_STREQ(restore->FirstChildElement("failure")->Attribute("message"),
                 faulty.notRestored[0].c_str());
}

}  // namespace
