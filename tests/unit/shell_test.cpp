// The application shell against the simulated bench: control set-up,
// start-up, enumeration, open, close, dispatch and the count message.
#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cstring>

#include "connection.h"
#include "block_fixture.h"
#include "help_text.h"

namespace {

using blocktest::BindSimulator;
using blocktest::CallsNamed;

bool FailToLoad(DeviceLibrary &) { return false; }

class Shell : public ::testing::Test {
protected:
    FakePort port;
    FakeFiles files;
    Session s{port, files};

    void Start(const std::string &config = "")
    {
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
    }
    void Open(int index)
    {
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        DispatchCommand(s, IDC_OPEN);
    }
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> out;
        for (const auto &m : port.messages)
            out.push_back(m.text);
        return out;
    }
};

const int kAlwaysEnabledWhenOpen[] = {IDC_PULSE_SET, IDC_IO_CLEAR,   IDC_IO_READ,   IDC_IO_WRITE,
                                      IDC_I2C_WRITE, IDC_I2C_READ,   IDC_IDENTITY,  IDC_CFG_READ,
                                      IDC_CFG_WRITE, IDC_LEVEL_TEST, IDC_EDGE_TEST, IDC_CLOSE,
                                      IDC_SPI_SET,   IDC_FLASH_READ, IDC_FLASH_WRITE,
                                      IDC_FLASH_ERASE};
const int kTz820Only[] = {IDC_MEM_BASE_LABEL, IDC_MEM_BASE, IDC_MEM_READ,
                          IDC_MEM_WRITE,      IDC_MEM_CLEAR, IDC_MEM_32BIT};

TEST_F(Shell, ControlSetUpFillsListsLimitsAndDisablesDeviceControls)
{
    Start();
    auto &pulse = port.c(IDC_PULSE_COMBO).entries;
    ASSERT_EQ(pulse.size(), 15u);
    EXPECT_EQ(pulse.front(), "30 ns");
    EXPECT_EQ(pulse.back(), "450 ns");
    EXPECT_EQ(port.c(IDC_DEVICE_COMBO).entries, (std::vector<std::string>{"0", "1", "2", "3"}));
    EXPECT_EQ(port.c(IDC_IO_WIDTH).entries, (std::vector<std::string>{"字节", "字", "双字"}));
    EXPECT_EQ(port.c(IDC_MEM_WIDTH).entries, (std::vector<std::string>{"字节", "双字"}));
    for (int combo : {IDC_DEVICE_COMBO, IDC_PULSE_COMBO, IDC_IO_WIDTH, IDC_IO_ADDR_TYPE,
                      IDC_MEM_WIDTH, IDC_SPI_MODE, IDC_SPI_CLOCK})
        EXPECT_EQ(port.ComboSelection(combo), 0) << combo;

    EXPECT_EQ(port.c(IDC_I2C_ADDR).limit, 2);
    EXPECT_EQ(port.c(IDC_CFG_DATA).limit, 2);
    EXPECT_EQ(port.c(IDC_IO_ADDR).limit, 4);
    EXPECT_EQ(port.c(IDC_MEM_ADDR).limit, 4);
    EXPECT_EQ(port.c(IDC_IO_LENGTH).limit, 0);
    EXPECT_EQ(port.hexFilterOrder,
              (std::vector<int>{1110, 1111, 1157, 1149, 1150, 1159, 1119, 1122, 1131, 1132}));
    EXPECT_EQ(port.text(IDC_IO_LENGTH), "1");
    EXPECT_EQ(port.text(IDC_MEM_LENGTH), "1");

    for (int id : kAlwaysEnabledWhenOpen)
        EXPECT_FALSE(port.enabled(id)) << id;
    for (int id : kTz820Only)
        EXPECT_FALSE(port.enabled(id)) << id;
    for (int id : {IDC_DEVICE_COMBO, IDC_OPEN, IDC_HELP, IDC_EXIT, IDC_IO_ADDR, IDC_IO_DATA})
        EXPECT_TRUE(port.enabled(id)) << id;
}

TEST_F(Shell, LibraryThatCannotBeLoadedEndsTheDialogWith129BeforeAnyProbe)
{
    tzsim::Reset("");
    tzsim::ClearCalls();
    EXPECT_FALSE(InitialiseMainDialog(s, FailToLoad));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text, "无法加载TZ810的DLL");
    EXPECT_EQ(port.lastMessage().icon, Icon::Error);
    EXPECT_EQ(port.lastMessage().owner, Window::Main);
    EXPECT_EQ(port.ended, (std::vector<std::pair<Window, int>>{{Window::Main, 129}}));
    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_EQ(port.text(IDC_STATUS), "");
}

