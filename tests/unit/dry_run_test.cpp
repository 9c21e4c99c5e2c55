// tzctl -D on every command that writes: its plan said, no writing function called and the
// simulated board left exactly as it was.
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include "../fake_cli_host.h"

namespace {

// clang-format off
// Each command and a part of what it says.
const std::pair<const char *, const char *> kDryRows[] = {
    {"-D i2c set 40 01 02", "would write 2 bytes 01 02 to EEPROM 0x40-0x41, 2 bytes differ from what it holds now (the first at 0x40)\n"},
    {"-D i2c restore eeprom.bin", "would write 256 bytes to EEPROM 0x00-0xff, 256 bytes differ from what it holds now (the first at 0x00), the identity guard passing\n"},
    {"-D i2c restore eeprom.bin --force", "0x00), the identity guard not asked (--force)\n"},
    {"-D cfg set 4 0300", "would write 2 bytes 03 00 to config 0x04-0x05"},
    {"-D cfg set COMMAND=0:1 INTERRUPT_LINE=5", "would write 0x0002 to COMMAND (config 0x04, word; was 0x0003, 0x0000 under mask 0x0001)\nwould write 0x05 to INTERRUPT_LINE"},
    {"-D reg set GP0=0 PULSE=44", "would write 0x00 to GP0 (I/O 0xd0f1; was 0x80)\nwould write 0x44 to PULSE (I/O 0xd0fa)\n"},
    {"-D io write 10 aa", "would write 1 byte aa to I/O 0xd010 by byte access\n"},
    {"-D mem write 4 01020304 --width dword", "would write 4 bytes 01 02 03 04 to MEM 0xfeb00004-0xfeb00007 by dword access\n"},
    {"-D identity set --sid 2", "00 00 to EEPROM 0x00-0x1f, 1 byte differs from what it holds now (the first at 0x0e): vid 7a5d did 5834 rid 01 svid 7a5d sid 0002, the identity guard passing\n"},
    {"-D flash write image.bin", "(the first at 0x00), then the whole chip read back and compared\ndry run: nothing written\n"},
    {"-D flash write image.bin --no-erase", "erase sets, then its range read back and compared\n"},
    {"-D flash write image.bin --no-erase --no-verify", "would write 65536 bytes to flash 0x0000-0xffff, 65536 bytes differ from what it holds now (the first at 0x00), unlocked and not erased (--no-erase): 1 byte needs a bit only an erase sets, not read back (--no-verify)\n"},
    {"--json -D flash write image.bin --no-erase", "\"erased\":false,\"verified\":true"},
    {"-D flash erase", "would write ff to the whole flash, 0x0000-0xffff (unlocked, then a chip erase), 1 byte not blank now; then read back for blank\n"},
    {"-D flash write sector.bin --offset 1000", "would write ff to 0x1000-0x1fff, 1 sector (unlocked, then a sector erase)\nwould write 4096 bytes to flash 0x1000-0x1fff, 4096 bytes differ from what it holds now (the first at 0x1000), then its range read back and compared, and the other 60 KiB checked unchanged\n"},
    {"--json -D flash write sector.bin --offset 1000", "\"verified\":true,\"offset\":4096,\"dry_run\":true"},
    {"-D flash erase --offset 0 --length 2000", "would write ff to 0x0000-0x1fff, 2 sectors (unlocked, then a sector erase), 1 byte not blank now; then read back for blank\n"},
    {"-D pulse set 60", "would write 41 to the pulse register (I/O 0xd0fa): 60 ns\ndry run: nothing written\n"},
    {"-D spi set spi4 15.6", "would write stream mode code 3 to card 0 (TZ810SetStream): spi4, 15.6 MHz\n"},
    {"-D irq watch edge --count 2", "would write the interrupt routine to card 0 (TZ810mSetIntRoutine)\nwould write ea to the interrupt register (I/O 0xd0eb), arming it for edge\nwould write GP0 (I/O 0xd0f1) up and down to trigger it, then a wait of up to 5 s for 2 calls\n"},
    {"-D selftest --irq --destructive", "would write flash: the flash image to a backup file, then a chip erase"},
    {"-D selftest --only mem", "would write mem: data bus, address bus and cell patterns to the MEM window 0000-7fff, then its contents put back\n"},
};
// Every function of the table that changes the card.
const char *const kWriters[] = {"TZ810mWriteConfig", "TZ810mWriteIoByte", "TZ810mWriteI2C", "TZ810SetStream",
                                "TZ810mSetIntRoutine", "TZ780mWriteFlash", "TZ780mEarseFlash", "TZ780mLockFlash"};

// clang-format on

TEST(DryRun, EveryWritingCommandPlansAndWritesNothing)
{
    const ULONG writeBit = TZ_ACCESS_IO_WRITE ^ TZ_ACCESS_IO_READ;
    for (const auto &[command, plan] : kDryRows) {
        SCOPED_TRACE(command);
        tzsim::Reset();
        tzsim::SetFlashByte(2, 0x0f);  // a byte only an erase sets to 3c
        const std::vector<std::uint8_t> before = tzsim::Snapshot();
        FakeHost host;
        host.files = {{"eeprom.bin", std::vector<std::uint8_t>(0x100, 0x5a)},
                      {"image.bin", std::vector<std::uint8_t>(0x10000, 0x3c)},
                      {"sector.bin", std::vector<std::uint8_t>(0x1000, 0x3c)}};
        std::istringstream line(command);
        const int exit = RunTzctl({std::istream_iterator<std::string>(line), {}}, host);
        EXPECT_EQ(exit, 0) << host.err;
        EXPECT_NE(host.out.find(plan), std::string::npos) << host.out;
        for (const char *writer : kWriters)
            EXPECT_EQ(tzsim::CountCalls(writer), 0u) << writer;
        for (const tzsim::Call &call : tzsim::Calls())
            EXPECT_FALSE(call.name == "TZ810mAccessBlock" && (call.args[1] & writeBit))
                << "a block written at " << call.args[2];
        EXPECT_EQ(tzsim::Snapshot(), before);
    }
}

}  // namespace
