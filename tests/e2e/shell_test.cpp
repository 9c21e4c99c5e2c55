// What only the real program under Wine shows: the templates as created, the hex-key filter and
// limits as typed, the message boxes' icon and owner, the file dialogs' set-up with the Win32 file
// port behind them, the help and identity dialogs, the interrupt count posted from the library's
// thread, and the exit codes.
#include <windows.h>
#include <gtest/gtest.h>
#include "driver.h"
#include "help_text.h"
#include "resource.h"

namespace {
using e2e::Narrow, e2e::Widen;
using Rows = std::vector<std::pair<int, std::string>>;

class Program : public testing::Test {
  protected:
    e2e::TzDebug app;

    void Start(const std::string &config = "")
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
    }

    void ExpectBox(const std::string &text, bool icon, HWND owner)
    {
        e2e::ExpectMessageBox(app, text, icon, owner);
    }

    // Checks a file dialog's owner and first filter.
    HWND FileDialog(const wchar_t *title, HWND owner, const wchar_t *filter)
    {
        HWND dialog = app.WaitDialog(title);
        EXPECT_TRUE(dialog && GetWindow(dialog, GW_OWNER) == owner) << Narrow(title);
        EXPECT_EQ(app.TextOf(GetDlgItem(dialog, 0x470)), filter) << Narrow(title);
        return dialog;
    }

    // Types the name, presses OK and answers the overwrite question if asked.
    void Choose(HWND dialog, const wchar_t *title, const std::wstring &path, bool overwrite = false)
    {
        e2e::TzDebug::SetTextOf(GetDlgItem(dialog, 0x47C), path);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        HWND question = nullptr;
        ASSERT_TRUE(!overwrite || e2e::WaitFor([&] {
            for (HWND h : app.Dialogs(title))
                question = GetWindow(h, GW_OWNER) == dialog ? h : question;
            return question != nullptr;
        })) << "no overwrite question";
        if (question)
            PostMessageW(question, WM_COMMAND, IDYES, 0);
        ASSERT_TRUE(app.WaitDialogGone(title)) << Narrow(title);
    }
};

