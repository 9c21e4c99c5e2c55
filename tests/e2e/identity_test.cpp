// The identity EEPROM dialog as only the real program shows it: its
// template, no owner beside a usable main dialog, its boxes' filter and
// limits as typed, and its message boxes owned by it.
#include <windows.h>

#include <gtest/gtest.h>

#include "driver.h"
#include "resource.h"

namespace {

using e2e::Narrow;

TEST(IdentityDialog, TemplateOwnerKeysAndItsOwnMessageBoxes)
{
    e2e::TzDebug app;
    ASSERT_TRUE(app.Launch("card 0 = TZ810\nvid 0 = 0x1A2B\n")) << app.Error();
    app.Click(IDC_OPEN);
    app.Click(IDC_IDENTITY);
    const std::wstring caption = L"\u5916\u7f6e24C02\u82af\u7247\u8bfb\u5199";  // 外置24C02芯片读写
    HWND dialog = app.WaitDialog(caption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    const std::vector<std::pair<int, std::string>> rows = {
    {IDC_EEPROM_WRITE, "B写EEPROM"}, {-1, "LVID(厂商标识 : Vendor ID)"}, {IDC_VID, "I"},
    {-1, "LDID(设备标识: Device ID)"}, {IDC_DID, "I"}, {-1, "LRID(芯片版本 : Revision ID)"}, {IDC_RID, "I"},
    {-1, "LSVID(子系统厂商标识 : Subsystem Vendor ID)"}, {IDC_SVID, "I"},
    {-1, "LSID(子系统标识 : Subsystem ID)"}, {IDC_SID, "I"}, {-1, "LHEX"}, {-1, "LHEX"}, {-1, "LHEX"},
    {-1, "LHEX"}, {-1, "LHEX"}, {IDC_EEPROM_READ, "B读EEPROM"},
    };
    EXPECT_EQ(e2e::DescribeControls(dialog), rows);
    EXPECT_EQ(Narrow(app.TextOf(GetDlgItem(dialog, IDC_VID))), "1A2B");
    EXPECT_FALSE(app.Enabled(IDC_IDENTITY));

    const std::pair<int, std::string> typed[] = {{IDC_VID, "abCD"}, {IDC_DID, "0123"},
                                                 {IDC_RID, "45"}, {IDC_SVID, "6789"}, {IDC_SID, "EfeF"}};
    for (const auto &[id, text] : typed) {
        e2e::TzDebug::SetTextOf(GetDlgItem(dialog, id), L"");
        e2e::TzDebug::TypeInto(GetDlgItem(dialog, id), L"g-x " + e2e::Widen(text) + L"123");
    }
    PostMessageW(dialog, WM_COMMAND, IDC_EEPROM_WRITE, 0);
    e2e::MessageBoxInfo box = app.WaitMessageBox();
    EXPECT_EQ(Narrow(box.text), "写EEPROM完成");
    EXPECT_EQ(box.owner, dialog);
    EXPECT_FALSE(box.hasIcon);
    ASSERT_TRUE(app.PressOk(box));
    for (const auto &[id, text] : typed)
        EXPECT_EQ(Narrow(app.TextOf(GetDlgItem(dialog, id))), text) << id;
    const auto writes = e2e::CallsNamed(app.Trace(), "TZ810mWriteI2C");
    ASSERT_EQ(writes.size(), 32u);
    EXPECT_EQ(writes[4].Arg(3), 0xCDu);

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(caption));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(IDC_IDENTITY));
}

} // namespace
