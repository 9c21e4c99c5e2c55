// I/O panel: block reads and writes through the dialog's dispatch, against
// the simulated bench.
#include "block_fixture.h"

#include <cstring>

#include "hextext.h"
#include "messages.h"

namespace {

using blocktest::kIoBase0;

const char kTooLong[] = "请输入小于等于0x8000的长度!";
const char kReadNeedsBoth[] = "请输入地址和数据长度";
const char kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容";

class IoBlock : public blocktest::Bench {
protected:
    void Select(int mode, int addressType)
    {
        port.SelectComboEntry(IDC_IO_WIDTH, mode);
        port.SelectComboEntry(IDC_IO_ADDR_TYPE, addressType);
    }
    void Boxes(const std::string &address, const std::string &length)
    {
        Type(IDC_IO_ADDR, address);
        Type(IDC_IO_LENGTH, length);
    }
    void Read(const std::string &address, const std::string &length)
    {
        Boxes(address, length);
        Click(IDC_IO_READ);
    }
    void Write(const std::string &address, const std::string &length, const std::string &data)
    {
        Boxes(address, length);
        Type(IDC_IO_DATA, data);
        Click(IDC_IO_WRITE);
    }
};

TEST_F(IoBlock, ReadShowsByteRunAtOffsetOrDirectAddress)
{
    Open(0);
    const UCHAR window[] = {0x0F, 0xA5, 0x00, 0x7E};
    for (unsigned i = 0; i < 4; ++i)
        tzsim::SetIoWindowByte(0, 0x20 + i, window[i]);
    Read("20", "4");
    auto call = OnlyBlockCall();
    EXPECT_EQ(call.args, (std::vector<std::uint32_t>{0, 0x10, kIoBase0 + 0x20, 4}));
    EXPECT_EQ(port.text(IDC_IO_DATA), "0F A5 00 7E ");
    EXPECT_TRUE(port.messages.empty());

    Reset();
    tzsim::SetIoSpaceByte(0x3F8, 0xC3);
    tzsim::SetIoSpaceByte(0x3F9, 0x3C);
    Select(0, 1);
    Read("3f8", "2");
    EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x10, 0x3F8, 2}));
    EXPECT_EQ(port.text(IDC_IO_DATA), "C3 3C ");
}

TEST_F(IoBlock, AccessCodesAndAddressesForEveryPair)
{
    Open(0);
    struct { int mode, type; ULONG code; bool direct; } cases[] = {
        {0, 0, 0, false}, {0, 1, 0, true},  {1, 0, 1, false}, {1, 1, 1, true},
        {2, 0, 2, false}, {2, 1, 2, true},
        // No selection in either combo: double word at a direct address.
        {-1, 0, 2, true}, {0, -1, 2, true}, {-1, -1, 2, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << "," << c.type);
        port.c(IDC_IO_WIDTH).selection = c.mode;
        port.c(IDC_IO_ADDR_TYPE).selection = c.type;
        const ULONG address = c.direct ? 0x40 : kIoBase0 + 0x40;

        Reset();
        Read("40", "4");
        EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x10 + c.code, address, 4}));

        Reset();
        Write("40", "4", "01 02 03 04");
        EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x14 + c.code, address, 4}));
        ExpectOnlyMessage(Window::None, "写成功", Icon::None);
    }
}

TEST_F(IoBlock, InputRefusedInOrderBeforeAnyDeviceCall)
{
    Open(0);
    struct { int mode; const char *address, *length; const char *message; } reads[] = {
        {0, "1G", "ZZ", kBadCharacterMessage},  // address box first
        {0, "10", "1x", kBadCharacterMessage},
        {0, "", "8001", kTooLong},              // bound before the empty test
        {0, "", "10", kReadNeedsBoth},
        {0, "10", "", kReadNeedsBoth},
        {1, "1", "2", "请输入能存储字的起始地址并且数据长度为2的倍数"},
        {1, "2", "3", "请输入能存储字的起始地址并且数据长度为2的倍数"},
        {2, "2", "4", "请输入能存储字的起始地址且数据长度为4的倍数"},
        {2, "4", "6", "请输入能存储字的起始地址且数据长度为4的倍数"},
    };
    for (const auto &c : reads) {
        SCOPED_TRACE(testing::Message() << "read " << c.address << "/" << c.length);
        Reset();
        Select(c.mode, 0);
        Type(IDC_IO_DATA, "AA ");
        Read(c.address, c.length);
        ExpectRefused(c.message);
        EXPECT_EQ(port.text(IDC_IO_LENGTH), c.length);  // boxes untouched
        EXPECT_EQ(port.text(IDC_IO_DATA), "AA ");
    }

    struct { int mode; const char *address, *length, *data; const char *message; } writes[] = {
        {0, "g", "1", "00", kBadCharacterMessage},
        {0, "0", "9000", "00", kTooLong},
        {0, "0", "1", "", kWriteNeedsAll},
        {0, "", "1", "00", kWriteNeedsAll},
        {0, "0", "2", "01 0G", kBadCharacterMessage},  // pasted into the data box
        {0, "0", "2", "01,02", kBadCharacterMessage},
        {1, "1", "2", "01 02", "请输入能存储字的起始地址且数据长度为2的倍数"},
        // The count used decides, not the length typed.
        {1, "0", "4", "01 02 03", "请输入能存储字的起始地址且数据长度为2的倍数"},
        {2, "0", "3", "01 02 03 04", "请输入能存储双字的起始地址且数据长度为4的倍数"},
        {2, "2", "4", "01 02 03 04", "请输入能存储双字的起始地址且数据长度为4的倍数"},
    };
    for (const auto &c : writes) {
        SCOPED_TRACE(testing::Message() << "write " << c.address << "/" << c.length << "/" << c.data);
        Reset();
        Select(c.mode, 1);
        Write(c.address, c.length, c.data);
        ExpectRefused(c.message);
    }
}

