// The application shell end to end: start-up and enumeration, open and close
// of each chip, the information panel and its failures, the not-open guard,
// the hex-key filter, Enter, the help dialog and the ways out.
//
// Each start of the program under Wine costs a second or two, so one test
// usually walks through several steps of the same run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "help_text.h"
#include "resource.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;
using e2e::Widen;

// Controls that need an open device (disabled at start and after close).
const int kDeviceControls[] = {1094, 1167, 1024, 1064, 1061, 1062, 1156, 1158, 1112, 1113, 1160,
                               1114, 1115, 1120, 1121, 1042, 1129, 1133, 1134, 1144, 1146, 1139};
// Of those, the ones only a TZ820 has.
const int kTz820Only[] = {1167, 1024, 1114, 1115, 1160, 1156};
// Controls that stay enabled while no device is open.
const int kClosedEnabled[] = {1074, 1140, 1141, 1142, 1090, 1107, 1109, 1148, 1127, 1128, 1110,
                              1111, 1149, 1150, 1119, 1122, 1131, 1132, 1157, 1159};
// Boxes the close empties.
const int kEmptiedAtClose[] = {1022, 1168, 1023, 1024, 1092, 1110, 1111, 1157, 1149,
                               1150, 1159, 1119, 1122, 1131, 1132, 1072, 1145, 1010};
// Combos whose entry 0 is selected after start and after close.
const int kCombos[] = {1074, 1090, 1107, 1109, 1148, 1127, 1128};

template <size_t N> bool Contains(const int (&ids)[N], int id)
{
    for (int i : ids)
        if (i == id)
            return true;
    return false;
}

// Names of the library calls from position `from` on, interrupt lines left out.
std::vector<std::string> CallNames(const std::vector<TraceCall> &calls, size_t from = 0)
{
    std::vector<std::string> names;
    for (size_t i = from; i < calls.size(); ++i)
        if (calls[i].name != "interrupt")
            names.push_back(calls[i].name);
    return names;
}

std::vector<TraceCall> Without(const std::vector<TraceCall> &calls, const char *skipped,
                               size_t from = 0)
{
    std::vector<TraceCall> kept;
    for (size_t i = from; i < calls.size(); ++i)
        if (calls[i].name != skipped && calls[i].name != "interrupt")
            kept.push_back(calls[i]);
    return kept;
}

class Shell : public testing::Test {
protected:
    // Starts the program with this bench and waits for its main dialog.
    void Start(const std::string &config)
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
        started = app.Trace().size();
    }

    std::string Text(int id) const { return Narrow(app.Text(id)); }

    // The next message box must show `text` (byte for byte), with or without
    // an icon, owned by `owner`; it is then closed with OK.
    void ExpectBox(const std::string &text, bool icon, HWND owner)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.hasIcon, icon) << "icon of \"" << text << "\"";
        if (icon) {
            EXPECT_EQ(box.icon, e2e::BoxIcon::Error)
                << "\"" << text << "\" shows " << e2e::BoxIconName(box.icon);
        }
        EXPECT_EQ(box.owner, owner) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
    }
    void ExpectOwnedBox(const std::string &text, bool icon) { ExpectBox(text, icon, app.Main()); }

    // Everything posted so far has been handled and no message box is up.
    void ExpectNoBox(const char *after)
    {
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << after;
        std::vector<HWND> boxes = app.MessageBoxes();
        EXPECT_TRUE(boxes.empty()) << "unexpected message box after " << after << ": \""
                                   << Narrow(e2e::TzDebug::TextOf(GetDlgItem(boxes.front(), 0xFFFF)))
                                   << "\"";
        for (HWND box : boxes)
            PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    void Do(int id, const char *what)
    {
        app.Click(id);
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << what;
    }

    // Enabled state of every control of the main dialog that has one
    // according to the state: closed, open as TZ810 or open as TZ820.
    enum class State { Closed, Tz810, Tz820 };
    void ExpectControls(State state, const char *when)
    {
        for (int id : kDeviceControls) {
            bool expected = state == State::Tz820 || (state == State::Tz810 && !Contains(kTz820Only, id));
            EXPECT_EQ(app.Enabled(id), expected) << "control " << id << " " << when;
        }
        for (int id : kClosedEnabled) {
            bool expected = state == State::Closed || (id != 1074 && id != 1140);
            EXPECT_EQ(app.Enabled(id), expected) << "control " << id << " " << when;
        }
    }

    void ExpectExit(long code, const char *how)
    {
        EXPECT_EQ(app.WaitExit(), code) << how;
    }

    e2e::TzDebug app;
    size_t started = 0; // trace calls made during start-up
};

