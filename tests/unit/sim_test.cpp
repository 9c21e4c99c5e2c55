// The simulator's board faults where the programs' tests cannot tell a wrong model from a right
// one: data lines on the bus of each access, shorts in whatever order they are listed, a state
// file it cannot read, and the configuration's warnings, which users read.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include "config.h"
#include "sim_control.h"
#include "store.h"

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
    {"mem_address 0 = 3 shorted 4\nmem_address 0 = 4 shorted 5", kWriteByte, 0x20, kReadByte, 0x38, 0x12345678,
     0x12345678},
    {"mem_address 0 = 4 shorted 5\nmem_address 0 = 3 shorted 4", kWriteByte, 0x08, kReadByte, 0x38, 0x12345678,
     0x12345678},
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

std::string Contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Layout(std::uint32_t version, std::size_t size, std::uint8_t chip0)
{
    std::string layout(size, '\0');
    std::memcpy(&layout[0], tzsim::kMagic, sizeof tzsim::kMagic);
    std::memcpy(&layout[8], &version, 4);
    std::memcpy(&layout[12], &size, 4);
    layout[offsetof(tzsim::Layout, slots)] = char(chip0);
    return layout;
}

// A file that is not a bench of this program's layout, and the name it is kept under.
struct UnfitRow {
    std::string file, aside, why;
};

const std::size_t kSize = sizeof(tzsim::Layout);
// clang-format off
const UnfitRow kUnfitRows[] = {
    {"tzsim-state 1\nflash ff\n", ".v1", "holds a bench of version 1"},
    {Layout(3, kSize, 0), ".v3", "holds a bench of version 3"},
    {Layout(2, kSize - 1, 0), ".damaged", "could not be read"},
    {Layout(2, kSize, 3), ".damaged.2", "could not be read"},
    {"", ".damaged.3", "could not be read"},
};

// clang-format on

// Kept aside whole under a name no earlier one has, said, and a fresh bench in its place that
// the next load finds whole.
TEST(Sim, UnfitStateFileKeptAsideWholeAndTheBenchFresh)
{
    const std::string path = fs::temp_directory_path() / ("tzsim-" + std::to_string(getpid()));
    for (const UnfitRow &row : kUnfitRows) {
        SCOPED_TRACE(row.aside);
        std::ofstream(path, std::ios::binary) << row.file;
        tzsim::Reset("state_file = " + path);
        EXPECT_EQ(Contents(path + row.aside), row.file);
        EXPECT_EQ(tzsim::EepromByte(0, 0), 0x78);
        EXPECT_EQ(tzsim::Notices(),
                  std::vector<std::string>{path + " " + row.why + "; kept as " + path + row.aside +
                                           "; the bench starts fresh"});
        tzsim::Reset("state_file = " + path);
        EXPECT_EQ(tzsim::Notices(), std::vector<std::string>{});
    }
    tzsim::Reset();
    for (const char *end : {"", ".lock", ".v1", ".v3", ".damaged", ".damaged.2", ".damaged.3"})
        fs::remove(path + end);
}

// Each load maps the one file: what a program wrote, the next finds; a slot that now holds the
// other chip powers up fresh and keeps its EEPROM. A program that died inside a write leaves the
// lock to the next and its journal entry put in place when it reached the disk whole, dropped
// when it did not.
TEST(Sim, StateFileKeepsEveryWriteAndMendsACutOne)
{
    const std::string path = fs::temp_directory_path() / ("tzsim-j" + std::to_string(getpid()));
    const std::string config = "state_file = " + path + "\n";
    DeviceLibrary lib;
    tzsim::BindTable(lib);
    tzsim::Reset(config);
    lib.TZ810mOpenDevice(0, 1, 1, 0);
    lib.TZ810mWriteI2C(0, 0x50, 0x80, 0x5A);
    lib.TZ810mWriteIoByte(0, 0xD0FA, 0x05);
    std::uint8_t image[4] = {1, 2, 3, 4};
    lib.TZ780mWriteFlash(0, 0x100, image, 4);
    tzsim::Reset(config);
    EXPECT_EQ(tzsim::EepromByte(0, 0x80), 0x5A);
    EXPECT_EQ(tzsim::IoWindowByte(0, 0xFA), 0x05);
    EXPECT_EQ(tzsim::FlashByte(0x103), 0x04);
    tzsim::Reset(config + "card 0 = TZ810\n");
    EXPECT_EQ(tzsim::IoWindowByte(0, 0xFA), 0x04);
    EXPECT_EQ(tzsim::EepromByte(0, 0x80), 0x5A);
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "whole" : "cut");
        tzsim::Reset();
        {
            std::vector<std::string> notices;
            const auto store = tzsim::Store::Open(path, notices);
            tzsim::Journal &j = store->Data().journal;
            j = {
                tzsim::kJournalPending, tzsim::kPartEeprom, 0, whole ? 0x81u : 0x82u, 1, 0, {0x33}};
            j.check = tzsim::JournalCheck(j) + (whole ? 0 : 1);
            store->Data().lockOwner = ~std::uint64_t(0);
        }
        tzsim::Reset(config);
        EXPECT_EQ(tzsim::EepromByte(0, whole ? 0x81 : 0x82), whole ? 0x33 : 0xFF);
    }
    tzsim::Reset();
    fs::remove(path);
    fs::remove(path + ".lock");
}

