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
    EXPECT_EQ(AssessIdentity({0x7A5D, 0x5835, 0, 0, 0}), IdentityRisk::UnknownDevice);

}

class BoardSim : public ::testing::Test {
protected:
    void Start(const std::string &config = "")
    {
        tzsim::Reset(config);
        tzsim::BindTable(lib);
    }
    void SetUp() override { Start(); }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const tzsim::Call &c : tzsim::Calls())
            names.push_back(c.name);
        return names;
    }
    DeviceLibrary lib;
    unsigned paused = 0;
    Pause pause = [this](unsigned ms) { paused += ms; };
};

TEST_F(BoardSim, OpenAndProbeMakeTheDialogsCalls)
{
    Card card;
    ASSERT_EQ(OpenCard(lib, 0, card), OpenStatus::Opened);
    EXPECT_EQ(card.chip, Chip::TZ820);
    const std::vector<tzsim::Call> calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0, 0, 1, 0}));
    EXPECT_EQ(calls[1].args, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(calls[2].name, "TZ810mCloseDevice");
    EXPECT_EQ(calls[3].args, (std::vector<std::uint32_t>{0, 1, 1, 0}));
    EXPECT_EQ(OpenCard(lib, 1, card), OpenStatus::Opened);
    EXPECT_EQ(card.chip, Chip::TZ810);
    EXPECT_EQ(OpenCard(lib, 2, card), OpenStatus::NoCard);

    Start("card 3 = TZ810\ndid 3 = 0x5835\n");
    EXPECT_EQ(OpenCard(lib, 3, card), OpenStatus::Unrecognised);
    EXPECT_EQ(card.deviceIdLow, 0x35);
    EXPECT_FALSE(tzsim::IsOpen(3));
    tzsim::ClearCalls();
    EXPECT_EQ(ProbeChip(lib, 3), Chip::Unknown);
    EXPECT_EQ(ProbeChip(lib, 2), std::nullopt);
    EXPECT_EQ(Names(), (std::vector<std::string>{"TZ810mOpenDevice", "TZ810mReadConfig",
                                                 "TZ810mCloseDevice", "TZ810mOpenDevice",
                                                 "TZ810mCloseDevice"}));

    Start();
    const std::optional<CardSummary> s = ProbeCard(lib, 0);
    ASSERT_TRUE(s);
    EXPECT_EQ(*s->vid, 0x7A5D);
    EXPECT_EQ(*s->did, 0x5834);
    EXPECT_EQ(*s->ioBase, 0xD000u);
    EXPECT_EQ(*s->memBase, 0xFEB00000u);
    EXPECT_EQ(*s->intLine, 0x10u);
    EXPECT_FALSE(tzsim::IsOpen(0));
    EXPECT_FALSE(ProbeCard(lib, 1)->memBase);
    EXPECT_FALSE(ProbeCard(lib, 5));
    EXPECT_EQ(Names().back(), "TZ810mCloseDevice");
}

TEST_F(BoardSim, IdentityAndCheckedBytes)
{
    ASSERT_TRUE(lib.TZ810mOpenDevice(0, 0, 1, 0) != TZ_INVALID_HANDLE);
    const IdentityBlock b = EncodeIdentity({0x1234, 0x5831, 2, 0x5678, 0x9ABC});
    ASSERT_TRUE(WriteIdentityBlock(lib, 0, b, pause).ok());
    EXPECT_EQ(paused, 32 * kEepromWritePauseMs);
    IdentityBlock back{};
    ASSERT_TRUE(ReadIdentityBlock(lib, 0, back).ok());
    EXPECT_EQ(back, b);
    Identity now;
    ASSERT_TRUE(ReadConfigIdentity(lib, 0, now).ok());
    EXPECT_TRUE(now == (Identity{0x7A5D, 0x5834, 1, 0x7A5D, 0x0001}));

    paused = 0;
    EXPECT_TRUE(WriteBytesChecked(lib, 0, ByteSpace::Eeprom, 0x40, {1, 2}, pause).ok());
    EXPECT_EQ(paused, 2 * kEepromWritePauseMs);
    EXPECT_EQ(tzsim::EepromByte(0, 0x41), 2);

    Start("fault TZ810mWriteI2C = call 10\nfault TZ810mReadI2C = call 3\n");
    lib.TZ810mOpenDevice(0, 0, 1, 0);
    paused = 0;
    Outcome w = WriteIdentityBlock(lib, 0, b, pause);
    EXPECT_EQ(w.kind, Outcome::CallFailed);
    EXPECT_STREQ(w.call, "TZ810mWriteI2C");
    EXPECT_EQ(w.address, 9u);
    EXPECT_EQ(paused, 9 * kEepromWritePauseMs);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteI2C"), 10u);
    w = ReadIdentityBlock(lib, 0, back);
    EXPECT_EQ(w.address, 2u);
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C"), 3u);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadBytes(lib, 0, ByteSpace::Config, 0x100, 1, bytes).address, 0x100u);
}

TEST_F(BoardSim, FlashWriteVerifyErase)
{
    lib.TZ810mOpenDevice(0, 0, 1, 0);
    EXPECT_TRUE(IdentifyFlash(lib, 0).identified);
    std::vector<std::uint8_t> image(kFlashSize + 1, 0x5A);
    EXPECT_EQ(WriteFlash(lib, image).kind, Outcome::TooLarge);
    EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), 0u);

    image.assign(0x2000, 0x5A);
    lib.TZ780mLockFlash(0, 1);
    tzsim::ClearCalls();
    std::vector<FlashStep> steps;
    ASSERT_TRUE(WriteFlash(lib, image, {}, [&](FlashStep s, std::uint32_t, std::uint32_t) {
                    steps.push_back(s);
                }).ok());
    EXPECT_EQ(Names()[0], "TZ780mLockFlash");
    EXPECT_EQ(tzsim::CountCalls("TZ780mEarseFlash"), 1u);
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 16u);
    EXPECT_EQ(steps.size(), 18u);
    EXPECT_EQ(steps.front(), FlashStep::Erase);
    EXPECT_EQ(steps.back(), FlashStep::Verify);
    EXPECT_EQ(tzsim::FlashByte(0x1FFF), 0x5A);
    EXPECT_TRUE(VerifyFlash(lib, image).ok());
    // The dialog's erase: no blank check, so no reads.
    EXPECT_TRUE(EraseFlash(lib, false).ok());
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 32u);
    EXPECT_EQ(tzsim::FlashByte(0x1FFF), 0xFF);
}

}  // namespace
