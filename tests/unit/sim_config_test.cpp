// Bench configuration, fault injection, the state file and the trace.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim_control.h"

namespace fs = std::filesystem;

namespace {

class SimConfig : public ::testing::Test {
protected:
    DeviceLibrary lib;
    fs::path dir;

    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("tzsim-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        Start("");
    }
    void TearDown() override
    {
        tzsim::Reset("");  // releases the trace file
        fs::remove_all(dir);
    }
    void Start(const std::string &config)
    {
        tzsim::Reset(config);
        tzsim::BindTable(lib);
    }
    UCHAR Config(ULONG index, ULONG offset)
    {
        UCHAR v = 0;
        EXPECT_TRUE(lib.TZ810mReadConfig(index, offset, &v));
        return v;
    }
    void WriteIdentityDid(ULONG index, std::uint16_t did)
    {
        ASSERT_TRUE(lib.TZ810mWriteI2C(index, 0x50, 0x06, static_cast<UCHAR>(did)));
        ASSERT_TRUE(lib.TZ810mWriteI2C(index, 0x50, 0x07, static_cast<UCHAR>(did >> 8)));
    }
    static std::vector<std::string> Lines(const fs::path &file)
    {
        std::ifstream in(file);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
};

TEST_F(SimConfig, BadLinesAreSkippedWithAWarningAndTheRestApplies)
{
    Start("# bench under test\n"
          "card 0 = TZ810   # trailing comment\n"
          "no equals sign here\n"
          "card 16 = TZ810\n"
          "card 1 = TZ999\n"
          "did 0 = 0x1FFFF\n"
          "io_base 3 = 0x100\n"
          "io_base 0 = 0xFF80\n"
          "fault NoSuchCall = always\n"
          "fault TZ810mReadConfig = sometimes\n"
          "colour = blue\n"
          "version 2 = 0x1\n"
          "  VERSION   =   0x2a  \n"
          "int_line 0 = 7\n");
    EXPECT_EQ(tzsim::ConfigWarnings().size(), 10u);
    for (const std::string &w : tzsim::ConfigWarnings()) EXPECT_EQ(w.rfind("line ", 0), 0u) << w;
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x2au);
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(Config(0, 0x02), 0x30);  // out-of-range DID ignored
    ULONG v = 0;
    EXPECT_TRUE(lib.TZ810mGetIoBaseAddr(0, &v));
    EXPECT_EQ(v, 0xD000u);  // a window past 0xFFFF is refused
    EXPECT_TRUE(lib.TZ810mGetIntLine(0, &v));
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(lib.TZ810mReadConfig(0, 0, reinterpret_cast<UCHAR *>(&v)));  // no fault applied
}

TEST_F(SimConfig, EmptyConfigurationWarnsOfNothingAndPulseIsConfigurable)
{
    EXPECT_TRUE(tzsim::ConfigWarnings().empty());
    Start("card 5 = TZ820\npulse 5 = 0x4F\n");
    EXPECT_EQ(tzsim::IoWindowByte(5, TZ_REG_PULSE), 0x4F);
}

TEST_F(SimConfig, FaultsFailAlwaysOnlyTheNthCallOrFromTheNthOn)
{
    Start("fault TZ810mReadConfig = always\n"
          "fault TZ810mGetIntLine = call 2\n"
          "fault TZ810mReadIoByte = from 3\n"
          "fault TZ810mOpenDevice = call 3\n"
          "fault TZ810GetDrvVersion = from 2\n");
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    UCHAR b = 0;
    ULONG v = 0;
    EXPECT_FALSE(lib.TZ810mReadConfig(0, 2, &b));
    EXPECT_FALSE(lib.TZ810mReadConfig(0, 2, &b));
    std::vector<bool> intLine, ioByte;
    for (int i = 0; i < 4; ++i) {
        intLine.push_back(lib.TZ810mGetIntLine(0, &v) != 0);
        ioByte.push_back(lib.TZ810mReadIoByte(0, 0xD000, &b) != 0);
    }
    EXPECT_EQ(intLine, (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(ioByte, (std::vector<bool>{true, true, false, false}));
    // Calls are counted since load: open 1 was made above.
    EXPECT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x103u);
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0u);
    // A failed write leaves the hardware alone.
    Start("fault TZ810mWriteIoByte = always\n");
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_FALSE(lib.TZ810mWriteIoByte(0, 0xD000 + TZ_REG_PULSE, 0x4E));
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_PULSE), 0x04);
}

TEST_F(SimConfig, IdentityWrittenToTheEepromTakesEffectAfterRestart)
{
    const std::string config = "state_file = " + (dir / "bench.state").string() + "\n";
    Start(config);
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    WriteIdentityDid(0, 0x1235);
    ASSERT_TRUE(lib.TZ810mWriteConfig(0, 0x40, 0xC3));  // writable: survives
    ASSERT_TRUE(lib.TZ810mWriteConfig(0, 0x0B, 0x01));  // read-only: not stored
    std::uint8_t pattern[3] = {0x12, 0x34, 0x56};
    ASSERT_TRUE(lib.TZ780mWriteFlash(0, 0x100, pattern, 3));
    EXPECT_EQ(Config(0, 0x02), 0x34);  // not before restart
    EXPECT_TRUE(fs::exists(dir / "bench.state"));
    EXPECT_FALSE(fs::exists(dir / "bench.state.tmp"));

    Start(config);
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(Config(0, 0x02), 0x35);
    EXPECT_EQ(Config(0, 0x03), 0x12);
    EXPECT_EQ(Config(0, 0x40), 0xC3);
    EXPECT_EQ(Config(0, 0x0B), 0x07);
    EXPECT_EQ(tzsim::FlashByte(0x101), 0x34);
    EXPECT_EQ(tzsim::EepromByte(1, 0x06), 0x30);  // the other card untouched

    WriteIdentityDid(0, 0xAB34);
    Start(config);
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(Config(0, 0x02), 0x34);
    EXPECT_EQ(Config(0, 0x03), 0xAB);

    // Without a state file a restart is a factory-fresh bench.
    Start("");
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(Config(0, 0x03), 0x58);
    EXPECT_EQ(tzsim::FlashByte(0x101), 0xFF);
}

