// The board layer: its rules as tables, its operations against the simulator.
#include <gtest/gtest.h>
#include <utility>
#include "board.h"
#include "sim_control.h"

using namespace board;

namespace {

TEST(BoardRules, ChipPulseAndSpiTables)
{
    const struct {
        UCHAR byte;
        Chip chip;
    } chips[] = {{0x30, Chip::TZ810},   {0x31, Chip::TZ810},   {0x34, Chip::TZ820},
                 {0x2F, Chip::Unknown}, {0x32, Chip::Unknown}, {0x35, Chip::Unknown}};

    for (const auto &c : chips)
        EXPECT_EQ(ChipFromDeviceIdByte(c.byte), c.chip) << int(c.byte);

    const struct {
        unsigned ns;
        int code;
    } pulses[] = {{30, 0}, {60, 1}, {450, 14}, {0, -1}, {29, -1}, {45, -1}, {480, -1}, {451, -1}};

    for (const auto &p : pulses) {
        const std::optional<UCHAR> code = PulseCodeFromNs(p.ns);
        EXPECT_EQ(code ? int(*code) : -1, p.code) << p.ns;
        EXPECT_TRUE(!code || PulseNsFromRegister(PulseRegisterValue(*code)) == p.ns) << p.ns;
    }
    EXPECT_EQ(PulseRegisterValue(4), 0x44);
    EXPECT_EQ(PulseNsFromRegister(0xCF), 480u);  // only bits 0-3 count
    for (unsigned m = 0; m < 4; ++m)
        EXPECT_EQ(SpiModeCode(m & 2, m & 1), m);
    EXPECT_TRUE(ArmValue(Trigger::Level) == 0xE2 && ArmValue(Trigger::Edge) == 0xEA);
}

TEST(BoardRules, BlockCodesAndChecks)
{
    constexpr Space Io = Space::Io, Mem = Space::Mem;
    constexpr Width B = Width::Byte, W = Width::Word, D = Width::DoubleWord;

    const struct {
        Space space;
        bool write;
        Width width;
        ULONG code;
    } codes[] = {{Io, false, B, 0x10},  {Io, false, W, 0x11}, {Io, false, D, 0x12},
                 {Io, true, B, 0x14},   {Io, true, D, 0x16},  {Mem, false, B, 0x18},
                 {Mem, false, D, 0x1A}, {Mem, true, B, 0x1C}, {Mem, true, D, 0x1E}};

    for (const auto &c : codes)
        EXPECT_EQ(AccessCode(c.space, c.write, c.width), c.code);
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
                  {Io, D, 0xFFF8, 8, C::Ok},
                  {Io, B, 0xFFF0, 0x11, C::PastIoSpace},
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
    EXPECT_TRUE(HasIdentityHeader(b) && !HasIdentityHeader(blank));
    EXPECT_EQ(EncodeIdentity(DecodeIdentity(b)), b);
    EXPECT_EQ(EncodeIdentity(DecodeIdentity(blank)),
              EncodeIdentity({0xFFFF, 0xFFFF, 0xFF, 0xFFFF, 0xFFFF}));
    using R = IdentityRisk;

    const struct {
        std::uint16_t vid, did;
        Chip card;
        IdentityRisk risk;
    } risks[] = {{0x1A2B, 0x5831, Chip::TZ810, R::None},
                 {0x7A5D, 0x5834, Chip::Unknown, R::None},
                 {0xFFFF, 0x5834, Chip::TZ820, R::Invisible},
                 {0xFFFF, 0xFFFF, Chip::Unknown, R::Invisible},
                 {0x7A5D, 0x5835, Chip::TZ810, R::UnknownDevice},
                 {0x7A5D, 0x5834, Chip::TZ810, R::OtherChip},
                 {0x7A5D, 0x5830, Chip::TZ820, R::OtherChip}};

    for (const auto &r : risks) {
        SCOPED_TRACE(testing::Message() << std::hex << r.vid << " " << r.did);
        EXPECT_EQ(AssessIdentity({r.vid, r.did, 0, 0, 0}, r.card), r.risk);
    }
    // Without its header the card loads its chip's own values, whatever follows.
    EXPECT_EQ(AssessIdentityBlock(blank, Chip::TZ810), R::None);
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
    EXPECT_TRUE(w.kind == Outcome::CallFailed && w.address == 7u) << w.address;
    EXPECT_STREQ(w.call, "TZ810mWriteI2C");
    EXPECT_EQ(paused, 7 * kEepromWritePauseMs);
    std::vector<FlashStep> steps;
    lib.TZ780mLockFlash(0, 1);
    tzsim::ClearCalls();
    const auto step = [&](FlashStep s, std::uint32_t, std::uint32_t) {
        steps.push_back(s);
    };
    // A library may answer 0 after a good unlock and write: the read-back decides.
    static decltype(lib.TZ780mWriteFlash) write = lib.TZ780mWriteFlash;
    lib.TZ780mWriteFlash = [](ULONG unit, ULONG at, PVOID data, ULONG size) -> BOOL {
        write(unit, at, data, size);
        return 0;
    };
    static decltype(lib.TZ780mLockFlash) lock = lib.TZ780mLockFlash;
    lib.TZ780mLockFlash = [](ULONG unit, ULONG locked) -> BOOL {
        lock(unit, locked);
        return 0;
    };
    ASSERT_TRUE(WriteFlash(lib, std::vector<std::uint8_t>(0x2000, 0x5A), {}, step).ok());
    EXPECT_EQ(tzsim::Calls().front().name, "TZ780mLockFlash");
    EXPECT_TRUE(steps.size() == 18u && steps.front() == FlashStep::Erase &&
                steps.back() == FlashStep::Verify);
    // The dialog's erase: no blank check, so no reads.
    tzsim::ClearCalls();
    EXPECT_TRUE(EraseFlash(lib, false).ok());
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 0u);
}

}  // namespace
