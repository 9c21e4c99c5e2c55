// What only the real tzdebug.exe under Wine shows: its exit codes, the facts of its templates a
// user meets (caption, styles, hex-key filter and limits as typed), the message boxes' icon and
// owner, the help and identity dialogs, the interrupt count posted from the library's thread, and
// the file dialogs with the Win32 file port behind them.
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include "checks.h"
#include "help_text.h"
#include "resource.h"
#include "store.h"

namespace {
using e2e::Narrow, e2e::Widen;

class TzDebug : public testing::Test {
  protected:
    e2e::TzDebug app;

    // Checks a file dialog's owner and first filter.
    HWND FileDialog(const wchar_t *title, HWND owner, const wchar_t *filter)
    {
        HWND dialog = app.WaitDialog(title);
        EXPECT_NE(dialog, nullptr) << Narrow(title);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner) << Narrow(title);
        EXPECT_EQ(app.TextOf(GetDlgItem(dialog, 0x470)), filter) << Narrow(title);
        return dialog;
    }

    // Types the name, presses OK and answers the overwrite question if asked.
    void Choose(HWND dialog, const wchar_t *title, const std::wstring &path, bool overwrite = false)
    {
        e2e::TzDebug::SetTextOf(GetDlgItem(dialog, 0x47C), path);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        HWND question = nullptr;
        const auto asked = [&] {
            for (HWND h : app.Dialogs(title))
                if (GetWindow(h, GW_OWNER) == dialog)
                    question = h;
            return question != nullptr;
        };
        if (overwrite) {
            ASSERT_TRUE(e2e::WaitFor(asked)) << "no overwrite question";
            PostMessageW(question, WM_COMMAND, IDYES, 0);
        }
        ASSERT_TRUE(app.WaitDialogGone(title)) << Narrow(title);
    }
};

