// The simulator's board faults where the programs' tests cannot tell a wrong model from a right
// one: data lines on the bus of each access, shorts in whatever order they are listed, and a
// state file it cannot read.
#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
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

}  // namespace