// ------------------------------------------------------------------ start-up

TEST_F(Shell, WithoutCardsShowsTheCountAndKeepsDeviceControlsOffThenEscExits)
{
    Start("card 0 = none\n");
    EXPECT_EQ(Text(IDC_STATUS), "已检测到0台设备. ");

    // Sixteen probes, each an open that fails and a close.
    std::vector<TraceCall> calls = app.Trace();
    ASSERT_EQ(Without(calls, "", 0).size(), 32u) << e2e::DescribeTrace(calls);
    for (unsigned i = 0; i < 16; ++i) {
        EXPECT_EQ(calls[2 * i].name, "TZ810mOpenDevice") << calls[2 * i].line;
        EXPECT_EQ(calls[2 * i].args, (std::vector<uint32_t>{i, 0, 1, 0})) << calls[2 * i].line;
        EXPECT_EQ(calls[2 * i].ResultValue(), 0xFFFFFFFFu);
        EXPECT_EQ(calls[2 * i + 1].name, "TZ810mCloseDevice") << calls[2 * i + 1].line;
        EXPECT_EQ(calls[2 * i + 1].args, (std::vector<uint32_t>{i})) << calls[2 * i + 1].line;
    }

    ExpectControls(State::Closed, "at start");
    EXPECT_EQ(app.ComboEntries(IDC_DEVICE_COMBO),
              (std::vector<std::wstring>{L"0", L"1", L"2", L"3"}));
    std::vector<std::wstring> widths;
    for (int ns = 30; ns <= 450; ns += 30)
        widths.push_back(std::to_wstring(ns) + L" ns");
    EXPECT_EQ(app.ComboEntries(IDC_PULSE_COMBO), widths);
    EXPECT_EQ(app.ComboEntries(IDC_IO_WIDTH),
              (std::vector<std::wstring>{Widen("字节"), Widen("字"), Widen("双字")}));
    EXPECT_EQ(app.ComboEntries(IDC_IO_ADDR_TYPE),
              (std::vector<std::wstring>{Widen("偏移地址"), Widen("直接地址")}));
    EXPECT_EQ(app.ComboEntries(IDC_MEM_WIDTH),
              (std::vector<std::wstring>{Widen("字节"), Widen("双字")}));
    EXPECT_EQ(app.ComboEntries(IDC_SPI_MODE), (std::vector<std::wstring>{L"SPI3", L"SPI4"}));
    EXPECT_EQ(app.ComboEntries(IDC_SPI_CLOCK),
              (std::vector<std::wstring>{L"15.6Mhz", L"31.3Mhz"}));
    for (int id : kCombos)
        EXPECT_EQ(app.ComboSelection(id), 0) << "combo " << id;
    EXPECT_EQ(Text(IDC_IO_LENGTH), "1");
    EXPECT_EQ(Text(IDC_MEM_LENGTH), "1");
    for (int id : {1022, 1023, 1024, 1010, 1092, 1110, 1157, 1149, 1159, 1119, 1122, 1131, 1132,
                   1168, 1072, 1145})
        EXPECT_EQ(Text(id), "") << "box " << id;
    EXPECT_EQ(app.CheckState(IDC_MEM_32BIT), BST_UNCHECKED);

    // An interrupt count message with no demonstration running shows nothing.
    PostMessageW(app.Main(), WM_TZ_INTERRUPT_COUNT, 0, 0);
    ExpectNoBox("the interrupt count message");
    EXPECT_EQ(Text(IDC_LEVEL_COUNT), "");
    EXPECT_EQ(Text(IDC_EDGE_COUNT), "");

    // Esc: one close call for index 0, although nothing was ever opened.
    app.Command(IDCANCEL);
    ExpectExit(1, "after Esc");
    calls = app.Trace();
    std::vector<std::string> names = CallNames(calls, started);
    EXPECT_EQ(names, std::vector<std::string>{"TZ810mCloseDevice"}) << e2e::DescribeTrace(calls, started);
    if (names.size() == 1) {
        EXPECT_EQ(calls.back().args, std::vector<uint32_t>{0});
    }
}