TEST_F(Shell, EnumerationProbesAllSixteenIndicesAndCountsCardsInTheOrderFound)
{
    const std::pair<const char *, const char *> benches[] = {
        {"", "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. "},
        {"card 0 = none\ncard 1 = none\n", "已检测到0台设备. "}};
    for (const auto &[config, status] : benches) {
        port = FakePort();
        Start(config);
        EXPECT_EQ(port.text(IDC_STATUS), status);
        EXPECT_EQ(CallsNamed("TZ810mOpenDevice").size(), 16u) << config;
        EXPECT_EQ(CallsNamed("TZ810mCloseDevice").size(), 16u) << config;
        EXPECT_TRUE(port.messages.empty());
    }
}

TEST_F(Shell, EnumerationStopsAtAnUnrecognisedCard)
{
    Start("card 0 = TZ810\ncard 1 = TZ810\ndid 1 = 0x1235\ncard 2 = TZ820\n");
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text,
              "未能识别您的设备1，如果您更改了设备标识,即设备的配置寄存器中的02H空间，"
              "请将程序中相应的代码更改一下");
    EXPECT_EQ(port.lastMessage().owner, Window::None);
    EXPECT_EQ(port.lastMessage().icon, Icon::None);
    EXPECT_EQ(port.text(IDC_STATUS), "");
    for (const auto &call : CallsNamed("TZ810mOpenDevice"))
        EXPECT_LE(call.args[0], 1u);
    // The unrecognised card is closed again.
    EXPECT_EQ(CallsNamed("TZ810mCloseDevice").back().args[0], 1u);
}

TEST_F(Shell, OpeningATz820ReopensWithMemAndSwitchesTo32Bit)
{
    Start("card 0 = TZ820\npulse 0 = 0x0F\n");
    tzsim::ClearCalls();
    Open(0);

    auto opens = CallsNamed("TZ810mOpenDevice");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].args, (std::vector<uint32_t>{0, 0, 1, 0}));
    EXPECT_EQ(opens[1].args, (std::vector<uint32_t>{0, 1, 1, 0}));
    EXPECT_TRUE(s.conn.open);
    EXPECT_EQ(s.conn.chip, ChipType::TZ820);
    EXPECT_TRUE(port.IsChecked(IDC_MEM_32BIT));
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_PULSE) & 0x40, 0x40);
    EXPECT_EQ(port.text(IDC_PULSE_NOW), "480");

    const std::string &mem = port.text(IDC_MEM_BASE);
    ASSERT_EQ(mem.size(), 8u);
    EXPECT_TRUE(std::all_of(mem.begin(), mem.end(),
                            [](char ch) { return std::isdigit(ch) || (ch >= 'A' && ch <= 'F'); }))
        << mem;
    EXPECT_EQ(port.text(IDC_STATUS), "TZ820设备0已经打开");
    EXPECT_EQ(port.text(IDC_DRIVER_VERSION), "103");
    EXPECT_EQ(port.text(IDC_INT_LINE).size(), 2u);
    EXPECT_EQ(port.text(IDC_IO_BASE).size(), 4u);

    for (int id : kAlwaysEnabledWhenOpen)
        EXPECT_TRUE(port.enabled(id)) << id;
    for (int id : kTz820Only)
        EXPECT_TRUE(port.enabled(id)) << id;
    EXPECT_FALSE(port.enabled(IDC_OPEN));
    EXPECT_FALSE(port.enabled(IDC_DEVICE_COMBO));
    EXPECT_TRUE(port.messages.empty()) << port.lastMessage().text;
    EXPECT_EQ(CallsNamed("TZ810mSetIntRoutine").size(), 1u);
}

TEST_F(Shell, OpeningATz810LeavesMemControlsOffAndThePulseRegisterAlone)
{
    Start("card 0 = TZ810\npulse 0 = 0x00\nversion = 0x2a\n");
    tzsim::ClearCalls();
    Open(0);
    EXPECT_EQ(s.conn.chip, ChipType::TZ810);
    EXPECT_EQ(port.text(IDC_STATUS), "TZ810设备0已经打开");
    EXPECT_EQ(port.text(IDC_PULSE_NOW), "30");
    EXPECT_EQ(port.text(IDC_DRIVER_VERSION), "2a");
    EXPECT_EQ(port.text(IDC_MEM_BASE), "");
    for (int id : kTz820Only)
        EXPECT_FALSE(port.enabled(id)) << id;
    EXPECT_TRUE(CallsNamed("TZ810mWriteIoByte").empty());
    EXPECT_TRUE(CallsNamed("TZ820mGetMemBaseAddr").empty());
    EXPECT_EQ(CallsNamed("TZ810mOpenDevice").size(), 1u);
}

