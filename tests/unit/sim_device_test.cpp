// The simulated cards through the library's own functions: open and close,
// resources, configuration space, I/O, block access, MEM window and I2C.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim_control.h"

namespace {

constexpr ULONG kCard820 = 0;  // default bench: TZ820 at 0, TZ810 at 1
constexpr ULONG kCard810 = 1;

class SimDevice : public ::testing::Test {
protected:
    DeviceLibrary lib;

    void SetUp() override { Start(""); }
    void Start(const std::string &config)
    {
        tzsim::Reset(config);
        tzsim::BindTable(lib);
    }
    bool Open(ULONG index, BOOL mem = 0) { return lib.TZ810mOpenDevice(index, mem, 1, 0) != TZ_INVALID_HANDLE; }
    ULONG IoBase(ULONG index)
    {
        ULONG base = 0;
        EXPECT_TRUE(lib.TZ810mGetIoBaseAddr(index, &base));
        return base;
    }
    ULONG MemBase(ULONG index)
    {
        ULONG base = 0;
        EXPECT_TRUE(lib.TZ820mGetMemBaseAddr(index, &base));
        return base;
    }
    UCHAR Config(ULONG index, ULONG offset)
    {
        UCHAR v = 0;
        EXPECT_TRUE(lib.TZ810mReadConfig(index, offset, &v));
        return v;
    }
};

TEST_F(SimDevice, OpenFailsOnlyForAbsentIndicesAndCloseIsHarmless)
{
    for (ULONG index : {2u, 3u, 15u, 16u, 0xFFFFFFFFu})
        EXPECT_EQ(lib.TZ810mOpenDevice(index, 0, 1, 0), TZ_INVALID_HANDLE) << index;
    lib.TZ810mCloseDevice(0);   // never opened
    lib.TZ810mCloseDevice(99);  // out of range
    for (ULONG index : {kCard820, kCard810}) {
        HANDLE h = lib.TZ810mOpenDevice(index, 0, 1, 0);
        EXPECT_NE(h, TZ_INVALID_HANDLE);
        EXPECT_NE(h, nullptr);
        EXPECT_TRUE(tzsim::IsOpen(index));
    }
    lib.TZ810mCloseDevice(kCard820);
    EXPECT_FALSE(tzsim::IsOpen(kCard820));
    EXPECT_TRUE(tzsim::IsOpen(kCard810));
}

TEST_F(SimDevice, EveryCardCallFailsWhileTheCardIsClosed)
{
    auto expectAllFail = [&](const char *when) {
        ULONG v = 0;
        UCHAR b = 0;
        std::uint8_t buf[8] = {};
        ULONG readLength = 4;
        EXPECT_FALSE(lib.TZ810mGetIntLine(0, &v)) << when;
        EXPECT_FALSE(lib.TZ810mGetIoBaseAddr(0, &v)) << when;
        EXPECT_FALSE(lib.TZ820mGetMemBaseAddr(0, &v)) << when;
        EXPECT_FALSE(lib.TZ810mReadConfig(0, 0, &b)) << when;
        EXPECT_FALSE(lib.TZ810mWriteConfig(0, 0x40, 1)) << when;
        EXPECT_FALSE(lib.TZ810mReadIoByte(0, 0x300, &b)) << when;
        EXPECT_FALSE(lib.TZ810mWriteIoByte(0, 0x300, 1)) << when;
        EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x10, 0x300, buf, 1)) << when;
        EXPECT_FALSE(lib.TZ810mReadI2C(0, 0x50, 0, &b)) << when;
        EXPECT_FALSE(lib.TZ810mWriteI2C(0, 0x50, 0, 1)) << when;
        EXPECT_FALSE(lib.TZ810SetStream(0, 0)) << when;
        EXPECT_FALSE(lib.TZ810StreamSPI(0, 1, buf, &readLength, buf)) << when;
        EXPECT_FALSE(lib.TZ810mSetIntRoutine(0, nullptr)) << when;
        // The flash answers while any card is open; none is.
        EXPECT_FALSE(lib.TZ780mReadFlash(0, 0, buf, 1)) << when;
        EXPECT_FALSE(lib.TZ780mLockFlash(0, 0)) << when;
        EXPECT_FALSE(lib.TZ780mEarseFlash(0, 0, 1)) << when;
    };
    expectAllFail("before open");
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x103u);
    ASSERT_TRUE(Open(0));
    lib.TZ810mCloseDevice(0);
    expectAllFail("after close");
}

