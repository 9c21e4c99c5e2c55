// The board layer: its rules as tables, its operations against the simulator.
#include <gtest/gtest.h>

#include "board.h"
#include "sim_control.h"

using namespace board;

namespace {

TEST(BoardRules, ChipPulseAndSpiTables)
{
    const struct { UCHAR byte; Chip chip; } chips[] = {
        {0x30, Chip::TZ810}, {0x31, Chip::TZ810}, {0x34, Chip::TZ820},
        {0x2F, Chip::Unknown}, {0x32, Chip::Unknown}, {0x35, Chip::Unknown}};
    for (const auto &c : chips)
        EXPECT_EQ(ChipFromDeviceIdByte(c.byte), c.chip) << int(c.byte);

    const struct { unsigned ns; int code; } pulses[] = {
        {30, 0}, {60, 1}, {450, 14}, {0, -1}, {29, -1}, {45, -1}, {480, -1}, {451, -1}};
    for (const auto &p : pulses) {
        const std::optional<UCHAR> code = PulseCodeFromNs(p.ns);
        EXPECT_EQ(code ? int(*code) : -1, p.code) << p.ns;
        if (code) {
            EXPECT_EQ(PulseNsFromRegister(PulseRegisterValue(*code)), p.ns);
        }
    }
    EXPECT_EQ(PulseRegisterValue(4), 0x44);
    EXPECT_EQ(PulseNsFromRegister(0xCF), 480u);  // only bits 0-3 count

    EXPECT_EQ(SpiModeCode(false, false), 0u);
    EXPECT_EQ(SpiModeCode(false, true), 1u);
    EXPECT_EQ(SpiModeCode(true, false), 2u);
    EXPECT_EQ(SpiModeCode(true, true), 3u);
    EXPECT_EQ(ArmValue(Trigger::Level), 0xE2);
    EXPECT_EQ(ArmValue(Trigger::Edge), 0xEA);
}

TEST(BoardRules, BlockCodesAndChecks)
{
    const struct { Space space; bool write; Width width; ULONG code; } codes[] = {
        {Space::Io, false, Width::Byte, 0x10},  {Space::Io, false, Width::Word, 0x11},
        {Space::Io, false, Width::DoubleWord, 0x12}, {Space::Io, true, Width::Byte, 0x14},
        {Space::Io, true, Width::DoubleWord, 0x16},  {Space::Mem, false, Width::Byte, 0x18},
        {Space::Mem, false, Width::DoubleWord, 0x1A}, {Space::Mem, true, Width::Byte, 0x1C},
        {Space::Mem, true, Width::DoubleWord, 0x1E}};
    for (const auto &c : codes)
        EXPECT_EQ(AccessCode(c.space, c.write, c.width), c.code);

    const struct { Space space; Width width; std::uint32_t address, length; BlockCheck check; } checks[] = {
        {Space::Io, Width::Byte, 1, 0x8000, BlockCheck::Ok},
        {Space::Io, Width::Byte, 0, 0x8001, BlockCheck::TooLong},
        {Space::Io, Width::Word, 2, 6, BlockCheck::Ok},
        {Space::Io, Width::Word, 1, 2, BlockCheck::Misaligned},
        {Space::Io, Width::Word, 2, 3, BlockCheck::Misaligned},
        {Space::Io, Width::DoubleWord, 2, 4, BlockCheck::Misaligned},
        {Space::Io, Width::DoubleWord, 4, 6, BlockCheck::Misaligned},
        {Space::Io, Width::DoubleWord, 0x10004, 8, BlockCheck::Ok},  // low 16 bits
        {Space::Mem, Width::Word, 0, 2, BlockCheck::WidthNotAllowed},
        {Space::Mem, Width::Byte, 0x7FFE, 1, BlockCheck::Ok},
        {Space::Mem, Width::Byte, 0x7FFF, 0, BlockCheck::Ok},
        {Space::Mem, Width::Byte, 0x7FFF, 1, BlockCheck::PastWindow},
        {Space::Mem, Width::Byte, 0, 0x8000, BlockCheck::PastWindow},
        {Space::Mem, Width::DoubleWord, 2, 4, BlockCheck::Misaligned}};
    for (const auto &c : checks)
        EXPECT_EQ(CheckBlock(c.space, c.width, c.address, c.length), c.check)
            << c.address << "+" << c.length;
}

TEST(BoardRules, IdentityBlockAndGuard)
{
    const Identity id{0x1A2B, 0x5831, 0x07, 0x3C4D, 0x0E0F};
    const IdentityBlock b = EncodeIdentity(id);
    const IdentityBlock expected = {0x78, 0, 0, 0, 0x2B, 0x1A, 0x31, 0x58, 0x07, 0, 0, 0x10,
                                    0x4D, 0x3C, 0x0F, 0x0E};
    EXPECT_EQ(b, expected);
    EXPECT_TRUE(HasIdentityHeader(b));
    IdentityBlock blank;
    blank.fill(0xFF);
    EXPECT_FALSE(HasIdentityHeader(blank));
    EXPECT_TRUE(DecodeIdentity(b) == id);
    EXPECT_TRUE(DecodeIdentity(blank) == (Identity{0xFFFF, 0xFFFF, 0xFF, 0xFFFF, 0xFFFF}));

    EXPECT_EQ(AssessIdentity(id), IdentityRisk::None);
    EXPECT_EQ(AssessIdentity({0xFFFF, 0xFFFF, 0, 0, 0}), IdentityRisk::Invisible);
    EXPECT_EQ(AssessIdentity({0xFFFF, 0x5834, 0, 0, 0}), IdentityRisk::None);
    EXPECT_EQ(AssessIdentity({0x7A5D, 0x5835, 0, 0, 0}), IdentityRisk::UnknownDevice);}

// What tzctl's command table cannot see: the EEPROM's write pauses, where a
// failing block stops, and the order of the flash calls.
TEST(BoardSim, PausesFailuresAndFlashOrder)
{
    DeviceLibrary lib;
    unsigned paused = 0;
    const Pause pause = [&](unsigned ms) { paused += ms; };
    tzsim::Reset("fault TZ810mWriteI2C = call 10\n");
    tzsim::BindTable(lib);
    lib.TZ810mOpenDevice(0, 0, 1, 0);
    EXPECT_TRUE(WriteBytesChecked(lib, 0, ByteSpace::Eeprom, 0x40, {1, 2}, pause).ok());
    EXPECT_EQ(paused, 2 * kEepromWritePauseMs);
    paused = 0;
    const Outcome w = WriteIdentityBlock(lib, 0, EncodeIdentity({}), pause);
    EXPECT_EQ(w.kind, Outcome::CallFailed);
    EXPECT_STREQ(w.call, "TZ810mWriteI2C");
    EXPECT_EQ(w.address, 7u);
    EXPECT_EQ(paused, 7 * kEepromWritePauseMs);

    std::vector<FlashStep> steps;
    lib.TZ780mLockFlash(0, 1);
    tzsim::ClearCalls();
    ASSERT_TRUE(WriteFlash(lib, std::vector<std::uint8_t>(0x2000, 0x5A), {},
                           [&](FlashStep s, std::uint32_t, std::uint32_t) { steps.push_back(s); })
                    .ok());
    EXPECT_EQ(tzsim::Calls().front().name, "TZ780mLockFlash");
    EXPECT_EQ(steps.size(), 18u);
    EXPECT_EQ(steps.front(), FlashStep::Erase);
    EXPECT_EQ(steps.back(), FlashStep::Verify);
    // The dialog's erase: no blank check, so no reads.
    tzsim::ClearCalls();
    EXPECT_TRUE(EraseFlash(lib, false).ok());
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 0u);
}

}  // namespace