TEST_F(Shell, InformationPanelFailuresAreReportedAndTheOpenGoesOn)
{
    Start("card 0 = TZ820\n"
          "fault TZ810mGetIntLine = always\n"
          "fault TZ810mGetIoBaseAddr = always\n"
          "fault TZ820mGetMemBaseAddr = always\n");
    Open(0);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"获得中断号失败!", "获得I/O基址失败!",
                                                         "获得MEM寄存器基址失败！"}));
    for (const auto &m : port.messages) {
        EXPECT_EQ(m.icon, Icon::Error);
        EXPECT_EQ(m.owner, Window::Main);
    }
    EXPECT_TRUE(s.conn.open);
    EXPECT_EQ(port.text(IDC_INT_LINE), "");
    EXPECT_EQ(port.text(IDC_IO_BASE), "");
    EXPECT_EQ(port.text(IDC_MEM_BASE), "");
    EXPECT_EQ(port.text(IDC_STATUS), "TZ820设备0已经打开");
}

TEST_F(Shell, FailedPulseReadSkipsThe32BitWrite)
{
    Start("card 0 = TZ820\nfault TZ810mReadIoByte = always\n");
    port.SetText(IDC_PULSE_NOW, "90");
    tzsim::ClearCalls();
    Open(0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text, "当前脉冲读取失败");
    EXPECT_EQ(port.lastMessage().icon, Icon::Error);
    EXPECT_EQ(port.text(IDC_PULSE_NOW), "90");
    EXPECT_TRUE(CallsNamed("TZ810mWriteIoByte").empty());
}

TEST_F(Shell, FailedThirtyTwoBitWriteHasNoIcon)
{
    Start("card 0 = TZ820\nfault TZ810mWriteIoByte = always\n");
    Open(0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text, "32位IO读写设置失败");
    EXPECT_EQ(port.lastMessage().icon, Icon::None);
}

TEST_F(Shell, DriverVersionThatTheBoxRefusesIsReported)
{
    Start();
    port.failSetText = true;
    Open(0);
    ASSERT_FALSE(port.messages.empty());
    EXPECT_EQ(port.messages.front().text, "未能成功获得驱动版本号!");
    EXPECT_EQ(port.messages.front().icon, Icon::Error);
}

TEST_F(Shell, OpenOfAnAbsentCardChangesNoControl)
{
    Start();
    auto before = port.controls;
    Open(2);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text, "无法打开设备2,请确保设备已经插入");
    EXPECT_EQ(port.lastMessage().icon, Icon::Error);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(s.conn.index, 2u);
    for (auto &[id, control] : before)
        EXPECT_EQ(port.enabled(id), control.enabled) << id;
    EXPECT_TRUE(port.enabled(IDC_OPEN));

    // No selection addresses index 255.
    port.SelectComboEntry(IDC_DEVICE_COMBO, -1);
    DispatchCommand(s, IDC_OPEN);
    EXPECT_EQ(s.conn.index, 255u);
    EXPECT_EQ(port.lastMessage().text, "无法打开设备255,请确保设备已经插入");
}

TEST_F(Shell, OpenOfAnUnrecognisedCardClosesItAgain)
{
    Start("card 0 = TZ810\ndid 0 = 0x1299\n");
    port.messages.clear();
    tzsim::ClearCalls();
    Open(0);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text,
              "未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
              "请将程序中相应的代码更改一下");
    EXPECT_EQ(port.lastMessage().icon, Icon::None);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(CallsNamed("TZ810mCloseDevice").size(), 1u);
    EXPECT_TRUE(port.enabled(IDC_OPEN));
    EXPECT_FALSE(port.enabled(IDC_CLOSE));
}

TEST_F(Shell, OpenWhileOpenRepeatsTheStatusAndResetsTheCounters)
{
    Start();
    Open(1);
    s.irq.levelCount = 7;
    s.irq.edgeCount = 3;
    tzsim::ClearCalls();
    DispatchCommand(s, IDC_OPEN);
    EXPECT_EQ(port.lastMessage().text, "TZ810设备1已经打开");
    EXPECT_EQ(port.lastMessage().owner, Window::Main);
    EXPECT_EQ(s.irq.levelCount, 0);
    EXPECT_EQ(s.irq.edgeCount, 0);
    EXPECT_TRUE(tzsim::Calls().empty());
}

