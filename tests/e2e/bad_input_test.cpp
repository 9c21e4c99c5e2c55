// Pasted text that no key filter saw, then the box's button: 40,000 characters, past what an edit
// box takes by default, must reach the program whole enough to be used, and non-ASCII text must be
// refused, with the program staying up. Every box of both dialogs is read through the one port, so
// one box stands for them all; longer text only costs time, as Wine lays out an edit box in time
// that grows with the square of its length.
#include <windows.h>
#include <gtest/gtest.h>
#include "checks.h"
#include "resource.h"

namespace {
using e2e::Narrow, e2e::TzDebug;
const char kBad[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

TEST(BadInput, LongTextIsUsedAndNonAsciiTextRefused)
{
    TzDebug app;
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    app.SetText(IDC_CFG_ADDR, L"40");
    for (const bool ascii : {true, false}) {
        SCOPED_TRACE(ascii ? "long" : "中文");
        app.SetText(IDC_CFG_DATA, ascii ? std::wstring(40000, L'1') : L"１２中文");
        const size_t before = app.Calls("TZ810mWriteConfig").size();
        app.Click(IDC_CFG_WRITE);
        // Wine's edit boxes take seconds over a long text, and the program does not answer
        // meanwhile.
        bool settled = false;
        for (DWORD start = GetTickCount(); !settled && GetTickCount() - start < 120000;)
            settled = app.Settle();
        ASSERT_TRUE(settled) << "the program stopped answering";
        const char *message = ascii ? "写数据成功!" : kBad;
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_NE(box.hwnd, nullptr) << "expected \"" << message << "\"";
        EXPECT_EQ(Narrow(box.text), message);
        ASSERT_TRUE(app.PressOk(box));
        EXPECT_EQ(app.Calls("TZ810mWriteConfig").size() > before, ascii);
        ASSERT_TRUE(app.Running());
    }
}
}  // namespace