TEST_F(TzDebug, ExitsWithOneByTheCloseBoxAnd129WithoutTheLibrary)
{
    e2e::TzDebug run;
    ASSERT_TRUE(run.Launch("card 2 = TZ820\ncard 9 = TZ810\n")) << run.Error();
    // The enumeration went through the library bound at run time.
    EXPECT_EQ(Narrow(run.Text(IDC_STATUS)),
              "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. ");
    PostMessageW(run.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(run.WaitExit(), 1);
    EXPECT_EQ(run.Calls("TZ810mCloseDevice").size(), 17u);
    ASSERT_TRUE(app.Launch("", false)) << app.Error();
    ASSERT_TRUE(app.WaitMain(false)) << app.Error();
    e2e::ExpectMessageBox(app, "无法加载TZ810的DLL", true, app.Main());
    EXPECT_EQ(app.WaitExit(), 129);
}

TEST_F(TzDebug, MainDialogCaptionAndHexBoxesAsTyped)
{
    ASSERT_TRUE(app.Launch("")) << app.Error();
    EXPECT_EQ(app.TextOf(app.Main()), L"DEBUG TZ810/820");
    EXPECT_TRUE(GetWindowLongW(app.Main(), GWL_STYLE) & WS_MINIMIZEBOX);
    // Only hexadecimal digits and Backspace, up to each box's limit (22: none).
    const std::wstring digits = L"0123456789abcdefABCDEF";
    const std::wstring typed = L"gGzZ xX!.,-+:\t\r\n\x16\x1b\x7f" + Widen("中ａ") + digits + L"\b";
    for (const auto &[id, limit] : {std::pair{IDC_IO_ADDR, 4},
                                    {IDC_IO_LENGTH, 22},
                                    {IDC_IO_DATA, 22},
                                    {IDC_MEM_ADDR, 4},
                                    {IDC_MEM_LENGTH, 22},
                                    {IDC_MEM_DATA, 22},
                                    {IDC_I2C_ADDR, 2},
                                    {IDC_I2C_DATA, 2},
                                    {IDC_CFG_ADDR, 2},
                                    {IDC_CFG_DATA, 2}}) {
        app.SetText(id, L"");
        app.TypeInto(app.Item(id), typed);
        ASSERT_TRUE(app.Settle());
        EXPECT_EQ(app.Text(id), digits.substr(0, limit - 1)) << id;
    }
}

TEST_F(TzDebug, UnownedBoxesAndCountsArriveFromTheLibrarysThread)
{
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    app.SetText(IDC_IO_ADDR, L"0");
    app.SetText(IDC_IO_DATA, L"5A");
    app.Click(IDC_IO_WRITE);
    e2e::ExpectMessageBox(app, "写成功", false, nullptr);
    for (const auto &[button, box, count] : {std::tuple{IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"1"},
                                             {IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"2"},
                                             {IDC_EDGE_TEST, IDC_EDGE_COUNT, L"1"}}) {
        app.Click(button);
        ASSERT_TRUE(app.PressOk(app.WaitMessageBox()));
        const int id = box;
        const std::wstring expected = count;
        EXPECT_TRUE(e2e::WaitFor([&] { return app.Text(id) == expected; }))
            << Narrow(app.Text(id)) << " instead of " << Narrow(expected);
    }
}

TEST_F(TzDebug, HelpOpensUnownedAtItsFirstLine)
{
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_HELP);
    HWND help = app.WaitDialog(L"HELP");
    HWND text = GetDlgItem(help, IDC_HELP_TEXT);
    EXPECT_EQ(GetWindow(help, GW_OWNER), nullptr);
    // Lines do not wrap, and there is no horizontal scroll bar.
    const LONG scrolling = ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL;
    EXPECT_EQ(GetWindowLongW(text, GWL_STYLE) & scrolling, ES_AUTOHSCROLL | WS_VSCROLL);
    EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(app.TextOf(text), Widen(HelpText()));
    EXPECT_EQ(SendMessageW(text, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    const LRESULT selection = SendMessageW(text, EM_GETSEL, 0, 0);
    EXPECT_EQ(LOWORD(selection), HIWORD(selection)) << "text selected";
    PostMessageW(help, WM_COMMAND, IDOK, 0);  // only cancel ends it
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(IsWindow(help));
    PostMessageW(help, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(L"HELP"));
    EXPECT_TRUE(app.Running());
}

TEST_F(TzDebug, IdentityDialogOwnerKeysAndItsMessageBox)
{
    ASSERT_TRUE(app.Launch("card 0 = TZ810\nvid 0 = 0x1A2B\n")) << app.Error();
    app.Click(IDC_OPEN);
    app.Click(IDC_IDENTITY);
    const std::wstring caption = Widen("外置24C02芯片读写");
    HWND dialog = app.WaitDialog(caption);
    ASSERT_NE(dialog, nullptr);
    HWND vid = GetDlgItem(dialog, IDC_VID);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    EXPECT_EQ(Narrow(app.TextOf(vid)), "1A2B");
    EXPECT_FALSE(IsWindowEnabled(app.Item(IDC_IDENTITY)));
    // Its boxes take hexadecimal keys only, up to their limit.
    e2e::TzDebug::SetTextOf(vid, L"");
    e2e::TzDebug::TypeInto(vid, L"g-x abCD123");
    PostMessageW(dialog, WM_COMMAND, IDC_EEPROM_WRITE, 0);
    e2e::ExpectMessageBox(app, "写EEPROM完成", false, dialog);
    EXPECT_EQ(Narrow(app.TextOf(vid)), "abCD");
    EXPECT_NE(app.Calls("TZ810mWriteI2C").at(4).find(" 0x0 0x50 0x4 0xCD "), std::string::npos);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(caption));
}

TEST_F(TzDebug, FlashReadSavesAndFlashWriteOpensAsSetUp)
{
    const std::wstring save = Widen("保存文件");
    const std::wstring open = Widen("选择即将写入的目标文件");
    const wchar_t saveFilter[] = L"Images(*.txt)";
    const wchar_t openFilter[] = L"Images(*.TXT)";
    std::string flash(0x10000, '\0');
    std::string hex;
    for (size_t i = 0; i < flash.size(); ++i) {
        flash[i] = char(i * 13 + (i >> 8) * 7 + 5);
        hex += "0123456789ABCDEF"[uint8_t(flash[i]) >> 4];
        hex += "0123456789ABCDEF"[flash[i] & 0xF];
    }
    // The simulator keeps its flash in its state file; its cards power up on the first load.
    const auto bench = std::make_unique<tzsim::Layout>();
    bench->header = {{}, tzsim::kLayoutVersion, sizeof *bench};
    std::memcpy(bench->header.magic, tzsim::kMagic, sizeof tzsim::kMagic);
    std::memcpy(bench->flash, flash.data(), flash.size());
    ASSERT_TRUE(e2e::WriteWholeFile(
        app.Folder() + L"\\state.bin",
        std::string(reinterpret_cast<const char *>(bench.get()), sizeof *bench)));
    const std::wstring longFolder =
        app.Folder() + L"\\" + std::wstring(236 - app.Folder().size(), L'd');
    const std::wstring image = longFolder + L"\\img.bin";  // 245 characters
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    ASSERT_TRUE(e2e::WriteWholeFile(image, std::string(0x10100, 'x')));
    ASSERT_TRUE(e2e::WriteWholeFile(app.Folder() + L"\\over.bin", std::string(0x10001, 'x')));
    ASSERT_TRUE(app.Launch("")) << app.Error();
    app.Click(IDC_OPEN);
    // A bare name gets the default extension, in the program's folder; an existing file is
    // replaced whole after the question.
    for (const auto &[typed, written, overwrite] :
         {std::tuple{L"image", app.Folder() + L"\\image.txt", false},
          {image.c_str(), image, true}}) {
        SCOPED_TRACE(Narrow(written));
        app.Click(IDC_FLASH_READ);
        Choose(FileDialog(save.c_str(), nullptr, saveFilter), save.c_str(), typed, overwrite);
        e2e::ExpectMessageBox(app, "读FLASH成功", false, app.Main());
        EXPECT_EQ(e2e::ReadWholeFile(written).size(), flash.size());
        EXPECT_TRUE(e2e::ReadWholeFile(written) == flash);
    }
    app.Click(IDC_FLASH_WRITE);
    HWND dialog = FileDialog(open.c_str(), app.Main(), openFilter);
    const LRESULT readOnly = SendMessageW(GetDlgItem(dialog, 0x410), BM_GETCHECK, 0, 0);
    EXPECT_EQ(readOnly, BST_CHECKED);
    Choose(dialog, open.c_str(), image);
    e2e::ExpectMessageBox(app, "写FLASH完成", false, app.Main());
    const auto writes = app.Calls("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_NE(writes[0].find(" 0x0 0x0 0x10000 data=" + hex.substr(0, 16)), std::string::npos)
        << writes[0].substr(0, 80);
    app.Click(IDC_FLASH_WRITE);
    Choose(FileDialog(open.c_str(), app.Main(), openFilter), open.c_str(),
           app.Folder() + L"\\over.bin");
    e2e::ExpectMessageBox(app, "只能打开小于64K的文件", true, app.Main());
}
}  // namespace
