// The block-access panels end to end: pulse width and the 32-bit switch, the
// I/O panel and the MEM panel, driven through the real dialog with the
// simulated library behind it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "resource.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;
using e2e::Widen;

const char kBadCharacter[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

// A full block of byte-run text takes Wine's edit control seconds to lay
// out, far longer than the driver's usual wait for one message.
const UINT kLongSend = 120000;

class Block : public testing::Test {
protected:
    void Start(const std::string &config, int device)
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
        app.Select(IDC_DEVICE_COMBO, device);
        Do(IDC_OPEN, "open");
        ASSERT_TRUE(app.MessageBoxes().empty()) << "a message box after the open";
    }

    std::string Text(int id) const { return Narrow(app.Text(id)); }
    void Paste(int id, const std::string &text) const { app.SetText(id, Widen(text)); }

    void Do(int id, const char *what)
    {
        app.Click(id);
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << what;
    }

    // The next message box must show `text`, with the error icon or none, owned
    // by the main dialog or by nothing; it is then closed with OK.
    void ExpectBox(const std::string &text, bool icon, bool owned)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        // Failures carry the error icon; every other box has none.
        EXPECT_EQ(box.icon, icon ? e2e::BoxIcon::Error : e2e::BoxIcon::None)
            << "icon of \"" << text << "\": " << e2e::BoxIconName(box.icon);
        EXPECT_EQ(box.owner, owned ? app.Main() : nullptr) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
        ASSERT_TRUE(app.Settle());
    }

    // Block accesses made since trace position `from`.
    std::vector<TraceCall> Blocks(size_t from) const
    {
        return e2e::CallsNamed(app.Trace(), "TZ810mAccessBlock", from);
    }
    size_t Mark() const { return app.Trace().size(); }

    void SetCheck(int id, bool on) const
    {
        SendMessageTimeoutW(app.Item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0,
                            SMTO_NORMAL, 5000, nullptr);
    }
    // Clicks the check box as the user would: the tick changes, then the
    // dialog hears of it.
    void ClickCheck(int id, bool on)
    {
        SetCheck(id, on);
        Do(id, "the check box");
    }

    e2e::TzDebug app;
};

std::vector<std::wstring> Modes(std::initializer_list<const char *> names)
{
    std::vector<std::wstring> out;
    for (const char *n : names)
        out.push_back(Widen(n));
    return out;
}

// ------------------------------------------------------------- pulse width

TEST_F(Block, PulseWidthAndThe32BitSwitch)
{
    Start("card 0 = TZ820\n", 0);
    ASSERT_EQ(app.CheckState(IDC_MEM_32BIT), BST_CHECKED);
    EXPECT_EQ(app.ComboEntries(IDC_MEM_WIDTH), Modes({"字节", "双字"}));

    size_t from = Mark();
    app.Select(IDC_PULSE_COMBO, 4);
    app.Click(IDC_PULSE_SET);
    ExpectBox("设置成功", false, true);
    EXPECT_EQ(Text(IDC_PULSE_NOW), "150");
    auto writes = e2e::CallsNamed(app.Trace(), "TZ810mWriteIoByte", from);
    ASSERT_EQ(writes.size(), 1u) << e2e::DescribeTrace(app.Trace(), from);
    EXPECT_EQ(writes[0].args, (std::vector<uint32_t>{0, 0xD0FA, 0x44}));

    // Untick: bits 6 and 7 cleared, "双字" gone from the MEM mode list.
    from = Mark();
    ClickCheck(IDC_MEM_32BIT, false);
    writes = e2e::CallsNamed(app.Trace(), "TZ810mWriteIoByte", from);
    ASSERT_EQ(writes.size(), 1u) << e2e::DescribeTrace(app.Trace(), from);
    EXPECT_EQ(writes[0].args, (std::vector<uint32_t>{0, 0xD0FA, 0x04}));
    EXPECT_EQ(app.ComboEntries(IDC_MEM_WIDTH), Modes({"字节"}));
    EXPECT_TRUE(app.MessageBoxes().empty());

    // With only "字节" left and no selection, a MEM read is a double-word one.
    app.Select(IDC_MEM_WIDTH, -1);
    Paste(IDC_MEM_ADDR, "0");
    Paste(IDC_MEM_LENGTH, "4");
    from = Mark();
    Do(IDC_MEM_READ, "MEM read");
    auto blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].Arg(1), 0x1Au);

    // The set button sets bit 6 again but leaves box and list as they are.
    from = Mark();
    app.Select(IDC_PULSE_COMBO, 0);
    app.Click(IDC_PULSE_SET);
    ExpectBox("设置成功", false, true);
    EXPECT_EQ(Text(IDC_PULSE_NOW), "30");
    writes = e2e::CallsNamed(app.Trace(), "TZ810mWriteIoByte", from);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Arg(2), 0x40u);
    EXPECT_EQ(app.CheckState(IDC_MEM_32BIT), BST_UNCHECKED);
    EXPECT_EQ(app.ComboEntries(IDC_MEM_WIDTH), Modes({"字节"}));

    // Tick again: bit 6 on, "双字" back at position 1.
    from = Mark();
    ClickCheck(IDC_MEM_32BIT, true);
    writes = e2e::CallsNamed(app.Trace(), "TZ810mWriteIoByte", from);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Arg(2), 0x40u);
    EXPECT_EQ(app.ComboEntries(IDC_MEM_WIDTH), Modes({"字节", "双字"}));
}

