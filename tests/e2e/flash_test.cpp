// The common file dialogs as the flash commands set them up, and the Win32
// file port behind them: a bare name saved with the default extension in
// the program's folder, an existing file in a long path replaced whole after
// the overwrite question, and the 64 KiB bound of the image read.
#include <windows.h>

#include <gtest/gtest.h>

#include "driver.h"
#include "resource.h"

namespace {

using e2e::Narrow;
using Entries = std::vector<std::wstring>;

const wchar_t kSaveTitle[] = L"\u4fdd\u5b58\u6587\u4ef6";  // 保存文件
const wchar_t kOpenTitle[] = L"\u9009\u62e9\u5373\u5c06\u5199\u5165\u7684\u76ee\u6807\u6587\u4ef6";
const int kNameBox = 0x47C, kFilterCombo = 0x470, kReadOnlyBox = 0x410;

class FileDialogs : public testing::Test {
protected:
    e2e::TzDebug app;

    HWND WaitFileDialog(const wchar_t *title, HWND owner, const Entries &filters)
    {
        HWND dialog = app.WaitDialog(title);
        EXPECT_TRUE(dialog) << Narrow(title);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner) << Narrow(title);
        EXPECT_EQ(app.ComboEntries(GetDlgItem(dialog, kFilterCombo)), filters) << Narrow(title);
        return dialog;
    }
    // Types the name, presses OK and answers the overwrite question when asked.
    void Choose(HWND dialog, const wchar_t *title, const std::wstring &path, bool overwrite = false)
    {
        e2e::TzDebug::SetTextOf(GetDlgItem(dialog, kNameBox), path);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        if (overwrite) {
            HWND question = nullptr;
            ASSERT_TRUE(e2e::WaitFor([&] {
                for (HWND h : app.Dialogs(title))
                    if (GetWindow(h, GW_OWNER) == dialog)
                        question = h;
                return question != nullptr;
            })) << "no overwrite question";
            PostMessageW(question, WM_COMMAND, IDYES, 0);
        }
        ASSERT_TRUE(app.WaitDialogGone(title)) << Narrow(title);
    }
    void ExpectBox(const std::string &text, bool icon) { e2e::ExpectMessageBox(app, text, icon, app.Main()); }
};

TEST_F(FileDialogs, FlashReadSavesAndFlashWriteOpensAsSetUp)
{
    std::string flash(0x10000, '\0'), hex;
    for (size_t i = 0; i < flash.size(); ++i) {
        flash[i] = char(i * 13 + (i >> 8) * 7 + 5);
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", unsigned(uint8_t(flash[i])));
        hex += pair;
    }
    // The simulator keeps its flash in its state file, read at load.
    ASSERT_TRUE(e2e::WriteWholeFile(app.Folder() + L"\\state.bin", "tzsim-state 1\nflash " + hex + "\n"));
    std::wstring longFolder = app.Folder() + L"\\";
    longFolder += std::wstring(237 - longFolder.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    const std::wstring image = longFolder + L"\\img.bin";  // 245 characters
    ASSERT_TRUE(e2e::WriteWholeFile(image, std::string(0x10100, 'x')));
    ASSERT_TRUE(e2e::WriteWholeFile(app.Folder() + L"\\over.bin", std::string(0x10001, 'x')));
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);

    const Entries saveFilters = {L"Images(*.txt)", L"All Files(*.*)"};
    app.Click(IDC_FLASH_READ);
    Choose(WaitFileDialog(kSaveTitle, nullptr, saveFilters), kSaveTitle, L"image");
    ExpectBox("读FLASH成功", false);
    EXPECT_TRUE(e2e::ReadWholeFile(app.Folder() + L"\\image.txt") == flash);

    app.Click(IDC_FLASH_READ);
    Choose(WaitFileDialog(kSaveTitle, nullptr, saveFilters), kSaveTitle, image, true);
    ExpectBox("读FLASH成功", false);
    EXPECT_TRUE(e2e::ReadWholeFile(image) == flash);

    const Entries openFilters = {L"Images(*.TXT)", L"All Files(*.*)"};
    app.Click(IDC_FLASH_WRITE);
    HWND open = WaitFileDialog(kOpenTitle, app.Main(), openFilters);
    EXPECT_EQ(SendMessageW(GetDlgItem(open, kReadOnlyBox), BM_GETCHECK, 0, 0), BST_CHECKED);
    Choose(open, kOpenTitle, image);
    ExpectBox("写FLASH完成", false);
    const auto writes = e2e::CallsNamed(app.Trace(), "TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Arg(2), 0x10000u);
    EXPECT_EQ(_strnicmp(writes[0].data.c_str(), hex.c_str(), 16), 0) << writes[0].data.substr(0, 16);

    app.Click(IDC_FLASH_WRITE);
    Choose(WaitFileDialog(kOpenTitle, app.Main(), openFilters), kOpenTitle, app.Folder() + L"\\over.bin");
    ExpectBox("只能打开小于64K的文件", true);
}

} // namespace
