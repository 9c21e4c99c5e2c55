// The identity EEPROM dialog end to end: opened from "配置信息" beside a
// usable main dialog, read, written with its pauses, refusals, the ways it
// ends, and the identity the card takes from the EEPROM at the next start.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "resource.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;
using e2e::TzDebug;
using e2e::Widen;

const wchar_t kIdentityCaption[] = L"外置24C02芯片读写";
const char kBadCharacters[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";
const char kReadFailed[] = "读EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteFailed[] = "写EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteDone[] = "写EEPROM完成";
const int kBoxes[] = {IDC_VID, IDC_DID, IDC_RID, IDC_SVID, IDC_SID};
// The factory identity of the default bench's TZ820 at index 0.
const std::vector<std::string> kFactoryTz820 = {"7A5D", "5834", "01", "7A5D", "0001"};

class Identity : public testing::Test {
protected:
    void Start(const std::string &config)
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
    }
    void Open(int index)
    {
        app.Select(IDC_DEVICE_COMBO, index);
        Do(IDC_OPEN, "open");
        ASSERT_FALSE(app.Enabled(IDC_OPEN)) << "device " << index << " did not open";
    }
    void Do(int id, const char *what)
    {
        app.Click(id);
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << what;
    }
    // Presses "配置信息" and waits for the dialog.
    void OpenDialog()
    {
        app.Click(IDC_IDENTITY);
        dialog = app.WaitDialog(kIdentityCaption);
        ASSERT_NE(dialog, nullptr) << "the identity EEPROM dialog did not appear";
    }
    void DialogClick(int id)
    {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    void Cancel() { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); }
    std::vector<std::string> Shown() const
    {
        std::vector<std::string> out;
        for (int id : kBoxes)
            out.push_back(Narrow(TzDebug::TextOf(GetDlgItem(dialog, id))));
        return out;
    }
    void Type(const std::vector<std::string> &texts)
    {
        for (size_t i = 0; i < 5; ++i)
            TzDebug::SetTextOf(GetDlgItem(dialog, kBoxes[i]), Widen(texts[i]));
    }
    // The next message box shows `text`, with or without the error icon,
    // owned by `owner`; it is closed with OK.
    void ExpectBox(const std::string &text, bool icon, HWND owner)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.hasIcon, icon) << "icon of \"" << text << "\"";
        EXPECT_EQ(box.owner, owner) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
    }
    std::vector<TraceCall> CallsFrom(size_t from, const char *name) const
    {
        return e2e::CallsNamed(app.Trace(), name, from);
    }
    size_t TraceSize() const { return app.Trace().size(); }

    TzDebug app;
    HWND dialog = nullptr;
};