TEST_F(Shell, StatusNamesTheCardsInTheOrderFound)
{
    Start("card 0 = TZ810\ncard 1 = TZ820\n");
    EXPECT_EQ(Text(IDC_STATUS), "已检测到2台设备. 设备0为TZ810设备. 设备1为TZ820设备. ");
    // Each card found was asked for its identifier byte, and none stays open.
    std::vector<TraceCall> reads = e2e::CallsNamed(app.Trace(), "TZ810mReadConfig");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].args, (std::vector<uint32_t>{0, 2}));
    EXPECT_EQ(reads[1].args, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(e2e::CallsNamed(app.Trace(), "TZ810mCloseDevice").size(), 16u);

    // "退出" exits like Esc.
    app.Click(IDC_EXIT);
    ExpectExit(1, "after 退出");
    std::vector<TraceCall> calls = app.Trace();
    EXPECT_EQ(CallNames(calls, started), std::vector<std::string>{"TZ810mCloseDevice"})
        << e2e::DescribeTrace(calls, started);
}

TEST_F(Shell, StatusNumbersTheCardsByPositionNotByIndexAndTheCloseBoxExits)
{
    Start("card 2 = TZ820\ncard 9 = TZ810\ncard 15 = TZ820\n");
    EXPECT_EQ(Text(IDC_STATUS),
              "已检测到3台设备. 设备0为TZ820设备. 设备1为TZ810设备. 设备2为TZ820设备. ");

    // The caption's close box.
    PostMessageW(app.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ExpectExit(1, "after the close box");
    std::vector<TraceCall> calls = app.Trace();
    EXPECT_EQ(CallNames(calls, started), std::vector<std::string>{"TZ810mCloseDevice"})
        << e2e::DescribeTrace(calls, started);
}

TEST_F(Shell, UnrecognisedCardStopsTheEnumerationWithAnUnownedMessage)
{
    e2e::LaunchOptions options;
    options.config = "card 0 = TZ810\ncard 1 = TZ810\ndid 1 = 0x5835\ncard 2 = TZ820\n";
    options.waitForMain = false;
    ASSERT_TRUE(app.Launch(options)) << app.Error();

    // Shown while the main dialog is still being initialised.
    ExpectBox("未能识别您的设备1，如果您更改了设备标识,即设备的配置寄存器中的02H空间，"
              "请将程序中相应的代码更改一下",
              false, nullptr);
    ASSERT_TRUE(app.WaitMain()) << app.Error();
    EXPECT_EQ(Text(IDC_STATUS), "");
    ExpectControls(State::Closed, "after the enumeration stopped");

    std::vector<TraceCall> calls = app.Trace();
    std::vector<TraceCall> startUp(calls.begin(), calls.end());
    for (const TraceCall &c : startUp)
        EXPECT_LE(c.Arg(0), 1u) << "probed past index 1: " << c.line;
    ASSERT_GE(startUp.size(), 3u);
    // Card 1 is closed again; nothing is asked of it afterwards.
    EXPECT_EQ(startUp.back().name, "TZ810mCloseDevice") << e2e::DescribeTrace(startUp);
    EXPECT_EQ(startUp.back().args, std::vector<uint32_t>{1});
    EXPECT_EQ(CallNames(startUp),
              (std::vector<std::string>{"TZ810mOpenDevice", "TZ810mReadConfig", "TZ810mCloseDevice",
                                        "TZ810mOpenDevice", "TZ810mReadConfig",
                                        "TZ810mCloseDevice"}))
        << e2e::DescribeTrace(startUp);
}

TEST_F(Shell, WithoutTheLibraryTellsSoAndExitsWith129)
{
    e2e::LaunchOptions options;
    options.withLibrary = false;
    options.waitForMain = false;
    ASSERT_TRUE(app.Launch(options)) << app.Error();
    ASSERT_TRUE(app.WaitMain(false)) << app.Error();
    ExpectOwnedBox("无法加载TZ810的DLL", true);
    ExpectExit(129, "without TZ810DLL.DLL");
}

// ------------------------------------------------------------------ open and close

TEST_F(Shell, OpensATz810FillsThePanelAndClosesAgain)
{
    Start("version = 0x103\n"
          "card 0 = TZ810\nio_base 0 = 0xE000\nint_line 0 = 0x0B\npulse 0 = 0x40\n");
    Do(IDC_OPEN, "open");
    ExpectNoBox("open");
    EXPECT_EQ(Text(IDC_STATUS), "TZ810设备0已经打开");
    EXPECT_EQ(Text(IDC_INT_LINE), "0B");
    EXPECT_EQ(Text(IDC_IO_BASE), "E000");
    EXPECT_EQ(Text(IDC_MEM_BASE), "");
    EXPECT_EQ(Text(IDC_DRIVER_VERSION), "103");
    EXPECT_EQ(Text(IDC_PULSE_NOW), "30") << "register 0xFA holds 0x40";
    EXPECT_EQ(app.CheckState(IDC_MEM_32BIT), BST_UNCHECKED);
    ExpectControls(State::Tz810, "with a TZ810 open");

    std::vector<TraceCall> calls = app.Trace();
    std::vector<TraceCall> open(calls.begin() + started, calls.end());
    std::vector<std::string> names = CallNames(open);
    const std::vector<std::string> expected = {
        "TZ810mOpenDevice", "TZ810mReadConfig", "TZ810GetDrvVersion", "TZ810mGetIntLine",
        "TZ810mGetIoBaseAddr", "TZ810mReadIoByte", "TZ810mSetIntRoutine"};
    ASSERT_GE(names.size(), expected.size()) << e2e::DescribeTrace(open);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()), expected)
        << e2e::DescribeTrace(open);
    EXPECT_EQ(open[0].args, (std::vector<uint32_t>{0, 0, 1, 0}));
    EXPECT_EQ(open[1].args, (std::vector<uint32_t>{0, 2}));
    EXPECT_EQ(open[5].args, (std::vector<uint32_t>{0, 0xE0FA}));
    EXPECT_TRUE(e2e::CallsNamed(open, "TZ810mWriteIoByte").empty()) << "a TZ810 has no 32-bit switch";
    EXPECT_TRUE(e2e::CallsNamed(open, "TZ820mGetMemBaseAddr").empty());

    // Open again while open: the status text again, in a box.
    size_t before = app.Trace().size();
    app.Command(IDC_OPEN);
    ExpectOwnedBox("TZ810设备0已经打开", false);
    EXPECT_EQ(CallNames(app.Trace(), before), std::vector<std::string>{});

    Do(IDC_CLOSE, "close");
    ExpectNoBox("close");
    EXPECT_EQ(Text(IDC_STATUS), "设备0已经关闭");
    ExpectControls(State::Closed, "after close");
    for (int id : kEmptiedAtClose)
        EXPECT_EQ(Text(id), "") << "box " << id << " after close";
    calls = app.Trace();
    EXPECT_EQ(CallNames(calls, before), std::vector<std::string>{"TZ810mCloseDevice"})
        << e2e::DescribeTrace(calls, before);

    // Close while closed, and a device command while closed (its button is
    // disabled, but a posted command still arrives).
    before = calls.size();
    app.Command(IDC_CLOSE);
    ExpectOwnedBox("设备0没有打开", false);
    app.Command(IDC_IO_READ);
    ExpectOwnedBox("设备0没有打开", false);
    app.Command(IDC_CFG_WRITE);
    ExpectOwnedBox("设备0没有打开", false);
    ExpectNoBox("the refused commands");
    EXPECT_EQ(CallNames(app.Trace(), before), std::vector<std::string>{});
}

