// MEM panel: block reads and writes in a TZ820's memory window through the
// dialog's dispatch, against the simulated bench.
#include "block_fixture.h"

#include "messages.h"

namespace {

using blocktest::kMemBase0;

const char kPastWindow[] =
    "您输入的地址+长度>0x7FFF发生错误,请查阅TZ810mAccessBlock的相关说明";
const char kDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";

class MemBlock : public blocktest::Bench {
protected:
    void Read(const std::string &address, const std::string &length)
    {
        Type(IDC_MEM_ADDR, address);
        Type(IDC_MEM_LENGTH, length);
        Click(IDC_MEM_READ);
    }
    void Write(const std::string &address, const std::string &length, const std::string &data)
    {
        Type(IDC_MEM_ADDR, address);
        Type(IDC_MEM_LENGTH, length);
        Type(IDC_MEM_DATA, data);
        Click(IDC_MEM_WRITE);
    }
};

TEST_F(MemBlock, ReadAndWriteCodesAtMemBasePlusOffset)
{
    Open(0);
    const std::uint8_t bytes[] = {0x01, 0xAB, 0xCD, 0xEF};
    for (unsigned i = 0; i < 4; ++i)
        tzsim::SetMemByte(0, 0x100 + i, bytes[i]);

    // Position 0 is byte; 1 and "no selection" are double word.
    struct { int mode; ULONG read, write; } cases[] = {
        {0, 0x18, 0x1C}, {1, 0x1A, 0x1E}, {-1, 0x1A, 0x1E}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        port.c(IDC_MEM_WIDTH).selection = c.mode;
        Reset();
        Read("100", "4");
        EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, c.read, kMemBase0 + 0x100, 4}));
        EXPECT_EQ(port.text(IDC_MEM_DATA), "01 AB CD EF ");

        Reset();
        Write("200", "4", "10 20 30 40 ");
        auto call = OnlyBlockCall();
        EXPECT_EQ(call.args, (std::vector<std::uint32_t>{0, c.write, kMemBase0 + 0x200, 4}));
        EXPECT_EQ(tzsim::MemByte(0, 0x203), 0x40);
        ExpectOnlyMessage(Window::None, "写成功", Icon::None);
    }
}

TEST_F(MemBlock, WindowBound)
{
    Open(0);
    port.SelectComboEntry(IDC_MEM_WIDTH, 0);
    struct { const char *address, *length; } refused[] = {
        {"7FFF", "1"}, {"0", "8000"}, {"8000", "0"}, {"FFFF", "0"}, {"7F00", "100"}};
    for (const auto &c : refused) {
        SCOPED_TRACE(testing::Message() << c.address << "+" << c.length);
        Reset();
        Read(c.address, c.length);
        ExpectRefused(kPastWindow);
        Reset();
        Write(c.address, c.length, "00");
        ExpectRefused(kPastWindow);
    }

    // Reaching exactly 0x7FFF is allowed, a length of 0 included.
    Reset();
    Type(IDC_MEM_DATA, "keep");
    Read("7FFF", "0");
    EXPECT_EQ(OnlyBlockCall().args, (std::vector<std::uint32_t>{0, 0x18, kMemBase0 + 0x7FFF, 0}));
    EXPECT_EQ(port.text(IDC_MEM_DATA), "");
    Reset();
    Read("7F00", "FF");
    EXPECT_EQ(OnlyBlockCall().args[3], 0xFFu);
}