TEST_F(Identity, OpensBesideAUsableMainDialogReadsWritesWithPausesAndCancels)
{
    Start("");
    Open(0);
    size_t before = TraceSize();
    OpenDialog();
    EXPECT_FALSE(app.Enabled(IDC_IDENTITY));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    EXPECT_EQ(Shown(), kFactoryTz820);
    auto reads = CallsFrom(before, "TZ810mReadI2C");
    ASSERT_EQ(reads.size(), 32u) << e2e::DescribeTrace(app.Trace(), before);
    for (uint32_t a = 0; a < 32; ++a)
        EXPECT_EQ(reads[a].args, (std::vector<uint32_t>{0, 0x50, a})) << reads[a].line;

    // Text limits 4, 4, 2, 4, 4 and the hex-key filter on every box.
    const LRESULT limits[] = {4, 4, 2, 4, 4};
    for (size_t i = 0; i < 5; ++i) {
        DWORD_PTR limit = 0;
        SendMessageTimeoutW(GetDlgItem(dialog, kBoxes[i]), EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL,
                            5000, &limit);
        EXPECT_EQ(LRESULT(limit), limits[i]) << kBoxes[i];
        HWND box = GetDlgItem(dialog, kBoxes[i]);
        TzDebug::SetTextOf(box, L"");
        for (wchar_t c : std::wstring(L"g1 x-A"))
            PostMessageW(box, WM_CHAR, c, 1);
        ASSERT_TRUE(app.Settle());
        EXPECT_EQ(Narrow(TzDebug::TextOf(box)), "1A") << kBoxes[i];
    }
    // The write button has the focus.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info));
    EXPECT_EQ(info.hwndFocus, GetDlgItem(dialog, IDC_EEPROM_WRITE));

    // The main dialog keeps working meanwhile.
    app.SetText(IDC_CFG_ADDR, L"2");
    Do(IDC_CFG_READ, "configuration read");
    EXPECT_EQ(Narrow(app.Text(IDC_CFG_DATA)), "34");

    // A write with a box empty writes nothing; its box has no owner.
    Type({"1A2B", "abc", "", "0", "FFFF"});
    before = TraceSize();
    DialogClick(IDC_EEPROM_WRITE);
    ExpectBox(kBadCharacters, true, nullptr);
    EXPECT_TRUE(CallsFrom(before, "TZ810mWriteI2C").empty());

    Type({"1A2B", "abc", "7", "0", "FFFF"});
    before = TraceSize();
    DialogClick(IDC_EEPROM_WRITE);
    ExpectBox(kWriteDone, false, dialog);
    auto writes = CallsFrom(before, "TZ810mWriteI2C");
    ASSERT_EQ(writes.size(), 32u);
    const uint32_t block[32] = {0x78, 0, 0, 0, 0x2B, 0x1A, 0xBC, 0x0A,
                                0x07, 0, 0, 0x10, 0x00, 0x00, 0xFF, 0xFF};
    for (uint32_t a = 0; a < 32; ++a) {
        EXPECT_EQ(writes[a].args, (std::vector<uint32_t>{0, 0x50, a, block[a]})) << writes[a].line;
        EXPECT_EQ(writes[a].ResultValue(), 1u);
        // 20 ms after each byte; a millisecond of timer granularity allowed.
        if (a > 0) {
            EXPECT_GE(writes[a].ms - writes[a - 1].ms, 19.0) << writes[a - 1].line << " / "
                                                             << writes[a].line;
        }
    }
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1A2B", "abc", "7", "0", "FFFF"}));

    DialogClick(IDC_EEPROM_READ);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1A2B", "0ABC", "07", "0000", "FFFF"}));

    // The I2C panel sees the fixed bytes of the block.
    app.SetText(IDC_I2C_ADDR, L"0");
    Do(IDC_I2C_READ, "I2C read");
    EXPECT_EQ(Narrow(app.Text(IDC_I2C_DATA)), "78");
    app.SetText(IDC_I2C_ADDR, L"0B");
    Do(IDC_I2C_READ, "I2C read");
    EXPECT_EQ(Narrow(app.Text(IDC_I2C_DATA)), "10");

    // OK (Enter) does nothing here; cancel ends it and gives the button back.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(IsWindowVisible(dialog));
    Cancel();
    ASSERT_TRUE(app.WaitDialogGone(kIdentityCaption));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(IDC_IDENTITY));
}

TEST_F(Identity, FailuresAndTheDeviceCloseEndTheDialogAsTheyShould)
{
    // A TZ810 at 1 without EEPROM; the tenth byte of a write is refused.
    Start("eeprom 1 = absent\nfault TZ810mWriteI2C = call 10\n");

    // A read that fails while the dialog opens ends it, after a box owned
    // by the dialog; "配置信息" works again.
    Open(1);
    app.Click(IDC_IDENTITY);
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    ASSERT_TRUE(box) << "no message box after the failed read";
    EXPECT_EQ(Narrow(box.text), kReadFailed);
    EXPECT_FALSE(box.hasIcon);
    ASSERT_NE(box.owner, nullptr);
    EXPECT_EQ(TzDebug::TextOf(box.owner), kIdentityCaption);
    ASSERT_TRUE(app.PressOk(box));
    ASSERT_TRUE(app.WaitDialogGone(kIdentityCaption));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(IDC_IDENTITY));
    EXPECT_EQ(CallsFrom(0, "TZ810mReadI2C").size(), 1u);
    Do(IDC_CLOSE, "close");

    // A write refused at byte address 9 keeps the dialog open.
    Open(0);
    OpenDialog();
    Type({"1A2B", "5834", "01", "1A2B", "0001"});
    size_t before = TraceSize();
    DialogClick(IDC_EEPROM_WRITE);
    ExpectBox(kWriteFailed, false, dialog);
    auto writes = CallsFrom(before, "TZ810mWriteI2C");
    ASSERT_EQ(writes.size(), 10u);
    EXPECT_EQ(writes.back().Arg(2), 9u);
    EXPECT_EQ(writes.back().ResultValue(), 0u);
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(IsWindowVisible(dialog));
    DialogClick(IDC_EEPROM_READ);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(Shown(), (std::vector<std::string>{"1A2B", "5834", "01", "7A5D", "0001"}));

    // Closing the device ends it without touching the EEPROM.
    before = TraceSize();
    Do(IDC_CLOSE, "close");
    ASSERT_TRUE(app.WaitDialogGone(kIdentityCaption));
    EXPECT_TRUE(CallsFrom(before, "TZ810mReadI2C").empty());
    EXPECT_TRUE(CallsFrom(before, "TZ810mWriteI2C").empty());
    EXPECT_FALSE(app.Enabled(IDC_IDENTITY));
    Open(0);
    EXPECT_TRUE(app.Enabled(IDC_IDENTITY));
}