TEST_F(Shell, OpensATz820WithItsMemWindowAndCloseEndsTheHelpDialog)
{
    Start("card 0 = TZ810\n"
          "card 1 = TZ820\nio_base 1 = 0x0300\nint_line 1 = 5\n"
          "mem_base 1 = 0x000F0000\npulse 1 = 0x0F\n");
    app.Select(IDC_DEVICE_COMBO, 1);
    Do(IDC_OPEN, "open");
    ExpectNoBox("open");
    EXPECT_EQ(Text(IDC_STATUS), "TZ820设备1已经打开");
    EXPECT_EQ(Text(IDC_INT_LINE), "05");
    EXPECT_EQ(Text(IDC_IO_BASE), "0300");
    EXPECT_EQ(Text(IDC_MEM_BASE), "000F0000");
    EXPECT_EQ(Text(IDC_PULSE_NOW), "480");
    EXPECT_EQ(app.CheckState(IDC_MEM_32BIT), BST_CHECKED);
    ExpectControls(State::Tz820, "with a TZ820 open");

    std::vector<TraceCall> calls = app.Trace();
    std::vector<TraceCall> open(calls.begin() + started, calls.end());
    std::vector<std::string> names = CallNames(open);
    const std::vector<std::string> expected = {
        "TZ810mOpenDevice",     "TZ810mReadConfig",    "TZ810mCloseDevice", "TZ810mOpenDevice",
        "TZ810GetDrvVersion",   "TZ810mGetIntLine",    "TZ810mGetIoBaseAddr",
        "TZ820mGetMemBaseAddr", "TZ810mReadIoByte",    "TZ810mWriteIoByte",
        "TZ810mSetIntRoutine"};
    ASSERT_GE(names.size(), expected.size()) << e2e::DescribeTrace(open);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()), expected)
        << e2e::DescribeTrace(open);
    if (names.size() >= expected.size()) {
        EXPECT_EQ(open[0].args, (std::vector<uint32_t>{1, 0, 1, 0}));
        EXPECT_EQ(open[2].args, (std::vector<uint32_t>{1}));
        EXPECT_EQ(open[3].args, (std::vector<uint32_t>{1, 1, 1, 0})) << "re-open with the MEM window";
        EXPECT_EQ(open[8].args, (std::vector<uint32_t>{1, 0x3FA}));
        EXPECT_EQ(open[9].args, (std::vector<uint32_t>{1, 0x3FA, 0x4F})) << "32-bit I/O on";
    }

    // The help dialog has no owner, so the main dialog goes on taking
    // commands; closing the device ends the dialog.
    app.Click(IDC_HELP);
    HWND help = app.WaitDialog(L"HELP");
    ASSERT_NE(help, nullptr) << "no help dialog";
    Do(IDC_CLOSE, "close");
    EXPECT_TRUE(app.WaitDialogGone(L"HELP")) << "close left the help dialog shown";
    ExpectNoBox("close");
    EXPECT_EQ(Text(IDC_STATUS), "设备1已经关闭");
    ExpectControls(State::Closed, "after close");
    EXPECT_EQ(app.CheckState(IDC_MEM_32BIT), BST_CHECKED) << "close leaves the tick";
    for (int id : kEmptiedAtClose)
        EXPECT_EQ(Text(id), "") << "box " << id << " after close";
    for (int id : kCombos)
        EXPECT_EQ(app.ComboSelection(id), 0) << "combo " << id << " after close";

    // The device index outlives the close: the guard and the exit use 1.
    app.Command(IDC_MEM_READ);
    ExpectOwnedBox("设备1没有打开", false);
    size_t before = app.Trace().size();
    app.Click(IDC_EXIT);
    ExpectExit(1, "after 退出");
    calls = app.Trace();
    ASSERT_EQ(CallNames(calls, before), std::vector<std::string>{"TZ810mCloseDevice"})
        << e2e::DescribeTrace(calls, before);
    EXPECT_EQ(calls.back().args, std::vector<uint32_t>{1});
}