TEST_F(Program, ExitsWithOneByTheCloseBoxAnd129WithoutTheLibrary)
{
    e2e::TzDebug run;
    ASSERT_TRUE(run.Launch("card 2 = TZ820\ncard 9 = TZ810\n")) << run.Error();
    // The enumeration went through the library bound at run time.
    EXPECT_EQ(Narrow(run.Text(IDC_STATUS)),
              "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. ");
    PostMessageW(run.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(run.WaitExit(), 1);
    EXPECT_EQ(run.Trace("TZ810mCloseDevice").size(), 17u);
    ASSERT_TRUE(app.Launch(e2e::LaunchOptions{"", false, false}))
        << app.Error();  // tzdebug.exe alone
    ASSERT_TRUE(app.WaitMain(false)) << app.Error();
    ExpectBox("无法加载TZ810的DLL", true, app.Main());
    EXPECT_EQ(app.WaitExit(), 129);
}

TEST_F(Program, MainDialogTemplateAndItsHexBoxesAsTyped)
{
    Start();
    EXPECT_EQ(app.TextOf(app.Main()), L"DEBUG TZ810/820");
    EXPECT_TRUE(GetWindowLongW(app.Main(), GWL_STYLE) & WS_MINIMIZEBOX);
    const Rows rows = {
        {-1, "G设备信息"},
        {-1, "L设备号"},
        {IDC_DEVICE_COMBO, "S"},
        {-1, "L设备状态"},
        {IDC_STATUS, "R"},
        {-1, "L中断号"},
        {IDC_INT_LINE, "R"},
        {-1, "LI/O基址"},
        {IDC_IO_BASE, "R"},
        {IDC_MEM_BASE_LABEL, "LMEM基址"},
        {IDC_MEM_BASE, "R"},
        {-1, "L驱动版本"},
        {IDC_DRIVER_VERSION, "R"},
        {-1, "GIO/MEM脉冲宽度设置"},
        {-1, "L当前脉宽"},
        {IDC_PULSE_NOW, "R"},
        {-1, "Lns"},
        {-1, "L设置宽度"},
        {IDC_PULSE_COMBO, "O"},
        {IDC_PULSE_SET, "B设置"},
        {-1, "GIO读写（提示：当选择字或者双字方式读写时，地址和数据长度需要分别为2或4的倍数，HEX单"
             "位）"},
        {-1, "L模式选择"},
        {IDC_IO_WIDTH, "O"},
        {-1, "L地址类型"},
        {IDC_IO_ADDR_TYPE, "O"},
        {-1, "L地址"},
        {IDC_IO_ADDR, "I"},
        {-1, "L数据长度"},
        {IDC_IO_LENGTH, "I"},
        {-1, "L数据HEX"},
        {IDC_IO_DATA, "D"},
        {IDC_IO_CLEAR, "B清空数据"},
        {IDC_IO_READ, "BI/O读"},
        {IDC_IO_WRITE, "BI/O写"},
        {-1, "GMEM读写（提示：当选择双字进行读写时，地址和数据长度需要为4的倍数，地址的范围为0x0000"
             "~0x7FFF）"},
        {IDC_MEM_32BIT, "C32位支持"},
        {-1, "L模式选择"},
        {IDC_MEM_WIDTH, "O"},
        {-1, "L地址"},
        {IDC_MEM_ADDR, "I"},
        {-1, "L数据长度"},
        {IDC_MEM_LENGTH, "I"},
        {-1, "L数据HEX"},
        {IDC_MEM_DATA, "D"},
        {IDC_MEM_CLEAR, "B清空数据"},
        {IDC_MEM_READ, "BMEM读"},
        {IDC_MEM_WRITE, "BMEM写"},
        {IDC_I2C_FRAME, "GI2C读写(提示：请不要将VID和DID同时设置为FFFF,否则系统将无法识别板卡)"},
        {-1, "L地址HEX"},
        {IDC_I2C_ADDR, "I"},
        {-1, "L数据HEX"},
        {IDC_I2C_DATA, "I"},
        {IDC_I2C_READ, "BI2C读"},
        {IDC_I2C_WRITE, "BI2C写"},
        {IDC_IDENTITY, "B配置信息"},
        {-1, "GSPI读写"},
        {-1, "LSPI模式"},
        {IDC_SPI_MODE, "O"},
        {-1, "L时钟频率"},
        {IDC_SPI_CLOCK, "O"},
        {IDC_SPI_SET, "B设置"},
        {-1, "LFLASH状态"},
        {IDC_FLASH_STATUS, "R"},
        {IDC_FLASH_READ, "BFLASH读"},
        {IDC_FLASH_WRITE, "BFLASH写"},
        {IDC_FLASH_ERASE, "BFLASH擦除"},
        {-1, "G配置空间读写（提示：有些配置空间仅是可读的，具体信息请看芯片手册）"},
        {-1, "L地址HEX"},
        {IDC_CFG_ADDR, "I"},
        {-1, "L数据HEX"},
        {IDC_CFG_DATA, "I"},
        {IDC_CFG_READ, "B读"},
        {IDC_CFG_WRITE, "B写"},
        {-1, "G中断演示（中断演示前需要先将A15脚与INT#脚连接起来，DEC单位）"},
        {-1, "L电平中断"},
        {IDC_LEVEL_COUNT, "R"},
        {IDC_LEVEL_TEST, "B电平中断计数"},
        {-1, "L边沿电平中断"},
        {IDC_EDGE_COUNT, "R"},
        {IDC_EDGE_TEST, "B边沿中断计数"},
        {IDC_OPEN, "B打开设备"},
        {IDC_CLOSE, "B关闭设备"},
        {IDC_HELP, "B帮助"},
        {IDC_EXIT, "B退出"},
    };
    EXPECT_EQ(e2e::DescribeControls(app.Main()), rows);
    // Only hexadecimal digits and Backspace, up to each box's limit.
    const std::wstring digits = L"0123456789abcdefABCDEF";
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
        app.Type(id, L"gGzZ xX!.,-+:\t\r\n\x16\x1b\x7f" + Widen("中ａ") + digits + L"\b");
        ASSERT_TRUE(app.Settle());
        EXPECT_EQ(app.Text(id), digits.substr(0, limit - 1)) << id;
    }
}

