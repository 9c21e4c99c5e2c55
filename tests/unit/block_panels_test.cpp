// I/O and MEM block panels: refusals in order, access codes, shown and written bytes, failures.
#include "card_session.h"
#include "hex_box.h"

namespace {
using cardtest::Args, cardtest::kIoBase0, cardtest::kMemBase0;
using Bytes = std::vector<std::uint8_t>;
const char kTooLong[] = "请输入小于等于0x8000的长度!";
const char kReadNeedsBoth[] = "请输入地址和数据长度";
const char kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容";
const char kIoReadWord[] = "请输入能存储字的起始地址并且数据长度为2的倍数";
const char kIoReadDword[] = "请输入能存储字的起始地址且数据长度为4的倍数";
const char kIoWriteWord[] = "请输入能存储字的起始地址且数据长度为2的倍数";
const char kDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";
const char kPastWindow[] = "您输入的地址+长度>0x7FFF发生错误,请查阅TZ810mAccessBlock的相关说明";
const char *const kBad = kBadCharacterMessage;

// One click of a block panel: the combos, the boxes, the button.
struct Request {
    int button;
    int mode, addressType;  // combo positions (-1: no selection)
    const char *address, *length, *data;
};

class Block : public cardtest::CardSession {
  protected:
    void Do(const Request &r)
    {
        const bool io = r.button == IDC_IO_READ || r.button == IDC_IO_WRITE;
        port.controls[io ? IDC_IO_WIDTH : IDC_MEM_WIDTH].selection = r.mode;
        port.controls[IDC_IO_ADDR_TYPE].selection = r.addressType;
        Type(io ? IDC_IO_ADDR : IDC_MEM_ADDR, r.address);
        Type(io ? IDC_IO_LENGTH : IDC_MEM_LENGTH, r.length);
        Type(io ? IDC_IO_DATA : IDC_MEM_DATA, r.data);
        Reset();
        Click(r.button);
    }