// Puts bytes into card `index`'s EEPROM in the simulator's state file, as an
// EEPROM programmer would with the card out of the machine.
bool ReprogramEeprom(const std::wstring &folder, unsigned index, unsigned address,
                     const std::string &hexBytes)
{
    std::wstring path = folder + L"\\state.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);

    std::string key = "\neeprom " + std::to_string(index) + " ";
    size_t at = text.find(key);
    if (at == std::string::npos)
        return false;
    text.replace(at + key.size() + 2 * address, hexBytes.size(), hexBytes);

    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

TEST_F(Identity, DeviceIdentifierWrittenMakesTheCardUnrecognisedAfterARestart)
{
    Start("");
    Open(0);
    OpenDialog();
    Type({"7A5D", "5899", "01", "7A5D", "0001"});
    DialogClick(IDC_EEPROM_WRITE);
    ExpectBox(kWriteDone, false, dialog);
    // Configuration space changes only when the card loads the EEPROM.
    app.SetText(IDC_CFG_ADDR, L"02");
    Do(IDC_CFG_READ, "configuration read");
    EXPECT_EQ(Narrow(app.Text(IDC_CFG_DATA)), "34");
    Cancel();
    ASSERT_TRUE(app.WaitDialogGone(kIdentityCaption));
    app.Click(IDC_EXIT);
    ASSERT_EQ(app.WaitExit(), 1);

    // Same folder, same state file: the card now answers 0x99 at offset 2.
    e2e::LaunchOptions options;
    options.waitForMain = false;
    ASSERT_TRUE(app.Launch(options)) << app.Error();
    ExpectBox("未能识别您的设备0，如果您更改了设备标识,即设备的配置寄存器中的02H空间，"
              "请将程序中相应的代码更改一下",
              false, nullptr);
    ASSERT_TRUE(app.WaitMain()) << app.Error();
    EXPECT_EQ(Narrow(app.Text(IDC_STATUS)), "");
    app.Select(IDC_DEVICE_COMBO, 0);
    app.Click(IDC_OPEN);
    ExpectBox("未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
              "请将程序中相应的代码更改一下",
              false, app.Main());
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(IDC_OPEN));
    app.Click(IDC_EXIT);
    ASSERT_EQ(app.WaitExit(), 1);

    // The original DID put back into the EEPROM: a TZ820 again.
    ASSERT_TRUE(ReprogramEeprom(app.Folder(), 0, 0x06, "3458"));
    ASSERT_TRUE(app.Launch(std::string())) << app.Error();
    EXPECT_EQ(Narrow(app.Text(IDC_STATUS)),
              "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. ");
    Open(0);
    EXPECT_EQ(Narrow(app.Text(IDC_STATUS)), "TZ820设备0已经打开");
    OpenDialog();
    EXPECT_EQ(Shown(), kFactoryTz820);
    Cancel();
    ASSERT_TRUE(app.WaitDialogGone(kIdentityCaption));
}

} // namespace