TEST_F(Shell, FailedOpenLeavesTheDeviceClosed)
{
    // Calls 1 to 16 of open are the enumeration's; call 18 is the second
    // open from the dialog.
    Start("card 0 = TZ810\npulse 0 = 0x4F\nfault TZ810mOpenDevice = call 18\n");
    const std::string status = Text(IDC_STATUS);
    EXPECT_EQ(status, "已检测到1台设备. 设备0为TZ810设备. ");

    app.Select(IDC_DEVICE_COMBO, 3);
    app.Click(IDC_OPEN);
    ExpectOwnedBox("无法打开设备3,请确保设备已经插入", true);
    ExpectNoBox("the failed open of device 3");
    ExpectControls(State::Closed, "after a failed open");
    EXPECT_EQ(Text(IDC_STATUS), status);

    app.Select(IDC_DEVICE_COMBO, 0);
    app.Click(IDC_OPEN);
    ExpectOwnedBox("无法打开设备0,请确保设备已经插入", true);
    ExpectNoBox("the failed open of device 0");
    ExpectControls(State::Closed, "after a failed open");

    // The third try goes through.
    Do(IDC_OPEN, "open");
    ExpectNoBox("open");
    EXPECT_EQ(Text(IDC_STATUS), "TZ810设备0已经打开");
    EXPECT_EQ(Text(IDC_PULSE_NOW), "480");
    ExpectControls(State::Tz810, "with a TZ810 open");
}