TEST_F(SimConfig, EepromWithoutTheHeaderLeavesTheChipDefaults)
{
    const std::string config = "state_file = " + (dir / "s").string() + "\n";
    Start(config);
    ASSERT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    WriteIdentityDid(1, 0x1235);
    ASSERT_TRUE(lib.TZ810mWriteI2C(1, 0x50, 0x00, 0x77));
    Start(config);
    ASSERT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_EQ(Config(1, 0x02), 0x30);
    EXPECT_EQ(tzsim::EepromByte(1, 0x06), 0x35);
}

TEST_F(SimConfig, DamagedStateFileIsIgnoredLineByLine)
{
    const fs::path state = dir / "s";
    std::ofstream(state) << "tzsim-state 1\nflash 00\neeprom 0 ZZ\neeprom 9 00\ngarbage\n";
    Start("state_file = " + state.string() + "\n");
    EXPECT_EQ(tzsim::FlashByte(0), 0xFF);
    EXPECT_EQ(tzsim::EepromByte(0, 0), 0x78);
    std::ofstream(state, std::ios::trunc) << "something else entirely\n";
    Start("state_file = " + state.string() + "\n");
    EXPECT_EQ(tzsim::EepromByte(0, 0), 0x78);
}

TEST_F(SimConfig, TraceHasOneLinePerCallWithArgumentsDataAndResult)
{
    const fs::path trace = dir / "calls.trace";
    Start("trace_file = " + trace.string() + "\n");
    ASSERT_NE(lib.TZ810mOpenDevice(0, 1, 1, 0), TZ_INVALID_HANDLE);
    std::uint8_t out[3] = {0x01, 0x02, 0xAB};
    ASSERT_TRUE(lib.TZ810mAccessBlock(0, 0x14, 0x300, out, 3));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x15, 0x301, out, 2));
    UCHAR b = 0;
    ASSERT_TRUE(lib.TZ810mReadConfig(0, 2, &b));
    lib.TZ810mCloseDevice(0);

    auto lines = Lines(trace);  // written at once, not at exit
    ASSERT_EQ(lines.size(), 5u);
    const std::regex number(R"(^\d+\.\d+ )");
    for (const std::string &l : lines) EXPECT_TRUE(std::regex_search(l, number)) << l;
    auto rest = [](const std::string &l) { return l.substr(l.find(' ') + 1); };
    EXPECT_EQ(rest(lines[0]), "TZ810mOpenDevice 0x0 0x1 0x1 0x0 -> 0x100");
    EXPECT_EQ(rest(lines[1]), "TZ810mAccessBlock 0x0 0x14 0x300 0x3 data=0102AB -> 0x1");
    EXPECT_EQ(rest(lines[2]), "TZ810mAccessBlock 0x0 0x15 0x301 0x2 data=0102 -> 0x0");
    EXPECT_EQ(rest(lines[3]), "TZ810mReadConfig 0x0 0x2 out=34 -> 0x1");
    EXPECT_EQ(rest(lines[4]), "TZ810mCloseDevice 0x0 -> 0x0");
    double t0 = std::stod(lines[0]), t4 = std::stod(lines[4]);
    EXPECT_LE(t0, t4);
}

void TZAPI QuietRoutine() {}

TEST_F(SimConfig, TraceNotesEachInterruptDelivery)
{
    const fs::path trace = dir / "irq.trace";
    Start("trace_file = " + trace.string() + "\n");
    ASSERT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    ASSERT_TRUE(lib.TZ810mSetIntRoutine(1, &QuietRoutine));
    ASSERT_TRUE(lib.TZ810mWriteIoByte(1, 0xD100 + TZ_REG_INTERRUPT, 0xEA));
    ASSERT_TRUE(lib.TZ810mWriteIoByte(1, 0xD100 + TZ_REG_GP0, 0x00));
    ASSERT_TRUE(lib.TZ810mWriteIoByte(1, 0xD100 + TZ_REG_GP0, 0x80));
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    auto lines = Lines(trace);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[5].find(" interrupt 1"), std::string::npos) << lines[5];
    tzsim::Reset("");
}

TEST_F(SimConfig, CallLogGivesTheSpiReadLengthAsArgumentAndUlongOutputsAsBytes)
{
    ASSERT_NE(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    tzsim::ClearCalls();
    ULONG base = 0, readLength = 2;
    std::uint8_t cmd[4] = {0x90, 0, 0, 0}, reply[2] = {};
    ASSERT_TRUE(lib.TZ810mGetIoBaseAddr(0, &base));
    ASSERT_TRUE(lib.TZ810StreamSPI(0, 4, cmd, &readLength, reply));
    auto calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].out, (std::vector<std::uint8_t>{0x00, 0xD0, 0x00, 0x00}));
    EXPECT_EQ(calls[1].args, (std::vector<std::uint32_t>{0, 4, 2}));
    EXPECT_EQ(calls[1].data, (std::vector<std::uint8_t>{0x90, 0, 0, 0}));
    EXPECT_EQ(calls[1].out, (std::vector<std::uint8_t>{0xBF, 0x48}));
}

}  // namespace
