// The simulator's board faults where the programs' tests cannot tell a wrong model from a right
// one: data lines on the bus of each access, shorts in whatever order they are listed, a state
// file it cannot read, and the configuration's warnings, which users read.
#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "config.h"
#include "sim_control.h"

namespace {
namespace fs = std::filesystem;
constexpr ULONG kReadByte = 0x18, kReadDword = 0x1A, kWriteByte = 0x1C, kWriteDword = 0x1E;

// Written at one offset by one code, read at another by another.
struct BusRow {
    const char *config;
    ULONG write, at, read, from;
    std::uint32_t written, back;
};

// clang-format off
const BusRow kBusRows[] = {
    {"mem_data 0 = 7 shorted 8", kWriteDword, 0, kReadDword, 0, 0x00000080, 0x00000180},
    {"mem_data 0 = 7 shorted 8", kWriteDword, 0, kReadByte, 0, 0x00000100, 0x00000180},
    {"mem_data 0 = 7 shorted 8", kWriteByte, 0, kReadDword, 0, 0x00000080, 0x00000180},
    {"mem_data 0 = 7 shorted 8", kWriteByte, 0, kReadByte, 0, 0x00000080, 0x00000080},
    {"mem_data 0 = 8 shorted 24\nmem_data 0 = 7 shorted 8", kWriteDword, 0, kReadByte, 0, 0x00000080, 0x01000180},
    {"mem_address 0 = 3 shorted 4\nmem_address 0 = 4 shorted 5", kWriteByte, 0x20, kReadByte, 0x38, 0x12345678, 0x12345678},
    {"mem_address 0 = 4 shorted 5\nmem_address 0 = 3 shorted 4", kWriteByte, 0x08, kReadByte, 0x38, 0x12345678, 0x12345678},
};

// clang-format on

// On a TZ820 at index 0, open with its MEM window.
TEST(Sim, LineFaultsActOnTheBusOfEachAccessInAnyOrder)
{
    for (const BusRow &row : kBusRows) {
        SCOPED_TRACE("row " + std::to_string(&row - kBusRows));
        tzsim::Reset(row.config);
        DeviceLibrary lib;
        tzsim::BindTable(lib);
        ULONG base = 0;
        lib.TZ810mOpenDevice(0, 1, 1, 0);
        lib.TZ820mGetMemBaseAddr(0, &base);
        std::uint32_t value = row.written, back = 0;
        lib.TZ810mAccessBlock(0, row.write, base + row.at, &value, 4);
        lib.TZ810mAccessBlock(0, row.read, base + row.from, &back, 4);
        EXPECT_EQ(back, row.back) << std::hex << back << ", not " << row.back;
    }
}

// Each file's valid EEPROM line sets byte ff to 42; each time the name taken before is kept.
TEST(Sim, DamagedStateFileKeptAsideWholeAndTheBenchFresh)
{
    const std::string path = fs::temp_directory_path() / ("tzsim-" + std::to_string(getpid()));
    const std::string eeprom = "eeprom 0 " + std::string(510, 'f') + "42\n";
    const std::string kFiles[] = {"tzsim-state 2\n" + eeprom,
                                  "tzsim-state 1\n" + eeprom + "io 0 00ff\n"};
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        const std::string aside = path + ".damaged" + (i ? "." + std::to_string(i + 1) : "");
        SCOPED_TRACE(aside);
        std::ofstream(path, std::ios::binary) << kFiles[i];
        tzsim::Reset("state_file = " + path);
        EXPECT_FALSE(fs::exists(path));
        std::ifstream kept(aside, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), kFiles[i]);
        EXPECT_EQ(tzsim::EepromByte(0, 0xFF), 0xFF);
        EXPECT_EQ(tzsim::Notices(), std::vector<std::string>{path + " could not be read; kept as " +
                                                             aside + "; the bench starts fresh"});
    }
    tzsim::Reset();
    for (const char *end : {"", ".2"})
        fs::remove(path + ".damaged" + end);
}

// A configuration and its warnings, one a line: a card setting's come after the other lines', since
// card settings wait for every card line.
// clang-format off
const std::pair<const char *, const char *> kConfigWarnings[] = {
    {"pulse 2 = 1\nflash = gone", "line 2: flash must be present or absent\nline 1: no card at index 2\n"},
    {"io_base 1 = 0xFF01\ncard 16 = TZ810", "line 2: card index must be 0 to 15\nline 1: bad or out-of-range value for io_base\n"},
    {"foo 1 = 2\nfoo = 2\nflash", "line 1: 'foo' takes no argument\nline 2: unknown setting 'foo'\nline 3: expected setting = value\n"},
    {"card 0 = TZ830\nvid 0 = 1", "line 1: card type must be TZ810, TZ820 or none\n"},
    {"eeprom 0 = rom\nmem_data 0 = 32 stuck 0", "line 1: eeprom must be present, blank, absent or read_only\nline 2: expected LINE stuck 0|1 or LINE shorted LINE\n"},
    {"fault TZ810Nope = always\nfault TZ810mReadI2C = never 3", "line 1: unknown function 'TZ810Nope'\nline 2: fault rule must be always, never, call N or from N\n"},
};

// clang-format on

TEST(Sim, ConfigWarnsOfEachBadLineAndAppliesCardSettingsAfterTheCardLines)
{
    for (const auto &[text, warnings] : kConfigWarnings) {
        std::string got;
        for (const std::string &w : tzsim::ParseConfig(text, "").warnings)
            got += w + "\n";
        EXPECT_EQ(got, warnings) << text;
    }
    const tzsim::BenchConfig cfg =
        tzsim::ParseConfig("did 1 = 0x1234\ncard 1 = TZ810\nstate_file = s", "b");
    EXPECT_FALSE(cfg.cards[0].present);
    EXPECT_TRUE(cfg.cards[1].chip == tzsim::Chip::TZ810 && cfg.cards[1].did == 0x1234);
    EXPECT_EQ(cfg.stateFile, fs::path("b") / "s");
}

}  // namespace