TEST_F(Shell, InformationPanelFailuresAreReportedAndTheDeviceStaysOpen)
{
    Start("card 0 = TZ820\ncard 1 = TZ810\n"
          "fault TZ810mGetIntLine = call 1\n"
          "fault TZ810mGetIoBaseAddr = call 2\n"
          "fault TZ820mGetMemBaseAddr = call 1\n"
          "fault TZ810mWriteIoByte = call 1\n");
    app.Click(IDC_OPEN);
    ExpectOwnedBox("获得中断号失败!", true);
    ExpectOwnedBox("获得MEM寄存器基址失败！", true);
    ExpectOwnedBox("32位IO读写设置失败", false);
    ExpectNoBox("the TZ820's open");
    EXPECT_EQ(Text(IDC_INT_LINE), "");
    EXPECT_EQ(Text(IDC_IO_BASE), "D000");
    EXPECT_EQ(Text(IDC_MEM_BASE), "");
    EXPECT_EQ(Text(IDC_STATUS), "TZ820设备0已经打开");
    ExpectControls(State::Tz820, "with a TZ820 open despite the failures");

    // Without its I/O base the open leaves the pulse register alone.
    Do(IDC_CLOSE, "close");
    app.Select(IDC_DEVICE_COMBO, 1);
    app.Click(IDC_OPEN);
    ExpectOwnedBox("获得I/O基址失败!", true);
    ExpectNoBox("the TZ810's open");
    EXPECT_EQ(Text(IDC_INT_LINE), "11");
    EXPECT_EQ(Text(IDC_IO_BASE), "");
    EXPECT_EQ(Text(IDC_PULSE_NOW), "");
    EXPECT_EQ(Text(IDC_STATUS), "TZ810设备1已经打开");
    ExpectControls(State::Tz810, "with a TZ810 open despite the failure");
}

// ------------------------------------------------------------------ keys

