// tzctl -D on every command that writes: its plan said, no writing function called and the
// simulated board left exactly as it was.
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include "board.h"
#include "sim_control.h"
#include "tzctl.h"
#include "../fake_cli_host.h"

namespace {

struct DryRow {
    const char *command;
    int exit;
    const char *plan;  // a part of stdout, or stderr whole for a refusal
    const char *config = "";
};

// clang-format off
const DryRow kDryRows[] = {
    {"-D cfg set 4 07", 0, "would write 1 byte 07 to config 0x04, 1 byte differs from what it holds now (the first at 0x04)\n"},
    {"-D i2c set 40 01 02", 0, "would write 2 bytes 01 02 to EEPROM 0x40-0x41, 2 bytes differ from what it holds now (the first at 0x40)\n"},
    {"-D i2c set 1e 00", 0, ", the identity guard passing\n"},
    {"-D i2c restore eeprom.bin", 0, "would write 256 bytes to EEPROM 0x00-0xff, 256 bytes differ"},
    {"-D i2c restore eeprom.bin --force", 0, ", the identity guard not asked (--force)\n"},
    {"-D io write 10 aa", 0, "would write 1 byte aa to I/O 0xd010 by byte access\n"},
    {"-D mem write 4 01020304 --width dword", 0, "would write 4 bytes 01 02 03 04 to MEM 0xfeb00004-0xfeb00007 by dword access\n"},
    {"-D identity set --sid 2", 0, "would write 32 bytes 78 00 00 00 5d 7a 34 58 01 00 00 10 5d 7a 02 00"},
    {"-D identity set --sid 2", 0, "(vid 7a5d did 5834 rid 01 svid 7a5d sid 0002), the identity guard passing\n"},
    {"-D identity set --vid ffff", 2, "tzctl: VID ffff hides the card from the system, as an empty slot reads ffff; nothing written (--force writes it)\n"},
    {"-D flash write image.bin", 0, "would write ff to the whole flash, 0x0000-0xffff (unlocked, then a chip erase)\nwould write 65536 bytes to flash 0x00-0xffff, "},
    {"-D flash write image.bin", 0, ", then the whole chip read back and compared\ndry run: nothing written\n"},
    {"-D flash write half.bin --partial --no-erase --no-verify", 0, "would write 32768 bytes to flash 0x00-0x7fff, "},
    {"-D flash write half.bin --partial --no-erase --no-verify", 0, "unlocked and not erased (--no-erase): 1 byte needs a bit only an erase sets, not read back (--no-verify)\n"},
    {"-D flash write image.bin --no-erase", 0, "65536 bytes differ from what it holds now (the first at 0x00), unlocked and not erased (--no-erase): 1 byte needs a bit only an erase sets, then its range read back and compared\n"},
    {"-D flash erase", 0, "would write ff to the whole flash, 0x0000-0xffff (unlocked, then a chip erase), 1 byte not blank now; then read back for blank\n"},
    {"-D pulse set 60", 0, "would write 41 to the pulse register (I/O 0xd0fa): 60 ns\ndry run: nothing written\n"},
    {"-D spi set spi4 15.6", 0, "would write stream mode code 3 to card 0 (TZ810SetStream): spi4, 15.6 MHz\n"},
    {"-D irq watch edge --count 2", 0, "would write the interrupt routine to card 0 (TZ810mSetIntRoutine)\nwould write ea to the interrupt register (I/O 0xd0eb), arming it for edge\nwould write GP0 (I/O 0xd0f1) up and down to trigger it, then a wait of up to 5 s for 2 calls\n"},
    {"-D selftest --irq --destructive", 0, "would write pulse: each of the 16 codes"},
    {"-D selftest --irq --destructive", 0, "would write flash: the flash image to a backup file, then a chip erase"},
    {"-D selftest --irq --destructive", 0, "would write edge-irq: the routine, GP0 (f1) high, ea"},
};
// clang-format on

// Every function of the table that changes the card.
const char *const kWriters[] = {"TZ810mWriteConfig", "TZ810mWriteIoByte",   "TZ810mWriteI2C",
                                "TZ810SetStream",    "TZ810mSetIntRoutine", "TZ780mWriteFlash",
                                "TZ780mEarseFlash",  "TZ780mLockFlash"};

TEST(DryRun, EveryWritingCommandPlansAndWritesNothing)
{
    const ULONG writeBit = board::AccessCode(board::Space::Io, true, board::Width::Byte) ^
                           board::AccessCode(board::Space::Io, false, board::Width::Byte);
    for (const DryRow &row : kDryRows) {
        SCOPED_TRACE(row.command);
        tzsim::Reset(row.config);
        tzsim::SetFlashByte(2, 0x0f);  // a byte only an erase sets to 3c
        const std::vector<std::uint8_t> before = tzsim::Snapshot();
        FakeHost host;
        host.files = {{"small.bin", {1, 2, 3, 4}},
                      {"eeprom.bin", std::vector<std::uint8_t>(0x100, 0x5a)},
                      {"image.bin", std::vector<std::uint8_t>(0x10000, 0x3c)},
                      {"half.bin", std::vector<std::uint8_t>(0x8000, 0xff)}};
        std::istringstream line(row.command);
        const int exit = RunTzctl({std::istream_iterator<std::string>(line), {}}, host);
        EXPECT_EQ(exit, row.exit) << host.err;
        const std::string &said = row.exit ? host.err : host.out;
        EXPECT_NE(said.find(row.plan), std::string::npos) << said;
        for (const char *writer : kWriters)
            EXPECT_EQ(tzsim::CountCalls(writer), 0u) << writer;
        for (const tzsim::Call &call : tzsim::Calls())
            EXPECT_FALSE(call.name == "TZ810mAccessBlock" && (call.args[1] & writeBit))
                << "a block written at " << call.args[2];
        EXPECT_EQ(tzsim::Snapshot(), before);
    }
}

}  // namespace