    // What the length and data boxes of the button's panel hold.
    std::string LengthAndData(int button)
    {
        const bool io = button == IDC_IO_READ || button == IDC_IO_WRITE;
        return port.Text(io ? IDC_IO_LENGTH : IDC_MEM_LENGTH) + "|" +
               port.Text(io ? IDC_IO_DATA : IDC_MEM_DATA);
    }
};

const int IR = IDC_IO_READ, IW = IDC_IO_WRITE, MR = IDC_MEM_READ, MW = IDC_MEM_WRITE;

TEST_F(Block, InputIsRefusedInOrderBeforeAnyCall)
{
    Open(0);

    const struct {
        Request r;
        const char *message;
    } rows[] = {
        // address box, then length box, then the bound, then the empty test
        {{IR, 0, 0, "1G", "ZZ", "AA "}, kBad},
        {{IR, 0, 0, "10", "1x", "AA "}, kBad},
        {{IR, 0, 0, "", "8001", "AA "}, kTooLong},
        {{IR, 0, 0, "", "10", "AA "}, kReadNeedsBoth},
        {{IR, 0, 0, "10", "", "AA "}, kReadNeedsBoth},
        {{IR, 1, 0, "1", "2", "AA "}, kIoReadWord},
        {{IR, 1, 0, "2", "3", "AA "}, kIoReadWord},
        {{IR, 2, 0, "2", "4", "AA "}, kIoReadDword},
        {{IR, -1, 0, "0", "2", "AA "}, kIoReadDword},
        {{IW, 0, 1, "0", "1", ""}, kWriteNeedsAll},
        {{IW, 0, 1, "", "1", "00"}, kWriteNeedsAll},
        {{IW, 0, 1, "0", "2", "01 0G"}, kBad},
        {{IW, 1, 1, "0", "2", "01,02"}, kBad},
        {{IW, 1, 1, "1", "2", "01 02"}, kIoWriteWord},
        // the count the text supplies decides, not the length typed
        {{IW, 1, 0, "0", "4", "01 02 03"}, kIoWriteWord},
        {{IW, 2, 0, "0", "3", "01 02 03 04"}, kDwordAlign},
        {{IW, 2, 0, "2", "4", "01 02 03 04"}, kDwordAlign},
        {{MR, 0, 0, "", "4", "AA "}, kReadNeedsBoth},
        {{MR, 0, 0, "7FFF", "", "AA "}, kReadNeedsBoth},
        {{MR, 0, 0, "7FFF", "1", "AA "}, kPastWindow},
        {{MR, 0, 0, "0", "8000", "AA "}, kPastWindow},
        {{MR, 0, 0, "FFFF", "0", "AA "}, kPastWindow},
        {{MR, 1, 0, "7F00", "100", "AA "}, kPastWindow},
        {{MR, 1, 0, "2", "4", "AA "}, kDwordAlign},
        {{MR, -1, 0, "0", "2", "AA "}, kDwordAlign},
        {{MW, 0, 0, "0", "8001", "00"}, kTooLong},
        // the bound comes before the empty test and is on the typed length
        {{MW, 0, 0, "7FF0", "20", ""}, kPastWindow},
        {{MW, 0, 0, "7FF0", "20", "01 02"}, kPastWindow},
        {{MW, 0, 0, "0", "4", ""}, kWriteNeedsAll},
        {{MW, 0, 0, "", "4", "00"}, kWriteNeedsAll},
        {{MW, 0, 0, "0", "2", "0x 12"}, kBad},
        {{MW, 1, 0, "0", "8", "01 02 03"}, kDwordAlign},
        {{MW, 1, 0, "6", "4", "01 02 03 04"}, kDwordAlign},
    };

    for (const auto &row : rows) {
        const Request &r = row.r;
        SCOPED_TRACE(testing::Message() << r.button << " " << r.mode << " " << r.address << "/"
                                        << r.length << "/" << r.data);
        Do(r);
        ExpectRefused(row.message);
        EXPECT_EQ(LengthAndData(r.button), std::string(r.length) + "|" + r.data);
    }
}

TEST_F(Block, AccessCodeAndAddressPerWidthAndAddressType)
{
    Open(0);

    const struct {
        int read, mode, addressType;
        ULONG code, address;
    } rows[] = {{IR, 0, 0, 0x10, kIoBase0 + 0x40},
                {IR, 0, 1, 0x10, 0x40},
                {IR, 1, 0, 0x11, kIoBase0 + 0x40},
                {IR, 1, 1, 0x11, 0x40},
                {IR, 2, 0, 0x12, kIoBase0 + 0x40},
                {IR, 2, 1, 0x12, 0x40},
                // no selection in either combo: double word at a direct address
                {IR, -1, 0, 0x12, 0x40},
                {IR, 0, -1, 0x12, 0x40},
                {IR, 3, 0, 0x12, 0x40},
                {IR, 0, 2, 0x12, 0x40},
                {MR, 0, 0, 0x18, kMemBase0 + 0x40},
                {MR, 1, 0, 0x1A, kMemBase0 + 0x40},
                {MR, -1, 0, 0x1A, kMemBase0 + 0x40}};

    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.read << " " << row.mode << "/" << row.addressType);
        Do({row.read, row.mode, row.addressType, "40", "4", ""});
        EXPECT_EQ(OnlyBlockCall().args, (Args{0, row.code, row.address, 4}));
        EXPECT_EQ(port.messages.size(), 0u);
        Do({row.read + 1, row.mode, row.addressType, "40", "4", "01 02 03 04"});
        EXPECT_EQ(OnlyBlockCall().args, (Args{0, row.code + 4, row.address, 4}));
        ExpectOnlyMessage("写成功", Icon::None, Window::None);
    }
}

TEST_F(Block, ReadShowsTheBytesAsByteRunText)
{
    Open(0);
    const Bytes bytes = {0x0F, 0xA5, 0x00, 0x7E};
    for (unsigned i = 0; i < 4; ++i) {
        tzsim::SetIoWindowByte(0, 0x20 + i, bytes[i]);
        tzsim::SetIoSpaceByte(0x3F8 + i, bytes[3 - i]);
        tzsim::SetMemByte(0, 0x100 + i, bytes[i]);
    }
    Do({IR, 0, 0, "20", "4", "old"});
    EXPECT_EQ(port.Text(IDC_IO_DATA), "0F A5 00 7E ");
    Do({IR, 0, 1, "3f8", "3", "old"});
    EXPECT_EQ(port.Text(IDC_IO_DATA), "7E 00 A5 ");
    Do({MR, 1, 0, "100", "4", "old"});
    EXPECT_EQ(port.Text(IDC_MEM_DATA), "0F A5 00 7E ");
    // Reaching 0x7FFF of the window is allowed, a length of 0 included.
    Do({MR, 0, 0, "7FFF", "0", "old"});
    EXPECT_EQ(OnlyBlockCall().args, (Args{0, 0x18, kMemBase0 + 0x7FFF, 0}));
    EXPECT_EQ(port.Text(IDC_MEM_DATA), "");
    Do({MR, 0, 0, "7F00", "FF", ""});
    EXPECT_EQ(OnlyBlockCall().args[3], 0xFFu);
    // Up to four characters of each box are looked at (pasted text).
    Do({IR, 0, 1, "12345", "10000", ""});
    EXPECT_EQ(OnlyBlockCall().args, (Args{0, 0x10, 0x1234, 0x1000}));
    Do({IR, 0, 1, "0000x", "1", ""});
    EXPECT_EQ(OnlyBlockCall().args[2], 0u);
    EXPECT_EQ(port.messages.size(), 0u);
    // Zeroed before each read: a library that fills nothing shows zeros, never the last block.
    const auto simulated = s.lib.TZ810mAccessBlock;
    for (int button : {IR, MR}) {
        s.lib.TZ810mAccessBlock = simulated;
        Do({button, 0, 0, button == IR ? "20" : "100", "4", ""});
        s.lib.TZ810mAccessBlock = [](ULONG, ULONG, ULONG, PVOID, ULONG) -> BOOL {
            return 1;
        };
        Do({button, 0, 0, button == IR ? "20" : "100", "4", "old"});
        EXPECT_EQ(port.Text(button == IR ? IDC_IO_DATA : IDC_MEM_DATA), "00 00 00 00 ");
    }
}