TEST_F(Shell, HexBoxesTakeOnlyHexDigitsAndBackspaceWithinTheirLimits)
{
    Start("card 0 = none\n");
    struct Box {
        int id;
        size_t limit; // 0: the system's default
    };
    const Box boxes[] = {{1110, 4}, {1111, 0}, {1157, 0}, {1149, 4}, {1150, 0},
                         {1159, 0}, {1119, 2}, {1122, 2}, {1131, 2}, {1132, 2}};
    const std::wstring refused = std::wstring(L"gGzZ xX!.,-+:;'\"/\\\t\r\n\x16\x01\x1b\x7f") +
                                 Widen("中ａ");
    const std::wstring digits = L"0123456789abcdefABCDEF";
    for (const Box &box : boxes) {
        app.SetText(box.id, L"");
        app.Type(box.id, refused);
        ExpectNoBox("refused characters");
        EXPECT_EQ(Text(box.id), "") << "box " << box.id << " took a refused character";

        app.Type(box.id, digits);
        ASSERT_TRUE(app.Settle());
        std::wstring want = box.limit ? digits.substr(0, box.limit) : digits;
        EXPECT_EQ(app.Text(box.id), want) << "box " << box.id;

        // Backspace deletes; a refused character in between changes nothing.
        app.Type(box.id, L"\bg\b");
        ASSERT_TRUE(app.Settle());
        EXPECT_EQ(app.Text(box.id), want.substr(0, want.size() - 2)) << "box " << box.id;
    }

    // The limits are on typing only: a paste puts in anything.
    app.SetText(1119, L"xyz!");
    EXPECT_EQ(Text(1119), "xyz!");
    // The limit holds in the middle of the text as well.
    app.SetText(1131, L"");
    app.Type(1131, L"12");
    app.Key(1131, VK_LEFT);
    app.Type(1131, L"a");
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(Text(1131), "12");
    // Delete and the arrow keys are keys, not characters: they still work.
    app.SetText(1110, L"");
    app.Type(1110, L"12");
    app.Key(1110, VK_LEFT);
    app.Type(1110, L"a");
    app.Key(1110, VK_HOME);
    app.Key(1110, VK_DELETE);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(Text(1110), "a2");

    // Enter does nothing, from a single-line box, from a data box, or as
    // the bare command it becomes.
    app.Key(1110, VK_RETURN);
    app.Key(1157, VK_RETURN);
    app.Command(IDOK);
    ExpectNoBox("Enter");
    EXPECT_TRUE(app.Running());
    EXPECT_EQ(Text(1110), "a2");
    EXPECT_EQ(app.Text(1157), digits.substr(0, digits.size() - 2));
    EXPECT_EQ(app.Trace().size(), started) << "Enter reached the library";
}

// ------------------------------------------------------------------ help

TEST_F(Shell, HelpShowsItsTextUnownedAndOnlyCancelEndsIt)
{
    Start("card 0 = none\n");
    app.Click(IDC_HELP);
    HWND help = app.WaitDialog(L"HELP");
    ASSERT_NE(help, nullptr) << "no help dialog";
    EXPECT_EQ(GetWindow(help, GW_OWNER), nullptr);
    HWND text = GetDlgItem(help, IDC_HELP_TEXT);
    ASSERT_NE(text, nullptr);
    // Lines do not wrap, and there is no horizontal scroll bar.
    const LONG style = GetWindowLongW(text, GWL_STYLE);
    EXPECT_EQ(style & (ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL),
              ES_AUTOHSCROLL | WS_VSCROLL);
    const std::wstring expected = Widen(HelpText());
    EXPECT_EQ(e2e::TzDebug::TextOf(text), expected);
    // 47 lines, each ended by CR LF.
    size_t lines = 0;
    for (size_t at = expected.find(L"\r\n"); at != std::wstring::npos;
         at = expected.find(L"\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 47u);
    EXPECT_EQ(expected.substr(expected.size() - 2), L"\r\n");

    // Read-only, and deaf to every command but cancel.
    PostMessageW(text, WM_CHAR, L'x', 1);
    PostMessageW(help, WM_COMMAND, IDOK, 0);
    PostMessageW(help, WM_COMMAND, IDC_HELP_TEXT, 0);
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(IsWindow(help));
    EXPECT_EQ(e2e::TzDebug::TextOf(text), expected);

    // The main dialog stays usable: a second help dialog opens beside the
    // first.
    app.Click(IDC_HELP);
    ASSERT_TRUE(app.Settle());
    DWORD start = GetTickCount();
    while (app.Dialogs(L"HELP").size() < 2 && GetTickCount() - start < e2e::kWait)
        Sleep(20);
    std::vector<HWND> helps = app.Dialogs(L"HELP");
    ASSERT_EQ(helps.size(), 2u);
    for (HWND h : helps)
        PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(app.WaitDialogGone(L"HELP"));
    ExpectNoBox("help");
    EXPECT_TRUE(app.Running()) << "cancelling help ended the program";
    EXPECT_EQ(app.Trace().size(), started);
}

} // namespace
