// The flash write reads the written range back before it reports, in the
// real program against the simulated library's NOR flash.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;

const wchar_t kOpenTitle[] =  // 选择即将写入的目标文件
    L"\u9009\u62e9\u5373\u5c06\u5199\u5165\u7684\u76ee\u6807\u6587\u4ef6";

// Writes `content` to `name` in the program's folder, chooses it in the
// flash write's open dialog and returns the box that follows.
e2e::MessageBoxInfo WriteFlashFrom(e2e::TzDebug &app, const wchar_t *name,
                                   const std::string &content)
{
    const std::wstring path = app.Folder() + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(file);

    app.Click(1061);
    HWND dialog = app.WaitDialog(kOpenTitle);
    if (!dialog)
        return {};
    e2e::TzDebug::SetTextOf(GetDlgItem(dialog, 0x47C), path);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    app.WaitDialogGone(kOpenTitle);
    return app.WaitMessageBox();
}

TEST(FlashReadBack, WriteIsReadBackAndAnUnerasedFlashIsAFailure)
{
    e2e::TzDebug app;
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Select(1074, 0);
    app.Click(1140);
    ASSERT_TRUE(app.Settle());

    // Erased flash takes the image: written, then read back in one chunk.
    size_t mark = app.Trace().size();
    e2e::MessageBoxInfo box = WriteFlashFrom(app, L"abc.bin", "abc");
    ASSERT_TRUE(box) << "no box after the first write";
    EXPECT_EQ(Narrow(box.text), "写FLASH完成");
    EXPECT_FALSE(box.hasIcon);
    ASSERT_TRUE(app.PressOk(box));
    std::vector<TraceCall> trace = app.Trace();
    std::vector<std::string> names;
    for (size_t i = mark; i < trace.size(); ++i)
        names.push_back(trace[i].name);
    EXPECT_EQ(names, (std::vector<std::string>{"TZ780mWriteFlash", "TZ780mReadFlash"}))
        << e2e::DescribeTrace(trace, mark);
    std::vector<TraceCall> reads = e2e::CallsNamed(trace, "TZ780mReadFlash", mark);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].Arg(0), 0u);
    EXPECT_EQ(reads[0].Arg(1), 0u);
    EXPECT_EQ(reads[0].Arg(2), 3u);

    // Over "abc", unerased, "xyz" leaves the AND of both.
    mark = app.Trace().size();
    box = WriteFlashFrom(app, L"xyz.bin", "xyz");
    ASSERT_TRUE(box) << "no box after the second write";
    EXPECT_EQ(Narrow(box.text), "写FLASH失败");
    EXPECT_EQ(box.icon, e2e::BoxIcon::Error);
    ASSERT_TRUE(app.PressOk(box));
    EXPECT_EQ(e2e::CallsNamed(app.Trace(), "TZ780mReadFlash", mark).size(), 1u);
}

} // namespace