TEST_F(IoBlock, AlignmentIsOnTypedAddressNotTheSum)
{
    // An odd base: the typed offset alone is tested.
    Open(0, "card 0 = tz820\nio_base 0 = 0xD001");
    Select(1, 0);
    Read("1", "2");  // sum 0xD002 is even, the offset is not
    ExpectRefused("请输入能存储字的起始地址并且数据长度为2的倍数");

    Reset();
    Read("0", "2");
    EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x11, 0xD001, 2}));
}

TEST_F(IoBlock, BoxesReadUpToFourCharacters)
{
    Open(0);
    Select(0, 1);
    Read("12345", "10000");  // pasted: 0x1234 and 0x1000
    EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x10, 0x1234, 0x1000}));
    EXPECT_EQ(port.text(IDC_IO_DATA).size(), 3u * 0x1000);

    // A bad character past the fourth is never looked at.
    Reset();
    Read("0000x", "1");
    EXPECT_EQ(OnlyBlockCall().args[2], 0u);
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(IoBlock, LengthBoundAndZeroLength)
{
    Open(0);
    Select(0, 1);
    for (unsigned i = 0; i < 0x8000; ++i)
        tzsim::SetIoSpaceByte(i, static_cast<std::uint8_t>(i * 7));
    Read("0", "8000");
    EXPECT_EQ(OnlyBlockCall().args[3], 0x8000u);
    const std::string &text = port.text(IDC_IO_DATA);
    ASSERT_EQ(text.size(), 98304u);
    EXPECT_EQ(text.substr(3 * 0x7FFF), "F9 ");  // 0x7FFF * 7 mod 256

    Reset();
    Read("0", "0");
    EXPECT_EQ(OnlyBlockCall().args[3], 0u);
    EXPECT_EQ(port.text(IDC_IO_DATA), "");
}

TEST_F(IoBlock, FailedReadEmptiesLengthAndKeepsData)
{
    Open(0, "fault TZ810mAccessBlock = always");
    Type(IDC_IO_DATA, "11 22 ");
    struct { int mode, type; Icon icon; } cases[] = {
        {0, 0, Icon::Error}, {0, 1, Icon::None}, {1, 1, Icon::Error}, {2, 0, Icon::Error}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << "," << c.type);
        Reset();
        Select(c.mode, c.type);
        Read("0", "4");
        EXPECT_EQ(tzsim::CountCalls("TZ810mAccessBlock"), 1u);
        ExpectOnlyMessage(Window::Main, "IO读取失败", c.icon);
        EXPECT_EQ(port.text(IDC_IO_LENGTH), "");
        EXPECT_EQ(port.text(IDC_IO_DATA), "11 22 ");
    }
    // The next click without a new length is refused.
    Reset();
    Click(IDC_IO_READ);
    ExpectRefused(kReadNeedsBoth);
}

TEST_F(IoBlock, WriteSendsTheBytesTheTextSupplies)
{
    Open(0);
    Select(0, 0);
    // Length 0x10, three bytes in the box: those three are written.
    Write("30", "10", "DE AD BE ");
    auto call = OnlyBlockCall();
    EXPECT_EQ(call.args, (std::vector<std::uint32_t>{0, 0x14, kIoBase0 + 0x30, 3}));
    EXPECT_EQ(call.data, (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(tzsim::IoWindowByte(0, 0x32), 0xBE);
    ExpectOnlyMessage(Window::None, "写成功", Icon::None);
    EXPECT_EQ(port.text(IDC_IO_LENGTH), "10");  // no box changes

    // White space of any kind is dropped; an odd last digit is ignored.
    Reset();
    Write("30", "10", "1\t2\r\n34 5");
    EXPECT_EQ(OnlyBlockCall().data, (std::vector<std::uint8_t>{0x12, 0x34}));

    // Only spaces: not empty, so a block of no bytes is written.
    Reset();
    Write("30", "4", "   ");
    EXPECT_EQ(OnlyBlockCall().args[3], 0u);
    ExpectOnlyMessage(Window::None, "写成功", Icon::None);
}

TEST_F(IoBlock, FailedWriteReportsWithoutOwner)
{
    Open(0, "fault TZ810mAccessBlock = always");
    Write("0", "1", "55");
    EXPECT_EQ(tzsim::CountCalls("TZ810mAccessBlock"), 1u);
    ExpectOnlyMessage(Window::None, "写失败", Icon::Error);
}

TEST_F(IoBlock, FullBlockReadWritesBackUnchanged)
{
    Open(0);
    Select(0, 1);
    std::vector<std::uint8_t> original(0x8000);
    for (unsigned i = 0; i < 0x8000; ++i) {
        original[i] = static_cast<std::uint8_t>((i * 131) ^ (i >> 8));
        tzsim::SetIoSpaceByte(i, original[i]);
    }
    Read("0", "8000");
    for (unsigned i = 0; i < 0x8000; ++i)
        tzsim::SetIoSpaceByte(i, 0);

    Reset();
    Click(IDC_IO_WRITE);
    auto call = OnlyBlockCall();
    EXPECT_EQ(call.args[3], 0x8000u);
    EXPECT_TRUE(call.data == original);
    unsigned mismatches = 0;
    for (unsigned i = 0; i < 0x8000; ++i)
        mismatches += tzsim::IoSpaceByte(i) != original[i];
    EXPECT_EQ(mismatches, 0u);
    ExpectOnlyMessage(Window::None, "写成功", Icon::None);
}

} // namespace