TEST_F(SimDevice, ResourcesAreDistinctPerCardAndMemBaseIsTz820Only)
{
    ASSERT_TRUE(Open(kCard820));
    ASSERT_TRUE(Open(kCard810));
    ULONG line0 = 0, line1 = 0;
    EXPECT_TRUE(lib.TZ810mGetIntLine(kCard820, &line0));
    EXPECT_TRUE(lib.TZ810mGetIntLine(kCard810, &line1));
    EXPECT_NE(line0, line1);
    EXPECT_NE(IoBase(kCard820), IoBase(kCard810));
    EXPECT_LE(IoBase(kCard810) + 0x100, 0x10000u);
    ULONG mem = 0;
    EXPECT_TRUE(lib.TZ820mGetMemBaseAddr(kCard820, &mem));
    EXPECT_NE(mem, 0u);
    EXPECT_FALSE(lib.TZ820mGetMemBaseAddr(kCard810, &mem));
    EXPECT_FALSE(lib.TZ810mGetIntLine(kCard820, nullptr));
}

TEST_F(SimDevice, ConfiguredResourcesAndDriverVersionAreReported)
{
    Start("card 3 = TZ820\nio_base 3 = 0x6000\nmem_base 3 = 0xE0000000\nint_line 3 = 0x05\n"
          "version = 0x2a\n");
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x2au);
    EXPECT_EQ(lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);  // the default bench is gone
    ASSERT_TRUE(Open(3, 1));
    ULONG line = 0;
    EXPECT_TRUE(lib.TZ810mGetIntLine(3, &line));
    EXPECT_EQ(line, 0x05u);
    EXPECT_EQ(IoBase(3), 0x6000u);
    EXPECT_EQ(MemBase(3), 0xE0000000u);
    EXPECT_EQ(Config(3, 0x10), 0x01);  // BAR0 holds the I/O window
    EXPECT_EQ(Config(3, 0x11), 0x60);
}

TEST_F(SimDevice, ChipTypeByteAndIdentityComeFromTheFactoryEeprom)
{
    ASSERT_TRUE(Open(kCard820));
    ASSERT_TRUE(Open(kCard810));
    EXPECT_EQ(Config(kCard820, 0x02), 0x34);
    EXPECT_EQ(Config(kCard810, 0x02), 0x30);
    // The configuration identity mirrors the identity block of the 24C02.
    for (ULONG index : {kCard820, kCard810}) {
        EXPECT_EQ(tzsim::EepromByte(index, 0), 0x78);
        EXPECT_EQ(tzsim::EepromByte(index, 0x0B), 0x10);
        const std::pair<unsigned, unsigned> pairs[] = {{0x00, 0x04}, {0x01, 0x05}, {0x02, 0x06},
                                                       {0x03, 0x07}, {0x08, 0x08}, {0x2C, 0x0C},
                                                       {0x2D, 0x0D}, {0x2E, 0x0E}, {0x2F, 0x0F}};
        for (auto [cfg, eeprom] : pairs)
            EXPECT_EQ(Config(index, cfg), tzsim::EepromByte(index, eeprom)) << index << " " << cfg;
    }
}

TEST_F(SimDevice, ReadOnlyConfigBytesTakeTheWriteButKeepTheirValue)
{
    ASSERT_TRUE(Open(0));
    for (ULONG offset : {0x00u, 0x02u, 0x08u, 0x10u, 0x2Cu, 0x3Du}) {
        UCHAR before = Config(0, offset);
        EXPECT_TRUE(lib.TZ810mWriteConfig(0, offset, static_cast<UCHAR>(before ^ 0xFF))) << offset;
        EXPECT_EQ(Config(0, offset), before) << offset;
    }
    for (ULONG offset : {0x04u, 0x0Cu, 0x0Du, 0x3Cu, 0x40u, 0xFFu}) {
        EXPECT_TRUE(lib.TZ810mWriteConfig(0, offset, 0x5A)) << offset;
        EXPECT_EQ(Config(0, offset), 0x5A) << offset;
    }
    UCHAR v = 0;
    EXPECT_FALSE(lib.TZ810mReadConfig(0, 0x100, &v));
    EXPECT_FALSE(lib.TZ810mWriteConfig(0, 0x100, 0));
}

