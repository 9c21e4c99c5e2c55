// Pasted text that no key filter saw, in every edit box of the main and identity dialogs, then the
// box's read or write button: the program must stay up, leave the card alone unless the part of the
// text it looks at is valid, and say what it says for that text.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include "driver.h"
#include "resource.h"

namespace {
using e2e::Narrow, e2e::TzDebug;
const char kBad[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!",
           kReadNeedsBoth[] = "请输入地址和数据长度",
           kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容", kNeedAddress[] = "请输入地址!",
           kNeedBoth[] = "请输入地址和数据!", kWritten[] = "写成功", kByteWritten[] = "写数据成功!",
           kEepromWritten[] = "写EEPROM完成";
// Pasted text number i, in the order of Row::expect: the empty text, 32,767, 32,768 and 100,000
// characters, CR/LF, a tab, an embedded NUL (which ends the text on its way into the box, as it
// would from the clipboard) and non-ASCII text. The long ones are digits; in a data box, byte-run
// text in lines of 16 bytes, since Wine's multi-line box lays out one long paragraph in time that
// grows with the square of its length.
const size_t kInputCount = 8;

std::wstring Input(size_t i, bool dataBox)
{
    const size_t kLong[kInputCount] = {0, 32767, 32768, 100000, 0, 0, 0, 0};
    const std::wstring kText[kInputCount] = {L"",
                                             L"",
                                             L"",
                                             L"",
                                             L"12\r\n34",
                                             L"12\t34",
                                             std::wstring(L"12\0"
                                                          L"34",
                                                          5),
                                             L"１２中文"};
    std::wstring text = kText[i];
    while (text.size() < kLong[i])
        text += dataBox ? L"11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00\r\n" : L"1";
    text.resize(std::max(kText[i].size(), kLong[i]));
    return text;
}

// Per input: 'E' the row's message for an empty box, 'B' the bad-character message (both without a
// device call), 'C' the device call and then the row's message for it (none after a read).
struct Row {
    int box, button;
    const char *call, *empty, *done,
        *expect;  // the button's library function; messages for 'E' and 'C' (or null)
};

const Row kMain[] = {
    {IDC_IO_ADDR, IDC_IO_READ, "TZ810mAccessBlock", kReadNeedsBoth, nullptr, "ECCCBBCB"},
    {IDC_IO_LENGTH, IDC_IO_READ, "TZ810mAccessBlock", kReadNeedsBoth, nullptr, "ECCCBBCB"},
    {IDC_IO_DATA, IDC_IO_WRITE, "TZ810mAccessBlock", kWriteNeedsAll, kWritten, "ECCCCCCB"},
    {IDC_MEM_ADDR, IDC_MEM_READ, "TZ810mAccessBlock", kReadNeedsBoth, nullptr, "ECCCBBCB"},
    {IDC_MEM_LENGTH, IDC_MEM_READ, "TZ810mAccessBlock", kReadNeedsBoth, nullptr, "ECCCBBCB"},
    {IDC_MEM_DATA, IDC_MEM_WRITE, "TZ810mAccessBlock", kWriteNeedsAll, kWritten, "ECCCCCCB"},
    {IDC_I2C_ADDR, IDC_I2C_READ, "TZ810mReadI2C", kNeedAddress, nullptr, "ECCCCCCB"},
    {IDC_I2C_DATA, IDC_I2C_WRITE, "TZ810mWriteI2C", kNeedBoth, kByteWritten, "ECCCCCCB"},
    {IDC_CFG_ADDR, IDC_CFG_READ, "TZ810mReadConfig", kNeedAddress, nullptr, "ECCCCCCB"},
    {IDC_CFG_DATA, IDC_CFG_WRITE, "TZ810mWriteConfig", kNeedBoth, kByteWritten, "ECCCCCCB"},
};
// Every identity box must hold a value, so the empty one is a bad character.
const Row kIdentity[] = {
    {IDC_VID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", kBad, kEepromWritten, "BCCCBBCB"},
    {IDC_DID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", kBad, kEepromWritten, "BCCCBBCB"},
    {IDC_RID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", kBad, kEepromWritten, "BCCCCCCB"},
    {IDC_SVID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", kBad, kEepromWritten, "BCCCBBCB"},
    {IDC_SID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", kBad, kEepromWritten, "BCCCBBCB"},
};
// Valid text in every box, so that only the box under test can be wrong.
const std::pair<int, const wchar_t *> kValid[] = {
    {IDC_IO_ADDR, L"0"},   {IDC_IO_LENGTH, L"4"},  {IDC_IO_DATA, L"01 02 03 04"},
    {IDC_MEM_ADDR, L"0"},  {IDC_MEM_LENGTH, L"4"}, {IDC_MEM_DATA, L"01 02 03 04"},
    {IDC_I2C_ADDR, L"40"}, {IDC_I2C_DATA, L"5A"},  {IDC_CFG_ADDR, L"40"},
    {IDC_CFG_DATA, L"5A"}, {IDC_VID, L"7A5D"},     {IDC_DID, L"5834"},
    {IDC_RID, L"01"},      {IDC_SVID, L"7A5D"},    {IDC_SID, L"0001"},
};

class BadInput : public testing::Test {
  protected:
    HWND Box(int id) const
    {
        return GetDlgItem(id >= IDC_VID && id <= IDC_SID ? dialog : app.Main(), id);
    }

    void Walk(const Row &row, HWND window)
    {
        const bool dataBox = row.box == IDC_IO_DATA || row.box == IDC_MEM_DATA;
        for (size_t i = 0; i < kInputCount; ++i) {
            SCOPED_TRACE("box " + std::to_string(row.box) + ", input " + std::to_string(i));
            for (const auto &[id, text] : kValid)
                if (HWND b = Box(id))
                    TzDebug::SetTextOf(b, text);
            TzDebug::SetTextOf(Box(row.box), Input(i, dataBox));
            const size_t before = app.Trace().size();
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(row.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, row.button)));
            // Wine's edit boxes take seconds over a long text, and the program does not answer
            // meanwhile.
            bool settled = false;
            for (DWORD start = GetTickCount();
                 !(settled = app.Settle()) && GetTickCount() - start < 120000;) {
            }
            ASSERT_TRUE(settled) << "the program stopped answering";
            const char kind = row.expect[i];
            const char *message = kind == 'E' ? row.empty : kind == 'B' ? kBad : row.done;
            if (message) {
                e2e::MessageBoxInfo box = app.WaitMessageBox();
                ASSERT_TRUE(box) << "expected \"" << message << "\"";
                EXPECT_EQ(Narrow(box.text), message);
                ASSERT_TRUE(app.PressOk(box));
            } else {
                EXPECT_FALSE(app.WaitMessageBox(300)) << "a read showed a message";
            }
            const auto calls = e2e::CallsNamed(app.Trace(), row.call, before);
            EXPECT_EQ(!calls.empty(), kind == 'C') << e2e::DescribeTrace(app.Trace(), before);
            ASSERT_TRUE(app.Running());
        }
    }

    TzDebug app;
    HWND dialog = nullptr;
};

TEST_F(BadInput, EveryEditBoxRefusesOrUsesWhatItLooksAt)
{
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    ASSERT_TRUE(app.Settle());
    for (const Row &row : kMain)
        Walk(row, app.Main());
    app.Click(IDC_IDENTITY);
    dialog = app.WaitDialog(L"外置24C02芯片读写");
    ASSERT_NE(dialog, nullptr);
    for (const Row &row : kIdentity)
        Walk(row, dialog);
}
}  // namespace