TEST_F(Block, AlignmentIsOnTheTypedAddressNotTheSumWithTheBase)
{
    Open(0, "card 0 = tz820\nio_base 0 = 0xD001");
    Do({IR, 1, 0, "1", "2", ""});  // 0xD002 is even, the offset is not
    ExpectRefused(kIoReadWord);
    Do({IR, 1, 0, "0", "2", ""});
    EXPECT_EQ(OnlyBlockCall().args, (Args{0, 0x11, 0xD001, 2}));
}

TEST_F(Block, WriteSendsTheBytesTheTextSupplies)
{
    Open(0);
    // Length 0x10, three bytes in the box: those three are written.
    Do({IW, 0, 0, "30", "10", "DE AD BE "});
    auto call = OnlyBlockCall();
    EXPECT_EQ(call.args, (Args{0, 0x14, kIoBase0 + 0x30, 3}));
    EXPECT_EQ(call.data, (Bytes{0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(tzsim::IoWindowByte(0, 0x32), 0xBE);
    EXPECT_EQ(port.Text(IDC_IO_LENGTH), "10");
    // White space is dropped, an odd last digit ignored, bytes past the length not sent.
    Do({IW, 0, 0, "30", "2", "1\t2\r\n34 5"});
    EXPECT_EQ(OnlyBlockCall().data, (Bytes{0x12, 0x34}));
    Do({MW, 1, 0, "40", "4", "11 22\r\n33 44 55 66 77 88"});
    EXPECT_EQ(OnlyBlockCall().args, (Args{0, 0x1E, kMemBase0 + 0x40, 4}));
    EXPECT_EQ(tzsim::MemByte(0, 0x43), 0x44);
    EXPECT_EQ(tzsim::MemByte(0, 0x44), 0x00);
    // Only spaces: not empty, so a block of no bytes is written.
    Do({IW, 0, 0, "30", "4", "   "});
    EXPECT_EQ(OnlyBlockCall().args[3], 0u);
    ExpectOnlyMessage("写成功", Icon::None, Window::None);
}

TEST_F(Block, FailuresAreReportedWithTheirIcons)
{
    Open(0, "fault TZ810mAccessBlock = always");

    const struct {
        Request r;
        Window owner;
        const char *message;
        Icon icon;
        const char *lengthAfter;
    } rows[] = {// a failed I/O read empties the length box, so the next click is refused
                {{IR, 0, 0, "0", "4", "11 "}, Window::Main, "IO读取失败", Icon::Error, ""},
                {{IR, 0, 1, "0", "4", "11 "}, Window::Main, "IO读取失败", Icon::None, ""},
                {{IR, 1, 1, "0", "4", "11 "}, Window::Main, "IO读取失败", Icon::Error, ""},
                {{MR, 0, 0, "0", "4", "11 "}, Window::Main, "MEM读取失败", Icon::Error, "4"},
                {{MR, 1, 0, "0", "4", "11 "}, Window::Main, "MEM读取失败", Icon::None, "4"},
                {{IW, 0, 0, "0", "1", "55"}, Window::None, "写失败", Icon::Error, "1"}};

    for (const auto &row : rows) {
        SCOPED_TRACE(row.message);
        Do(row.r);
        EXPECT_EQ(tzsim::CountCalls("TZ810mAccessBlock"), 1u);
        ExpectOnlyMessage(row.message, row.icon, row.owner);
        EXPECT_EQ(LengthAndData(row.r.button), std::string(row.lengthAfter) + "|" + row.r.data);
    }
}
}  // namespace
