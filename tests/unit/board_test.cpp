// The board layer where neither the dialog's panels nor tzctl's table reach: the identity block's
// frame and guard, EEPROM write pauses, where a failing block stops, flash call order.
#include <gtest/gtest.h>
#include "board.h"
#include "card_session.h"

using namespace board;

namespace {

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

// Sector bounds either side of an address, and the ranges the chip holds.
TEST(BoardRules, FlashSectorsAndRanges)
{
    for (const auto &[address, below, above, on] : {std::tuple{0x0u, 0x0u, 0x1000u, true},
                                                    {0x1800u, 0x1000u, 0x2000u, false},
                                                    {0x2000u, 0x2000u, 0x3000u, true},
                                                    {0xFFFFu, 0xF000u, 0x10000u, false}}) {
        EXPECT_EQ(NearestSectors(address).below, below) << address;
        EXPECT_EQ(NearestSectors(address).above, above) << address;
        EXPECT_EQ(OnSector(address), on) << address;
    }
    for (const auto &[address, length, in] : {std::tuple{0u, 0x10000u, true},
                                              {0xFFFFu, 1u, true},
                                              {0xFFFFu, 2u, false},
                                              {0x1000u, 0u, false},
                                              {0x10000u, 1u, false},
                                              {1u, 0xFFFFFFFFu, false}})
        EXPECT_EQ(InFlash(address, length), in) << address << "+" << length;
    for (const auto &[address, length, sectors] :
         {std::tuple{0x1000u, 0x1000u, 1u}, {0x1800u, 0x1000u, 2u}, {0u, 0x10000u, 16u}})
        EXPECT_EQ(SectorsCovering(address, length), sectors) << address << "+" << length;
    // Two reads of the chip compared outside a range: only whole chips are.
    const std::vector<std::uint8_t> chip(0x10000), half(0x8000);
    EXPECT_EQ(CompareOutside(chip, half, 0, 0x1000).kind, Outcome::TooLarge);
}

// A region that is not whole sectors is refused before any call.
TEST(BoardSim, FlashRegionOffSectorsRefused)
{
    DeviceLibrary lib;
    tzsim::Reset();
    tzsim::BindTable(lib);
    const std::vector<std::uint8_t> sector(0x1000, 0);
    EXPECT_EQ(WriteFlashAt(lib, 0x800, sector).kind, Outcome::TooLarge);
    EXPECT_EQ(WriteFlashAt(lib, 0x1000, {1, 2}).kind, Outcome::TooLarge);
    EXPECT_EQ(EraseFlashAt(lib, 0xF000, 0x2000, false).kind, Outcome::TooLarge);
    EXPECT_EQ(tzsim::Calls().size(), 0u);
}

TEST(BoardSim, EepromPausesAndFlashWriteJudgedByItsReadBack)
{
    DeviceLibrary lib;
    unsigned paused = 0;
    const Pause pause = [&](unsigned ms) {
        paused += ms;
    };
    tzsim::Reset();
    tzsim::BindTable(lib);
    Card card;
    EXPECT_EQ(OpenCard(lib, 0, card), OpenStatus::Opened);
    EXPECT_TRUE(WriteBytesChecked(card, ByteSpace::Eeprom, 0x40, {1, 2}, pause).ok());
    EXPECT_EQ(paused, 2 * kEepromWritePauseMs);
    lib.TZ780mLockFlash(0, 1);
    tzsim::ClearCalls();
    std::vector<FlashStep> steps;
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
    EXPECT_EQ(steps.front(), FlashStep::Erase);
    EXPECT_EQ(steps.back(), FlashStep::Verify);
}

}  // namespace