TEST_F(Program, MessageBoxesShowTheirIconAndOwnerAndCountsArriveFromTheLibrarysThread)
{
    Start();
    app.Select(IDC_DEVICE_COMBO, 2);
    app.Click(IDC_OPEN);
    ExpectBox("无法打开设备2,请确保设备已经插入", true, app.Main());
    app.Select(IDC_DEVICE_COMBO, 0);
    app.Click(IDC_OPEN);
    app.SetText(IDC_IO_ADDR, L"0");
    app.SetText(IDC_IO_DATA, L"5A");
    app.Click(IDC_IO_WRITE);
    ExpectBox("写成功", false, nullptr);
    for (const auto &[button, box, count] : {std::tuple{IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"1"},
                                             {IDC_LEVEL_TEST, IDC_LEVEL_COUNT, L"2"},
                                             {IDC_EDGE_TEST, IDC_EDGE_COUNT, L"1"}}) {
        app.Click(button);
        ASSERT_TRUE(app.PressOk(app.WaitMessageBox()));
        EXPECT_TRUE(e2e::WaitFor([&, box = box, count = count] { return app.Text(box) == count; }))
            << Narrow(app.Text(box)) << " instead of " << Narrow(count);
    }
    app.Click(IDC_CLOSE);
    app.Click(IDC_CLOSE);
    ExpectBox("设备0没有打开", false, app.Main());
}

TEST_F(Program, HelpOpensUnownedAtItsFirstLine)
{
    Start();
    app.Click(IDC_HELP);
    HWND help = app.WaitDialog(L"HELP"), text = GetDlgItem(help, IDC_HELP_TEXT);
    EXPECT_EQ(GetWindow(help, GW_OWNER), nullptr);
    EXPECT_EQ(e2e::DescribeControls(help), (Rows{{IDC_HELP_TEXT, "T"}}));
    // Lines do not wrap, and there is no horizontal scroll bar.
    EXPECT_EQ(GetWindowLongW(text, GWL_STYLE) &
                  (ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL),
              ES_AUTOHSCROLL | WS_VSCROLL);
    EXPECT_EQ(app.TextOf(text), Widen(HelpText()));
    DWORD_PTR first = 99, selection = 99;
    SendMessageTimeoutW(text, EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_NORMAL, 5000, &first);
    SendMessageTimeoutW(text, EM_GETSEL, 0, 0, SMTO_NORMAL, 5000, &selection);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(LOWORD(selection), HIWORD(selection)) << "text selected";
    PostMessageW(help, WM_COMMAND, IDOK, 0);  // only cancel ends it
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(IsWindow(help));
    PostMessageW(help, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(L"HELP"));
    EXPECT_TRUE(app.Running());
}

TEST_F(Program, IdentityDialogTemplateOwnerKeysAndItsMessageBox)
{
    Start("card 0 = TZ810\nvid 0 = 0x1A2B\n");
    app.Click(IDC_OPEN);
    app.Click(IDC_IDENTITY);
    const std::wstring caption = L"\u5916\u7f6e24C02\u82af\u7247\u8bfb\u5199";  // 外置24C02芯片读写
    HWND dialog = app.WaitDialog(caption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    const Rows rows = {
        {IDC_EEPROM_WRITE, "B写EEPROM"},
        {-1, "LVID(厂商标识 : Vendor ID)"},
        {IDC_VID, "I"},
        {-1, "LDID(设备标识: Device ID)"},
        {IDC_DID, "I"},
        {-1, "LRID(芯片版本 : Revision ID)"},
        {IDC_RID, "I"},
        {-1, "LSVID(子系统厂商标识 : Subsystem Vendor ID)"},
        {IDC_SVID, "I"},
        {-1, "LSID(子系统标识 : Subsystem ID)"},
        {IDC_SID, "I"},
        {-1, "LHEX"},
        {-1, "LHEX"},
        {-1, "LHEX"},
        {-1, "LHEX"},
        {-1, "LHEX"},
        {IDC_EEPROM_READ, "B读EEPROM"},
    };
    EXPECT_EQ(e2e::DescribeControls(dialog), rows);
    EXPECT_EQ(Narrow(app.TextOf(GetDlgItem(dialog, IDC_VID))), "1A2B");
    EXPECT_FALSE(app.Enabled(IDC_IDENTITY));
    // Its boxes take hexadecimal keys only, up to their limit.
    e2e::TzDebug::SetTextOf(GetDlgItem(dialog, IDC_VID), L"");
    e2e::TzDebug::TypeInto(GetDlgItem(dialog, IDC_VID), L"g-x abCD123");
    PostMessageW(dialog, WM_COMMAND, IDC_EEPROM_WRITE, 0);
    ExpectBox("写EEPROM完成", false, dialog);
    EXPECT_EQ(Narrow(app.TextOf(GetDlgItem(dialog, IDC_VID))), "abCD");
    EXPECT_EQ(app.Trace("TZ810mWriteI2C").at(4).Arg(3), 0xCDu);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(caption));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Enabled(IDC_IDENTITY));
}

