// Pasted text that no key filter saw, in an edit box of the main dialog and of the identity
// dialog, then the box's button: 40,000 characters, past what an edit box takes by default, must
// reach the program whole enough to be used, and non-ASCII text must be refused, with the program
// staying up. Longer text and multi-line boxes only cost time: Wine lays out an edit box in time
// that grows with the square of its length, and every box's text comes through the same port.
#include <windows.h>
#include <gtest/gtest.h>
#include "driver.h"
#include "resource.h"

namespace {
using e2e::Narrow, e2e::TzDebug;
const char kBad[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

struct Row {
    int box, button;
    const char *call;  // the button's library function
    const char *done;  // its message once the call is made
};

const Row kRows[] = {
    {IDC_CFG_DATA, IDC_CFG_WRITE, "TZ810mWriteConfig", "写数据成功!"},
    {IDC_VID, IDC_EEPROM_WRITE, "TZ810mWriteI2C", "写EEPROM完成"},
};

TEST(BadInput, LongTextIsUsedAndNonAsciiTextRefused)
{
    TzDebug app;
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    HWND identity = nullptr;
    for (const Row &row : kRows) {
        if (row.box == IDC_VID) {
            app.Click(IDC_IDENTITY);
            identity = app.WaitDialog(e2e::Widen("外置24C02芯片读写"));
            ASSERT_NE(identity, nullptr);
        }
        const HWND window = identity ? identity : app.Main();
        for (const bool ascii : {true, false}) {
            SCOPED_TRACE(testing::Message() << "box " << row.box << (ascii ? " long" : " 中文"));
            app.SetText(IDC_CFG_ADDR, L"40");
            TzDebug::SetTextOf(GetDlgItem(window, row.box),
                               ascii ? std::wstring(40000, L'1') : L"１２中文");
            const size_t before = app.Calls(row.call).size();
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(row.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, row.button)));
            // Wine's edit boxes take seconds over a long text, and the program does not answer
            // meanwhile.
            bool settled = false;
            for (DWORD start = GetTickCount(); !settled && GetTickCount() - start < 120000;)
                settled = app.Settle();
            ASSERT_TRUE(settled) << "the program stopped answering";
            const char *message = ascii ? row.done : kBad;
            e2e::MessageBoxInfo box = app.WaitMessageBox();
            ASSERT_NE(box.hwnd, nullptr) << "expected \"" << message << "\"";
            EXPECT_EQ(Narrow(box.text), message);
            ASSERT_TRUE(app.PressOk(box));
            EXPECT_EQ(app.Calls(row.call).size() > before, ascii);
            ASSERT_TRUE(app.Running());
        }
    }
}
}  // namespace