TEST_F(MemBlock, InputRefusedInOrderBeforeAnyDeviceCall)
{
    Open(0);
    struct { int mode; const char *address, *length; const char *message; } reads[] = {
        {0, "x1", "zz", kBadCharacterMessage},
        {0, "0", "1-", kBadCharacterMessage},
        {0, "0", "8001", "请输入小于等于0x8000的长度!"},  // before the window bound
        {0, "", "4", "请输入地址和数据长度"},
        {0, "7FFF", "", "请输入地址和数据长度"},              // empty test before the bound
        {1, "2", "4", kDwordAlign},
        {1, "4", "6", kDwordAlign},
        {-1, "0", "2", kDwordAlign},
    };
    for (const auto &c : reads) {
        SCOPED_TRACE(testing::Message() << "read " << c.address << "/" << c.length);
        Reset();
        port.c(IDC_MEM_WIDTH).selection = c.mode;
        Read(c.address, c.length);
        ExpectRefused(c.message);
    }

    struct { int mode; const char *address, *length, *data; const char *message; } writes[] = {
        {0, "G", "1", "00", kBadCharacterMessage},
        {0, "7FF0", "20", "", kPastWindow},  // the bound comes before the empty test
        // Past the window by the typed length even though the box holds less.
        {0, "7FF0", "20", "01 02 03 04", kPastWindow},
        {0, "0", "4", "", "请输入地址,数据长度和写入数据内容"},
        {0, "0", "", "00", "请输入地址,数据长度和写入数据内容"},
        {0, "0", "2", "0x 12", kBadCharacterMessage},
        {1, "0", "8", "01 02 03", kDwordAlign},  // count used: 3
        {1, "6", "4", "01 02 03 04", kDwordAlign},
    };
    for (const auto &c : writes) {
        SCOPED_TRACE(testing::Message() << "write " << c.address << "/" << c.length << "/" << c.data);
        Reset();
        port.c(IDC_MEM_WIDTH).selection = c.mode;
        Write(c.address, c.length, c.data);
        ExpectRefused(c.message);
    }
}

TEST_F(MemBlock, WriteUsesTheCountTheTextSupplies)
{
    Open(0);
    port.SelectComboEntry(IDC_MEM_WIDTH, 1);
    // Length 0x10, four bytes in the box: a double-word write of those four.
    Write("40", "10", "11 22\r\n33 44 ");
    auto call = OnlyBlockCall();
    EXPECT_EQ(call.args, (std::vector<std::uint32_t>{0, 0x1E, kMemBase0 + 0x40, 4}));
    EXPECT_EQ(call.data, (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(tzsim::MemByte(0, 0x44), 0x00);
    ExpectOnlyMessage(Window::None, "写成功", Icon::None);
}

TEST_F(MemBlock, FailuresReportedWithTheirIcons)
{
    Open(0, "fault TZ810mAccessBlock = always");
    Type(IDC_MEM_DATA, "99 ");
    struct { int mode; Icon icon; } reads[] = {{0, Icon::Error}, {1, Icon::None}};
    for (const auto &c : reads) {
        SCOPED_TRACE(c.mode);
        Reset();
        port.SelectComboEntry(IDC_MEM_WIDTH, c.mode);
        Read("0", "4");
        EXPECT_EQ(tzsim::CountCalls("TZ810mAccessBlock"), 1u);
        ExpectOnlyMessage(Window::Main, "MEM读取失败", c.icon);
        EXPECT_EQ(port.text(IDC_MEM_DATA), "99 ");
        EXPECT_EQ(port.text(IDC_MEM_LENGTH), "4");
    }
    Reset();
    port.SelectComboEntry(IDC_MEM_WIDTH, 0);
    Write("0", "1", "99");
    EXPECT_EQ(tzsim::CountCalls("TZ810mAccessBlock"), 1u);
    ExpectOnlyMessage(Window::None, "写失败", Icon::Error);
}

TEST_F(MemBlock, WithDoubleWordRemovedAnEmptySelectionReadsDoubleWords)
{
    Open(0);
    port.SetChecked(IDC_MEM_32BIT, false);
    Click(IDC_MEM_32BIT);
    ASSERT_EQ(port.c(IDC_MEM_WIDTH).entries, (std::vector<std::string>{"字节"}));
    port.c(IDC_MEM_WIDTH).selection = -1;
    Reset();
    Read("0", "8");
    EXPECT_EQ(OnlyBlockCall().args[1], 0x1Au);
}

} // namespace