TEST_F(Shell, CloseUndoesTheOpenAndEndsTheShownDialogs)
{
    Start();
    Open(0);
    port.SetChecked(IDC_MEM_32BIT, false);
    port.SelectComboEntry(IDC_PULSE_COMBO, 5);
    port.SetText(IDC_IO_DATA, "01 02 ");
    s.irq.mode = 2;
    s.irq.edgeCount = 4;
    port.shown[Window::Identity] = true;
    port.shown[Window::Help] = true;
    ULONG ioBase = s.conn.ioBase;
    tzsim::ClearCalls();

    DispatchCommand(s, IDC_CLOSE);

    auto closes = CallsNamed("TZ810mCloseDevice");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].args[0], 0u);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(s.conn.chip, ChipType::None);
    EXPECT_EQ(s.conn.ioBase, ioBase);
    EXPECT_EQ(s.irq.edgeCount, 0);
    EXPECT_EQ(s.irq.mode, 2);
    EXPECT_EQ(port.text(IDC_STATUS), "设备0已经关闭");
    EXPECT_EQ(port.ended, (std::vector<std::pair<Window, int>>{{Window::Identity, 1},
                                                               {Window::Help, 2}}));
    for (int id : {IDC_IO_LENGTH, IDC_MEM_LENGTH, IDC_IO_DATA, IDC_MEM_BASE, IDC_DRIVER_VERSION,
                   IDC_PULSE_NOW})
        EXPECT_EQ(port.text(id), "") << id;
    EXPECT_EQ(port.ComboSelection(IDC_PULSE_COMBO), 0);
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT)); // the tick is left as it was
    for (int id : kAlwaysEnabledWhenOpen)
        EXPECT_FALSE(port.enabled(id)) << id;
    for (int id : kTz820Only)
        EXPECT_FALSE(port.enabled(id)) << id;
    EXPECT_TRUE(port.enabled(IDC_OPEN));
    EXPECT_TRUE(port.enabled(IDC_DEVICE_COMBO));
}

TEST_F(Shell, CloseWhileClosedSaysTheDeviceIsNotOpen)
{
    Start();
    tzsim::ClearCalls();
    DispatchCommand(s, IDC_CLOSE);
    EXPECT_EQ(port.lastMessage().text, "设备0没有打开");
    EXPECT_EQ(port.lastMessage().icon, Icon::None);
    EXPECT_TRUE(tzsim::Calls().empty());
}

TEST_F(Shell, GuardedCommandsRefuseWithoutAnOpenDevice)
{
    Start();
    Open(3); // fails, but the index is now 3
    port.messages.clear();
    tzsim::ClearCalls();
    const int guarded[] = {IDC_IDENTITY, IDC_PULSE_SET, IDC_IO_READ,  IDC_IO_WRITE, IDC_MEM_READ,
                           IDC_MEM_WRITE, IDC_I2C_READ, IDC_I2C_WRITE, IDC_SPI_SET, IDC_CFG_READ,
                           IDC_CFG_WRITE};
    for (int id : guarded)
        EXPECT_TRUE(DispatchCommand(s, id)) << id;
    ASSERT_EQ(port.messages.size(), std::size(guarded));
    for (const auto &m : port.messages) {
        EXPECT_EQ(m.text, "设备3没有打开");
        EXPECT_EQ(m.owner, Window::Main);
    }
    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_TRUE(port.dialogsRun.empty());
}

TEST_F(Shell, EnterAndUnknownCommandsAreNotHandled)
{
    Start();
    EXPECT_FALSE(DispatchCommand(s, 1));
    EXPECT_FALSE(DispatchCommand(s, IDC_STATUS));
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(Shell, ExitClosesTheCurrentIndexOnceAndEndsWithOne)
{
    for (int command : {2, IDC_EXIT}) {
        FakePort p;
        Session session{p, files};
        tzsim::Reset("");
        ASSERT_TRUE(InitialiseMainDialog(session, BindSimulator));
        tzsim::ClearCalls();
        EXPECT_TRUE(DispatchCommand(session, command));
        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, "TZ810mCloseDevice");
        EXPECT_EQ(calls[0].args[0], 0u);
        EXPECT_EQ(p.ended, (std::vector<std::pair<Window, int>>{{Window::Main, 1}}));
    }
}

TEST(HelpText, IsFortySevenCrLfLinesOf2034BytesInCodePage936)
{
    const char *text = HelpText();
    size_t length = std::strlen(text);
    size_t lines = 0;
    for (size_t i = 0; i + 1 < length; ++i)
        if (text[i] == '\r' && text[i + 1] == '\n')
            ++lines;
    EXPECT_EQ(lines, 47u);
    EXPECT_EQ(text[length - 2], '\r');
    EXPECT_EQ(text[length - 1], '\n');

    iconv_t cd = iconv_open("GBK", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in(text), out(4096, '\0');
    char *src = &in[0], *dst = &out[0];
    size_t srcLeft = in.size(), dstLeft = out.size();
    ASSERT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    EXPECT_EQ(out.size() - dstLeft, 2034u);
}

} // namespace