TEST_F(SimDevice, IoBytesReachRegistersInsideOpenWindowsAndIoSpaceElsewhere)
{
    ASSERT_TRUE(Open(kCard820));
    const ULONG base = IoBase(kCard820);
    UCHAR v = 0;
    EXPECT_TRUE(lib.TZ810mReadIoByte(0, base + TZ_REG_PULSE, &v));
    EXPECT_EQ(v, 0x04);  // power-up pulse width
    EXPECT_TRUE(lib.TZ810mReadIoByte(0, base + TZ_REG_GP0, &v));
    EXPECT_EQ(v & 0x80, 0x80);  // GP0 idles high

    EXPECT_TRUE(lib.TZ810mWriteIoByte(0, base + 0x10, 0xA5));
    EXPECT_EQ(tzsim::IoWindowByte(0, 0x10), 0xA5);
    EXPECT_TRUE(lib.TZ810mWriteIoByte(0, 0x0300, 0x3C));
    EXPECT_EQ(tzsim::IoSpaceByte(0x0300), 0x3C);
    EXPECT_TRUE(lib.TZ810mWriteIoByte(0, 0xFFFF, 0x11));
    EXPECT_TRUE(lib.TZ810mReadIoByte(0, 0xFFFF, &v));
    EXPECT_EQ(v, 0x11);
    EXPECT_FALSE(lib.TZ810mReadIoByte(0, 0x10000, &v));
    EXPECT_FALSE(lib.TZ810mWriteIoByte(0, 0x10000, 0));

    // The window of a closed card is plain I/O space; once open, its
    // registers answer there, whichever index the call names.
    ULONG base1 = 0xD100;  // default window of index 1
    EXPECT_TRUE(lib.TZ810mWriteIoByte(0, base1 + 0x20, 0x77));
    EXPECT_EQ(tzsim::IoSpaceByte(base1 + 0x20), 0x77);
    ASSERT_TRUE(Open(kCard810));
    ASSERT_EQ(IoBase(kCard810), base1);
    EXPECT_TRUE(lib.TZ810mWriteIoByte(0, base1 + 0x20, 0x66));
    EXPECT_EQ(tzsim::IoWindowByte(kCard810, 0x20), 0x66);
    EXPECT_EQ(tzsim::IoSpaceByte(base1 + 0x20), 0x77);
}

TEST_F(SimDevice, BlockAccessChecksCodeAlignmentLengthAndIoBounds)
{
    ASSERT_TRUE(Open(0));
    const ULONG base = IoBase(0);
    std::vector<std::uint8_t> buf(0x8001, 0);
    for (ULONG code : {0x00u, 0x13u, 0x17u, 0x19u, 0x1Bu, 0x1Du, 0x1Fu, 0x20u})
        EXPECT_FALSE(lib.TZ810mAccessBlock(0, code, base, buf.data(), 4)) << code;
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x11, base + 1, buf.data(), 2));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x15, base, buf.data(), 3));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x12, base + 2, buf.data(), 4));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x16, base, buf.data(), 6));
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x11, base + 2, buf.data(), 6));
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x12, base + 4, buf.data(), 8));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x10, base, nullptr, 1));

    // Direct addresses near the top of I/O space may not run past it.
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x11, 0xFFFE, buf.data(), 2));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x12, 0xFFFC, buf.data(), 8));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x10, 0xFFFF, buf.data(), 2));
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x10, 0x0000, buf.data(), 0x8000));
    EXPECT_FALSE(lib.TZ810mAccessBlock(0, 0x10, 0x0000, buf.data(), 0x8001));

    // Length 0 succeeds and moves nothing.
    tzsim::SetIoSpaceByte(0x400, 0x12);
    buf[0] = 0xEE;
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x10, 0x400, buf.data(), 0));
    EXPECT_TRUE(lib.TZ810mAccessBlock(0, 0x14, 0x400, buf.data(), 0));
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(tzsim::IoSpaceByte(0x400), 0x12);
}

TEST_F(SimDevice, BlockIoMovesBytesInOrderAndActsOnRegisters)
{
    ASSERT_TRUE(Open(0));
    const ULONG base = IoBase(0);
    std::uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    tzsim::ClearCalls();
    ASSERT_TRUE(lib.TZ810mAccessBlock(0, 0x16, base + 0x20, out, 8));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(tzsim::IoWindowByte(0, 0x20 + i), out[i]);
    auto calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0, 0x16, base + 0x20, 8}));
    EXPECT_EQ(calls[0].data, std::vector<std::uint8_t>(out, out + 8));

    std::uint8_t in[8] = {};
    ASSERT_TRUE(lib.TZ810mAccessBlock(0, 0x11, base + 0x20, in, 8));
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 8), std::vector<std::uint8_t>(out, out + 8));

    // A block over the status register cannot set the active bit.
    std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(lib.TZ810mAccessBlock(0, 0x14, base + 0xF8, ones, 1));
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0);
}

