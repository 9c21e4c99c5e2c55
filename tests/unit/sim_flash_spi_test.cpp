// The board's SPI bus and its 25VF512 flash.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim_control.h"

namespace {

class SimFlash : public ::testing::Test {
protected:
    DeviceLibrary lib;

    void SetUp() override { Start(""); }
    void Start(const std::string &config)
    {
        tzsim::Reset(config);
        tzsim::BindTable(lib);
        ASSERT_NE(lib.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);  // the TZ810
    }
    std::vector<std::uint8_t> Exchange(std::vector<std::uint8_t> out, ULONG readLength, BOOL *ok = nullptr)
    {
        std::vector<std::uint8_t> in(readLength + 1, 0x00);
        BOOL r = lib.TZ810StreamSPI(1, static_cast<ULONG>(out.size()), out.data(), &readLength, in.data());
        if (ok) *ok = r;
        return in;
    }
};

TEST_F(SimFlash, SetStreamAcceptsModesZeroToThree)
{
    for (ULONG mode = 0; mode < 4; ++mode) EXPECT_TRUE(lib.TZ810SetStream(1, mode)) << mode;
    EXPECT_FALSE(lib.TZ810SetStream(1, 4));
    EXPECT_FALSE(lib.TZ810SetStream(1, 0xFFFFFFFF));
}

TEST_F(SimFlash, ReadIdRepliesMakerAndDeviceInTurnOtherCommandsFloatHigh)
{
    BOOL ok = 0;
    auto id = Exchange({0x90, 0x00, 0x00, 0x00}, 5, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(id, (std::vector<std::uint8_t>{0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x00}));
    auto other = Exchange({0x9F, 0x00}, 3);
    EXPECT_EQ(other, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x00}));
    // Nothing sent, nothing read: both are legal exchanges.
    EXPECT_EQ(Exchange({}, 2), (std::vector<std::uint8_t>{0xFF, 0xFF, 0x00}));
    EXPECT_EQ(Exchange({0x90}, 0), (std::vector<std::uint8_t>{0x00}));
}

TEST_F(SimFlash, AbsentFlashNeitherIdentifiesNorAnswersFlashCalls)
{
    Start("flash = absent\n");
    EXPECT_EQ(Exchange({0x90, 0, 0, 0}, 4), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    std::uint8_t buf[4] = {};
    EXPECT_FALSE(lib.TZ780mReadFlash(0, 0, buf, 4));
    EXPECT_FALSE(lib.TZ780mWriteFlash(0, 0, buf, 4));
    EXPECT_FALSE(lib.TZ780mEarseFlash(0, 0, 0x10000));
    EXPECT_FALSE(lib.TZ780mLockFlash(0, 0));
}

TEST_F(SimFlash, ProgrammingOnlyClearsBitsAndEraseSetsThemAgain)
{
    std::uint8_t buf[4] = {0xF0, 0x0F, 0x00, 0xAA};
    ASSERT_EQ(tzsim::FlashByte(0x1234), 0xFF);
    ASSERT_TRUE(lib.TZ780mWriteFlash(0, 0x1234, buf, 4));
    std::uint8_t second[4] = {0x3C, 0x3C, 0xFF, 0x55};
    ASSERT_TRUE(lib.TZ780mWriteFlash(0, 0x1234, second, 4));
    std::uint8_t in[6] = {};
    ASSERT_TRUE(lib.TZ780mReadFlash(0, 0x1233, in, 6));
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 6),
              (std::vector<std::uint8_t>{0xFF, 0x30, 0x0C, 0x00, 0x00, 0xFF}));

    ASSERT_TRUE(lib.TZ780mEarseFlash(0, 0x1235, 2));
    EXPECT_EQ(tzsim::FlashByte(0x1234), 0x30);
    EXPECT_EQ(tzsim::FlashByte(0x1235), 0xFF);
    EXPECT_EQ(tzsim::FlashByte(0x1236), 0xFF);
    EXPECT_EQ(tzsim::FlashByte(0x1237), 0x00);
    ASSERT_TRUE(lib.TZ780mEarseFlash(0, 0, 0x10000));
    for (unsigned a : {0x0000u, 0x1234u, 0x1237u, 0xFFFFu}) EXPECT_EQ(tzsim::FlashByte(a), 0xFF) << a;
}

TEST_F(SimFlash, FlashCallsStayInsideSixtyFourKibAndNameUnitZero)
{
    std::vector<std::uint8_t> buf(0x10001, 0x00);
    EXPECT_TRUE(lib.TZ780mReadFlash(0, 0, buf.data(), 0x10000));
    EXPECT_EQ(buf[0xFFFF], 0xFF);
    buf.assign(buf.size(), 0x00);
    EXPECT_TRUE(lib.TZ780mWriteFlash(0, 0xFFFF, buf.data(), 1));
    EXPECT_EQ(tzsim::FlashByte(0xFFFF), 0x00);
    EXPECT_FALSE(lib.TZ780mReadFlash(0, 0xFFFF, buf.data(), 2));
    EXPECT_FALSE(lib.TZ780mWriteFlash(0, 0, buf.data(), 0x10001));
    EXPECT_FALSE(lib.TZ780mEarseFlash(0, 0x8000, 0x8001));
    EXPECT_FALSE(lib.TZ780mReadFlash(0, 0x10000, buf.data(), 0));
    EXPECT_FALSE(lib.TZ780mReadFlash(0, 0xFFFFFFFF, buf.data(), 2));  // no wrap-around
    EXPECT_TRUE(lib.TZ780mWriteFlash(0, 0, buf.data(), 0));           // empty image
    EXPECT_FALSE(lib.TZ780mReadFlash(1, 0, buf.data(), 1));
}

TEST_F(SimFlash, LockRefusesWriteAndEraseUntilUnlocked)
{
    std::uint8_t zero = 0x00, in = 0;
    ASSERT_TRUE(lib.TZ780mLockFlash(0, 1));
    EXPECT_FALSE(lib.TZ780mWriteFlash(0, 0x10, &zero, 1));
    EXPECT_FALSE(lib.TZ780mEarseFlash(0, 0, 0x10000));
    EXPECT_TRUE(lib.TZ780mReadFlash(0, 0x10, &in, 1));
    EXPECT_EQ(tzsim::FlashByte(0x10), 0xFF);
    EXPECT_FALSE(lib.TZ780mLockFlash(0, 2));
    ASSERT_TRUE(lib.TZ780mLockFlash(0, 0));
    EXPECT_TRUE(lib.TZ780mWriteFlash(0, 0x10, &zero, 1));
    EXPECT_EQ(tzsim::FlashByte(0x10), 0x00);
}

TEST_F(SimFlash, WrittenImageIsRecordedWhole)
{
    std::vector<std::uint8_t> image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    tzsim::ClearCalls();
    ASSERT_TRUE(lib.TZ780mWriteFlash(0, 0, image.data(), static_cast<ULONG>(image.size())));
    auto calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0, 0, 0x10000}));
    EXPECT_EQ(calls[0].data, image);
    EXPECT_EQ(tzsim::FlashByte(0xABCD), static_cast<std::uint8_t>(0xABCD * 7));
}

}  // namespace