TEST_F(Program, FlashReadSavesAndFlashWriteOpensAsSetUp)
{
    const wchar_t save[] = L"\u4fdd\u5b58\u6587\u4ef6";  // 保存文件
    const wchar_t open[] = L"\u9009\u62e9\u5373\u5c06\u5199\u5165\u7684\u76ee\u6807\u6587\u4ef6";
    const wchar_t saveFilters[] = L"Images(*.txt)", openFilters[] = L"Images(*.TXT)";
    std::string flash(0x10000, '\0'), hex;
    for (size_t i = 0; i < flash.size(); ++i) {
        flash[i] = char(i * 13 + (i >> 8) * 7 + 5);
        hex += "0123456789ABCDEF"[uint8_t(flash[i]) >> 4];
        hex += "0123456789ABCDEF"[flash[i] & 0xF];
    }
    // The simulator keeps its flash in its state file, read at load.
    ASSERT_TRUE(
        e2e::WriteWholeFile(app.Folder() + L"\\state.bin", "tzsim-state 1\nflash " + hex + "\n"));
    const std::wstring longFolder =
        app.Folder() + L"\\" + std::wstring(236 - app.Folder().size(), L'd');
    const std::wstring image = longFolder + L"\\img.bin";  // 245 characters
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    ASSERT_TRUE(e2e::WriteWholeFile(image, std::string(0x10100, 'x')));
    ASSERT_TRUE(e2e::WriteWholeFile(app.Folder() + L"\\over.bin", std::string(0x10001, 'x')));
    Start();
    app.Click(IDC_OPEN);
    // A bare name gets the default extension, in the program's folder.
    app.Click(IDC_FLASH_READ);
    Choose(FileDialog(save, nullptr, saveFilters), save, L"image");
    ExpectBox("读FLASH成功", false, app.Main());
    EXPECT_TRUE(e2e::ReadWholeFile(app.Folder() + L"\\image.txt") == flash);
    // An existing file in a long path is replaced whole after the question.
    app.Click(IDC_FLASH_READ);
    Choose(FileDialog(save, nullptr, saveFilters), save, image, true);
    ExpectBox("读FLASH成功", false, app.Main());
    EXPECT_TRUE(e2e::ReadWholeFile(image) == flash);
    // A 249-character name in a short folder: the temporary file beside it must not take its name
    // from it (one name holds at most 255 characters).
    const std::wstring shortFolder = L"C:\\tzl",
                       longName = shortFolder + L"\\" + std::wstring(245, L'n') + L".bin";
    CreateDirectoryW(shortFolder.c_str(), nullptr);
    app.Click(IDC_FLASH_READ);
    Choose(FileDialog(save, nullptr, saveFilters), save, longName);
    ExpectBox("读FLASH成功", false, app.Main());
    EXPECT_TRUE(e2e::ReadWholeFile(longName) == flash) << "the long name was not written";
    DeleteFileW(longName.c_str());
    RemoveDirectoryW(shortFolder.c_str());
    const size_t mark = app.Trace().size();
    app.Click(IDC_FLASH_WRITE);
    HWND dialog = FileDialog(open, app.Main(), openFilters);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 0x410), BM_GETCHECK, 0, 0),
              BST_CHECKED);  // read-only box
    Choose(dialog, open, image);
    ExpectBox("写FLASH完成", false, app.Main());
    const auto writes = app.Trace("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Arg(2), 0x10000u);
    EXPECT_EQ(_strnicmp(writes[0].data.c_str(), hex.c_str(), 16), 0)
        << writes[0].data.substr(0, 16);
    // The written range is read back before the program reports.
    uint32_t readBack = 0;
    for (const e2e::TraceCall &r : e2e::CallsNamed(app.Trace(), "TZ780mReadFlash", mark))
        readBack += r.Arg(2);
    EXPECT_EQ(readBack, 0x10000u);
    app.Click(IDC_FLASH_WRITE);
    Choose(FileDialog(open, app.Main(), openFilters), open, app.Folder() + L"\\over.bin");
    ExpectBox("只能打开小于64K的文件", true, app.Main());
}
}  // namespace