TEST_F(SimDevice, MemWindowNeedsTz820OpenedWithMemAndStaysInsideTheWindow)
{
    std::uint8_t buf[16] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_TRUE(Open(kCard820, 0));
    ULONG mem = MemBase(kCard820);
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x18, mem, buf, 1));  // MEM not enabled
    ASSERT_TRUE(Open(kCard820, 1));
    EXPECT_TRUE(lib.TZ810mAccessBlock(kCard820, 0x1E, mem + 0x100, buf, 4));
    EXPECT_EQ(tzsim::MemByte(kCard820, 0x100), 0xDE);
    EXPECT_EQ(tzsim::MemByte(kCard820, 0x103), 0xEF);
    std::uint8_t in[4] = {};
    EXPECT_TRUE(lib.TZ810mAccessBlock(kCard820, 0x18, mem + 0x101, in, 3));
    EXPECT_EQ(in[0], 0xAD);
    EXPECT_EQ(in[2], 0xEF);

    EXPECT_TRUE(lib.TZ810mAccessBlock(kCard820, 0x1C, mem + 0x7FFF, buf, 1));
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x1C, mem + 0x7FFF, buf, 2));
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x18, mem + 0x8000, buf, 1));
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x18, mem - 1, buf, 1));
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x18, 0x100, buf, 1));  // offset, not address
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x1A, mem + 2, buf, 4));
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard820, 0x1E, mem, buf, 6));
    EXPECT_TRUE(lib.TZ810mAccessBlock(kCard820, 0x18, mem + 0x8000, buf, 0));

    ASSERT_TRUE(Open(kCard810, 1));  // the MEM flag means nothing to a TZ810
    EXPECT_FALSE(lib.TZ810mAccessBlock(kCard810, 0x18, mem, buf, 1));
}

TEST_F(SimDevice, I2cAnswersOnlyAt0x50AndKeepsWrittenBytes)
{
    ASSERT_TRUE(Open(0));
    UCHAR v = 0;
    EXPECT_TRUE(lib.TZ810mReadI2C(0, 0x50, 0x00, &v));
    EXPECT_EQ(v, 0x78);
    EXPECT_TRUE(lib.TZ810mWriteI2C(0, 0x50, 0xFF, 0x5A));
    EXPECT_TRUE(lib.TZ810mReadI2C(0, 0x50, 0xFF, &v));
    EXPECT_EQ(v, 0x5A);
    for (UCHAR device : {0x00, 0x51, 0xA0, 0xFF}) {
        EXPECT_FALSE(lib.TZ810mReadI2C(0, device, 0, &v)) << int(device);
        EXPECT_FALSE(lib.TZ810mWriteI2C(0, device, 0, 0)) << int(device);
    }
    // Written identity bytes reach configuration space only at power-up.
    EXPECT_TRUE(lib.TZ810mWriteI2C(0, 0x50, 0x06, 0x99));
    EXPECT_EQ(Config(0, 0x02), 0x34);
}

TEST_F(SimDevice, AbsentEepromFailsAndBlankEepromReadsErasedBothLeavingChipDefaults)
{
    Start("card 0 = TZ810\ncard 1 = TZ810\neeprom 0 = absent\neeprom 1 = blank\n"
          "card 2 = TZ820\ndid 2 = 0x1235\n");
    ASSERT_TRUE(Open(0));
    ASSERT_TRUE(Open(1));
    ASSERT_TRUE(Open(2));
    EXPECT_EQ(Config(2, 0x02), 0x35);  // the configured chip default can be unrecognised
    EXPECT_EQ(Config(2, 0x03), 0x12);
    UCHAR v = 0;
    EXPECT_FALSE(lib.TZ810mReadI2C(0, 0x50, 0, &v));
    EXPECT_FALSE(lib.TZ810mWriteI2C(0, 0x50, 0, 0x78));
    EXPECT_TRUE(lib.TZ810mReadI2C(1, 0x50, 0, &v));
    EXPECT_EQ(v, 0xFF);
    EXPECT_EQ(Config(0, 0x02), 0x30);
    EXPECT_EQ(Config(1, 0x02), 0x30);
}

}  // namespace