// ------------------------------------------------------------------- I/O

TEST_F(Block, IoPanelWritesReadsAndRefuses)
{
    Start("", 0);  // default bench: a TZ820 at index 0, I/O base 0xD000

    // Direct address: a word write, then the bytes read back.
    app.Select(IDC_IO_WIDTH, 1);
    app.Select(IDC_IO_ADDR_TYPE, 1);
    Paste(IDC_IO_ADDR, "300");
    Paste(IDC_IO_LENGTH, "10");
    Paste(IDC_IO_DATA, "12 34 56 78 ");
    size_t from = Mark();
    app.Click(IDC_IO_WRITE);
    ExpectBox("写成功", false, false);
    auto blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x15, 0x300, 4}));
    EXPECT_EQ(blocks[0].data, "12345678");

    Do(IDC_IO_CLEAR, "clear");
    EXPECT_EQ(Text(IDC_IO_DATA), "");
    Paste(IDC_IO_LENGTH, "6");
    from = Mark();
    Do(IDC_IO_READ, "I/O read");
    blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x11, 0x300, 6}));
    EXPECT_EQ(Text(IDC_IO_DATA), "12 34 56 78 FF FF ");
    EXPECT_TRUE(app.MessageBoxes().empty());

    // Offset address: the chip's registers, 0xFA holding the pulse code.
    app.Select(IDC_IO_WIDTH, 0);
    app.Select(IDC_IO_ADDR_TYPE, 0);
    Paste(IDC_IO_ADDR, "F9");
    Paste(IDC_IO_LENGTH, "2");
    from = Mark();
    Do(IDC_IO_READ, "I/O read");
    blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x10, 0xD0F9, 2}));
    EXPECT_EQ(Text(IDC_IO_DATA).substr(3), "44 ");

    // Refusals, none of which reaches the library.
    from = Mark();
    Paste(IDC_IO_ADDR, "1G");
    app.Click(IDC_IO_READ);
    ExpectBox(kBadCharacter, true, true);
    Paste(IDC_IO_ADDR, "0");
    Paste(IDC_IO_LENGTH, "8001");
    app.Click(IDC_IO_READ);
    ExpectBox("请输入小于等于0x8000的长度!", true, true);
    app.Select(IDC_IO_WIDTH, 1);
    Paste(IDC_IO_ADDR, "1");
    Paste(IDC_IO_LENGTH, "2");
    app.Click(IDC_IO_READ);
    ExpectBox("请输入能存储字的起始地址并且数据长度为2的倍数", true, true);
    Paste(IDC_IO_ADDR, "0");
    Paste(IDC_IO_DATA, "01 02 zz");
    app.Click(IDC_IO_WRITE);
    ExpectBox(kBadCharacter, true, true);
    EXPECT_TRUE(Blocks(from).empty()) << e2e::DescribeTrace(app.Trace(), from);
}

// ------------------------------------------------------------------- MEM

TEST_F(Block, MemPanelWritesReadsAndKeepsToTheWindow)
{
    Start("card 0 = TZ820\nmem_base 0 = 0xFE000000\n", 0);

    app.Select(IDC_MEM_WIDTH, 1);
    Paste(IDC_MEM_ADDR, "100");
    Paste(IDC_MEM_LENGTH, "10");  // more than the box holds: four bytes go
    Paste(IDC_MEM_DATA, "DE AD BE EF ");
    size_t from = Mark();
    app.Click(IDC_MEM_WRITE);
    ExpectBox("写成功", false, false);
    auto blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x1E, 0xFE000100, 4}));
    EXPECT_EQ(blocks[0].data, "DEADBEEF");

    app.Select(IDC_MEM_WIDTH, 0);
    Paste(IDC_MEM_ADDR, "FF");
    Paste(IDC_MEM_LENGTH, "6");
    from = Mark();
    Do(IDC_MEM_READ, "MEM read");
    blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x18, 0xFE0000FF, 6}));
    EXPECT_EQ(Text(IDC_MEM_DATA), "00 DE AD BE EF 00 ");

    from = Mark();
    Paste(IDC_MEM_ADDR, "7FFF");
    Paste(IDC_MEM_LENGTH, "1");
    app.Click(IDC_MEM_READ);
    ExpectBox("您输入的地址+长度>0x7FFF发生错误,请查阅TZ810mAccessBlock的相关说明", true, true);
    app.Select(IDC_MEM_WIDTH, 1);
    Paste(IDC_MEM_ADDR, "2");
    Paste(IDC_MEM_LENGTH, "4");
    app.Click(IDC_MEM_READ);
    ExpectBox("请输入能存储双字的起始地址且数据长度为4的倍数", true, true);
    EXPECT_TRUE(Blocks(from).empty()) << e2e::DescribeTrace(app.Trace(), from);
}