// The part erases whole sectors only, the whole chip included.
TEST(Sim, FlashErasesWholeSectorsOnly)
{
    DeviceLibrary lib;
    tzsim::BindTable(lib);

    const struct {
        ULONG address, length;
        BOOL ok;
    } rows[] = {{0, 0x10000, 1}, {0x1000, 0x2000, 1}, {0x1001, 0x1000, 0}, {0x1000, 0xFFF, 0}};

    for (const auto &row : rows) {
        tzsim::Reset();
        tzsim::SetFlashByte(row.address, 0);
        lib.TZ810mOpenDevice(0, 1, 1, 0);
        EXPECT_EQ(lib.TZ780mEarseFlash(0, row.address, row.length), row.ok) << row.address;
        EXPECT_EQ(tzsim::FlashByte(row.address), row.ok ? 0xFF : 0x00) << row.address;
    }
}

// flash_stray: the first flash write clears one byte outside its range, and no later one does.
TEST(Sim, FlashStrayClearsOneByteOnce)
{
    DeviceLibrary lib;
    tzsim::BindTable(lib);
    tzsim::Reset("flash_stray = 0x8000\n");
    lib.TZ810mOpenDevice(0, 1, 1, 0);
    std::uint8_t byte = 0x5A;
    lib.TZ780mWriteFlash(0, 0, &byte, 1);
    EXPECT_EQ(tzsim::FlashByte(0x8000), 0x00);
    tzsim::SetFlashByte(0x8000, 0xFF);
    lib.TZ780mWriteFlash(0, 0, &byte, 1);
    EXPECT_EQ(tzsim::FlashByte(0x8000), 0xFF);
    tzsim::Reset();
}

// A configuration and its warnings, one a line: a card setting's come after the other lines', since
// card settings wait for every card line.
// clang-format off
const std::pair<const char *, const char *> kConfigWarnings[] = {
    {"pulse 2 = 1\nflash = gone", "line 2: flash must be present or absent\nline 1: no card at index 2\n"},
    {"io_base 1 = 0xFF01\ncard 16 = TZ810", "line 2: card index must be 0 to 15\n"
     "line 1: bad or out-of-range value for io_base\n"},
    {"foo 1 = 2\nfoo = 2\nflash", "line 1: 'foo' takes no argument\nline 2: unknown setting 'foo'\n"
     "line 3: expected setting = value\n"},
    {"card 0 = TZ830\nvid 0 = 1", "line 1: card type must be TZ810, TZ820 or none\n"},
    {"eeprom 0 = rom\nmem_data 0 = 32 stuck 0", "line 1: eeprom must be present, blank, absent or read_only\n"
     "line 2: expected LINE stuck 0|1 or LINE shorted LINE\n"},
    {"fault TZ810Nope = always\nfault TZ810mReadI2C = never 3", "line 1: unknown function 'TZ810Nope'\n"
     "line 2: fault rule must be always, never, call N or from N\n"},
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

// The example shipped beside the simulated library: as shipped the default bench, and every
// setting it offers, switched on, is one the simulator reads.
TEST(Sim, ShippedExampleIsTheDefaultBenchAndEachOfItsSettingsReads)
{
    std::ifstream file(TZSIM_EXAMPLE);
    const std::string shipped{std::istreambuf_iterator<char>(file), {}};
    std::istringstream lines(shipped);
    std::string switchedOn;
    for (std::string line; std::getline(lines, line);)
        switchedOn +=
            (line.size() > 1 && line[0] == '#' && std::islower(static_cast<unsigned char>(line[1]))
                 ? line.substr(1)
                 : line) +
            "\n";
    const tzsim::BenchConfig asShipped = tzsim::ParseConfig(shipped, "");
    const tzsim::BenchConfig all = tzsim::ParseConfig(switchedOn, "");
    EXPECT_EQ(asShipped.warnings, std::vector<std::string>());
    EXPECT_EQ(asShipped.cards[0].chip, tzsim::Chip::TZ820);
    EXPECT_EQ(asShipped.cards[1].chip, tzsim::Chip::TZ810);
    EXPECT_FALSE(asShipped.cards[2].present);
    EXPECT_EQ(all.warnings, std::vector<std::string>());
    EXPECT_TRUE(all.cards[2].present);
}

}  // namespace
