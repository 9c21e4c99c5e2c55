// The board layer: its rules as tables, its operations against the simulator.
#include <gtest/gtest.h>
#include <utility>
#include "board.h"
#include "sim_control.h"

using namespace board;

namespace {

TEST(BoardRules, ChipPulseAndSpiTables)
{
    // clang-format off
    const struct {
        UCHAR byte;
        Chip chip;
    } chips[] = {
        {0x2F, Chip::Unknown},
        {0x30, Chip::TZ810},
        {0x31, Chip::TZ810},
        {0x32, Chip::Unknown},
        {0x34, Chip::TZ820},
        {0x35, Chip::Unknown},
    };

    // clang-format on
    for (const auto &c : chips)
        EXPECT_EQ(ChipFromDeviceIdByte(c.byte), c.chip) << int(c.byte);

    // clang-format off
    const struct {
        unsigned ns;
        int code;  // -1: refused
    } pulses[] = {
        {0, -1},
        {29, -1},
        {30, 0},
        {45, -1},
        {60, 1},
        {450, 14},
        {451, -1},
        {480, -1},
    };

    // clang-format on
    for (const auto &p : pulses) {
        const std::optional<UCHAR> code = PulseCodeFromNs(p.ns);
        EXPECT_EQ(code ? int(*code) : -1, p.code) << p.ns;
        if (code) {
            EXPECT_EQ(PulseNsFromRegister(PulseRegisterValue(*code)), p.ns);
        }
    }
    EXPECT_EQ(PulseRegisterValue(4), 0x44);
    EXPECT_EQ(PulseNsFromRegister(0xCF), 480u);  // only bits 0-3 count
    for (unsigned m = 0; m < 4; ++m)
        EXPECT_EQ(SpiModeCode(m & 2, m & 1), m);
    EXPECT_EQ(ArmValue(Trigger::Level), 0xE2);
    EXPECT_EQ(ArmValue(Trigger::Edge), 0xEA);
}

TEST(BoardRules, BlockChecks)
{
    constexpr Space Io = Space::Io, Mem = Space::Mem;
    constexpr Width B = Width::Byte, W = Width::Word, D = Width::DoubleWord;
    using C = BlockCheck;

    const struct {
        Space space;
        Width width;
        std::uint32_t address, length;
        BlockCheck check;
    } checks[] = {{Io, B, 1, 0x8000, C::Ok},
                  {Io, B, 0, 0x8001, C::TooLong},
                  {Io, W, 2, 6, C::Ok},
                  {Io, W, 1, 2, C::Misaligned},
                  {Io, W, 2, 3, C::Misaligned},
                  {Io, D, 2, 4, C::Misaligned},
                  {Io, D, 4, 6, C::Misaligned},
                  {Io, D, 0x10004, 8, C::Ok},  // low 16 bits
                  {Mem, W, 0, 2, C::WidthNotAllowed},
                  {Mem, B, 0x7FFE, 1, C::Ok},
                  {Mem, B, 0x7FFF, 0, C::Ok},
                  {Mem, B, 0x7FFF, 1, C::PastWindow},
                  {Mem, B, 0, 0x8000, C::PastWindow},
                  {Mem, D, 2, 4, C::Misaligned}};

    for (const auto &c : checks)
        EXPECT_EQ(CheckBlock(c.space, c.width, c.address, c.length), c.check)
            << c.address << "+" << c.length;
}

TEST(BoardRules, IdentityBlockAndGuard)
{
    const Identity id{0x1A2B, 0x5831, 0x07, 0x3C4D, 0x0E0F};
    const IdentityBlock b = EncodeIdentity(id);
    EXPECT_EQ(b, (IdentityBlock{0x78, 0, 0, 0, 0x2B, 0x1A, 0x31, 0x58, 0x07, 0, 0, 0x10, 0x4D, 0x3C,
                                0x0F, 0x0E}));
    IdentityBlock blank;
    blank.fill(0xFF);
    EXPECT_TRUE(HasIdentityHeader(b));
    EXPECT_FALSE(HasIdentityHeader(blank));
    EXPECT_EQ(EncodeIdentity(DecodeIdentity(b)), b);
    EXPECT_EQ(EncodeIdentity(DecodeIdentity(blank)),
              EncodeIdentity({0xFFFF, 0xFFFF, 0xFF, 0xFFFF, 0xFFFF}));
    EXPECT_EQ(AssessIdentity(id), IdentityRisk::None);
    EXPECT_EQ(AssessIdentity({0xFFFF, 0x5834, 0, 0, 0}), IdentityRisk::None);
    EXPECT_EQ(AssessIdentity({0xFFFF, 0xFFFF, 0, 0, 0}), IdentityRisk::Invisible);
    EXPECT_EQ(AssessIdentity({0x7A5D, 0x5835, 0, 0, 0}), IdentityRisk::UnknownDevice);
}

// What tzctl's table cannot see: EEPROM write pauses, where a failing block stops, flash call
// order.
TEST(BoardSim, PausesFailuresAndFlashOrder)
{
    DeviceLibrary lib;
    unsigned paused = 0;
    const Pause pause = [&](unsigned ms) {
        paused += ms;
    };
    tzsim::Reset("fault TZ810mWriteI2C = call 10\n");
    tzsim::BindTable(lib);
    lib.TZ810mOpenDevice(0, 0, 1, 0);
    EXPECT_TRUE(WriteBytesChecked(lib, 0, ByteSpace::Eeprom, 0x40, {1, 2}, pause).ok());
    EXPECT_EQ(std::exchange(paused, 0), 2 * kEepromWritePauseMs);
    const Outcome w = WriteIdentityBlock(lib, 0, EncodeIdentity({}), pause);
    EXPECT_EQ(w.kind, Outcome::CallFailed);
    EXPECT_EQ(w.address, 7u);
    EXPECT_STREQ(w.call, "TZ810mWriteI2C");
    EXPECT_EQ(paused, 7 * kEepromWritePauseMs);
    std::vector<FlashStep> steps;
    lib.TZ780mLockFlash(0, 1);
    tzsim::ClearCalls();
    const auto step = [&](FlashStep s, std::uint32_t, std::uint32_t) {
        steps.push_back(s);
    };
    ASSERT_TRUE(WriteFlash(lib, std::vector<std::uint8_t>(0x2000, 0x5A), {}, step).ok());
    EXPECT_EQ(tzsim::Calls().front().name, "TZ780mLockFlash");
    ASSERT_EQ(steps.size(), 18u);
    EXPECT_EQ(steps.front(), FlashStep::Erase);
    EXPECT_EQ(steps.back(), FlashStep::Verify);
    // The dialog's erase: no blank check, so no reads.
    tzsim::ClearCalls();
    EXPECT_TRUE(EraseFlash(lib, false).ok());
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 0u);
}

}  // namespace