// -------------------------------------------------------------- failures

TEST_F(Block, FailuresAreReportedWithTheirIcons)
{
    // The open writes the pulse register once; the set button's write fails.
    Start("card 0 = TZ820\nfault TZ810mAccessBlock = always\nfault TZ810mWriteIoByte = from 2\n", 0);
    const std::string width = Text(IDC_PULSE_NOW);
    app.Select(IDC_PULSE_COMBO, 7);
    app.Click(IDC_PULSE_SET);
    ExpectBox("设置失败", true, true);
    EXPECT_EQ(Text(IDC_PULSE_NOW), width);

    // A byte read at a direct address fails without an icon; the length box
    // is emptied and the data box kept.
    Paste(IDC_IO_DATA, "AA ");
    app.Select(IDC_IO_ADDR_TYPE, 1);
    Paste(IDC_IO_ADDR, "0");
    Paste(IDC_IO_LENGTH, "4");
    app.Click(IDC_IO_READ);
    ExpectBox("IO读取失败", false, true);
    EXPECT_EQ(Text(IDC_IO_LENGTH), "");
    EXPECT_EQ(Text(IDC_IO_DATA), "AA ");
    app.Select(IDC_IO_ADDR_TYPE, 0);
    Paste(IDC_IO_LENGTH, "4");
    app.Click(IDC_IO_READ);
    ExpectBox("IO读取失败", true, true);
    app.Click(IDC_IO_WRITE);
    ExpectBox("请输入地址,数据长度和写入数据内容", true, true);  // length emptied
    Paste(IDC_IO_LENGTH, "1");
    app.Click(IDC_IO_WRITE);
    ExpectBox("写失败", true, false);

    Paste(IDC_MEM_ADDR, "0");
    Paste(IDC_MEM_LENGTH, "4");
    Paste(IDC_MEM_DATA, "01 02 03 04");
    app.Select(IDC_MEM_WIDTH, 0);
    app.Click(IDC_MEM_READ);
    ExpectBox("MEM读取失败", true, true);
    app.Select(IDC_MEM_WIDTH, 1);
    app.Click(IDC_MEM_READ);
    ExpectBox("MEM读取失败", false, true);
    EXPECT_EQ(Text(IDC_MEM_DATA), "01 02 03 04");
    EXPECT_EQ(Text(IDC_MEM_LENGTH), "4");
    app.Click(IDC_MEM_WRITE);
    ExpectBox("写失败", true, false);
}

// ------------------------------------------------------- full block

TEST_F(Block, FullIoBlockReadIsWrittenBackWhole)
{
    Start("", 0);
    app.Select(IDC_IO_ADDR_TYPE, 1);
    Paste(IDC_IO_ADDR, "0");
    Paste(IDC_IO_LENGTH, "8000");

    // Put a pattern into I/O space 0-0x7FFF through the panel itself.
    std::string pattern;
    pattern.reserve(3 * 0x8000);
    const char digits[] = "0123456789ABCDEF";
    for (unsigned i = 0; i < 0x8000; ++i) {
        unsigned char b = static_cast<unsigned char>(i * 37 + (i >> 8));
        pattern += digits[b >> 4];
        pattern += digits[b & 15];
        pattern += ' ';
    }
    std::wstring wide = Widen(pattern);
    SendMessageTimeoutW(app.Item(IDC_IO_DATA), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                        SMTO_NORMAL, kLongSend, nullptr);
    app.Click(IDC_IO_WRITE);
    ExpectBox("写成功", false, false);

    // Read it back; the box gets the whole text in one go.
    SendMessageTimeoutW(app.Item(IDC_IO_DATA), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                        SMTO_NORMAL, kLongSend, nullptr);
    size_t from = Mark();
    app.Click(IDC_IO_READ);
    DWORD_PTR length = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kLongSend) {
        if (SendMessageTimeoutW(app.Item(IDC_IO_DATA), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL,
                                kLongSend, &length) &&
            length == 3 * 0x8000)
            break;
        Sleep(50);
    }
    ASSERT_EQ(length, 3u * 0x8000);
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(Narrow(app.Text(IDC_IO_DATA)) == pattern) << "the text shown is not the pattern";
    auto blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    const std::string readBytes = blocks[0].out;
    ASSERT_EQ(readBytes.size(), 2u * 0x8000);

    // Written back unchanged: every byte arrives.
    from = Mark();
    app.Click(IDC_IO_WRITE);
    ExpectBox("写成功", false, false);
    blocks = Blocks(from);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].args, (std::vector<uint32_t>{0, 0x14, 0, 0x8000}));
    EXPECT_EQ(blocks[0].data.size(), 2u * 0x8000);
    EXPECT_TRUE(blocks[0].data == readBytes) << "the bytes written back differ from those read";
}

} // namespace
