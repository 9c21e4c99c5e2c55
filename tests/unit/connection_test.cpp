// The connection to one card: enumeration at start-up, open, the information panel, close.
#include "card_session.h"
#include "guards.h"

namespace {
using board::InterruptMode;
using cardtest::Args, cardtest::CallsNamed, cardtest::Strings;
using Ended = std::vector<std::pair<Window, int>>;

class Connection : public cardtest::CardSession {
  protected:
    // A level and then an edge interrupt counted, the calls and messages forgotten.
    void CountOneOfEach()
    {
        for (int button : {IDC_LEVEL_TEST, IDC_EDGE_TEST}) {
            Click(button);
            ASSERT_TRUE(tzsim::WaitForInterrupts(5000));
        }
        ASSERT_EQ(s.irq.Calls(InterruptMode::Level), 1u);
        ASSERT_EQ(s.irq.Calls(InterruptMode::Edge), 1u);
        Reset();
    }
};

TEST_F(Connection, EnumerationProbesEveryIndexAndNamesTheCardsByPosition)
{
    const char kUnknownCard1[] = "未能识别您的设备1，如果您更改了设备标识,"
                                 "即设备的配置寄存器中的02H空间，请将程序中相应的代码更改一下";

    // clang-format off
    const struct {
        const char *config, *status;
        unsigned probes;
        const char *message;
    } rows[] = {
        {"", "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. ", 16, nullptr},
        {"card 0 = none", "已检测到0台设备. ", 16, nullptr},
        {"card 0 = TZ810\ndid 0 = 0x5831", "已检测到1台设备. 设备0为TZ810设备. ", 16, nullptr},
        {"card 2 = TZ820\ncard 9 = TZ810\ncard 15 = TZ820", "已检测到3台设备. 设备0为TZ820设备. 设备1为TZ810设备. 设备2为TZ820设备. ", 16,
         nullptr},
        // an unknown card ends the probe and leaves the status box alone
        {"card 0 = TZ810\ncard 1 = TZ810\ndid 1 = 0x1235\ncard 2 = TZ820", "", 2, kUnknownCard1},
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.config);
        port = FakePort();
        tzsim::Reset(row.config);
        InitialiseMainDialog(s, cardtest::BindSimulator);
        EXPECT_EQ(port.Text(IDC_STATUS), row.status);
        const auto opens = CallsNamed("TZ810mOpenDevice");
        const auto closes = CallsNamed("TZ810mCloseDevice");
        ASSERT_EQ(opens.size(), row.probes);
        ASSERT_EQ(closes.size(), row.probes);
        for (unsigned i = 0; i < row.probes; ++i) {
            EXPECT_EQ(opens[i].args, (Args{i, 0, 1, 0}));
            EXPECT_EQ(closes[i].args, Args{i});
        }
        for (const auto &read : CallsNamed("TZ810mReadConfig"))
            EXPECT_EQ(read.args[1], 0x02u);
        if (row.message)
            ExpectOnlyMessage(row.message, Icon::None, Window::None);
        else
            EXPECT_EQ(port.messages.size(), 0u);
    }
}

TEST_F(Connection, OpenFillsTheInformationPanelForEachChip)
{
    const int kBoxes[] = {IDC_INT_LINE,  IDC_IO_BASE,        IDC_MEM_BASE,
                          IDC_PULSE_NOW, IDC_DRIVER_VERSION, IDC_STATUS};
    // A TZ820 is opened again with its MEM window, and its pulse register gets bit 6 (32-bit I/O).
    const char kTz820[] = "card 0 = TZ810\ncard 1 = TZ820\nio_base 1 = 0x0300\nint_line 1 = 5\n"
                          "mem_base 1 = 0x000F0000\npulse 1 = 0x8F\nversion = 0x2a7";
    const char kTz810[] = "card 0 = TZ810\nio_base 0 = 0xE000\nint_line 0 = 0x1B\npulse 0 = 0x42";

    // clang-format off
    const struct {
        int index;
        const char *config, *trace;
        Strings texts;  // of kBoxes
        bool tz820;
    } rows[] = {
        {1, kTz820, "TZ810mOpenDevice(1,0,1,0) TZ810mReadConfig(1,2) TZ810mCloseDevice(1) TZ810mOpenDevice(1,1,1,0) "
         "TZ810GetDrvVersion() TZ810mGetIntLine(1) TZ810mGetIoBaseAddr(1) TZ820mGetMemBaseAddr(1) "
         "TZ810mReadIoByte(1,3fa) TZ810mWriteIoByte(1,3fa,cf) TZ810mSetIntRoutine(1) TZ810StreamSPI(1,4,4)", {"05",
         "0300", "000F0000", "480", "2a7", "TZ820设备1已经打开"}, true},
        {0, kTz810, "TZ810mOpenDevice(0,0,1,0) TZ810mReadConfig(0,2) TZ810GetDrvVersion() TZ810mGetIntLine(0) "
         "TZ810mGetIoBaseAddr(0) TZ810mReadIoByte(0,e0fa) TZ810mSetIntRoutine(0) TZ810StreamSPI(0,4,4)", {"1B",
         "E000", "", "90", "103", "TZ810设备0已经打开"}, false},
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.config);
        Boot(row.config);
        port.SelectComboEntry(IDC_DEVICE_COMBO, row.index);
        Click(IDC_OPEN);
        EXPECT_EQ(port.messages.size(), 0u);
        EXPECT_EQ(cardtest::Trace(), row.trace);
        for (size_t i = 0; i < std::size(kBoxes); ++i)
            EXPECT_EQ(port.Text(kBoxes[i]), row.texts[i]) << kBoxes[i];
        EXPECT_EQ(port.IsChecked(IDC_MEM_32BIT), row.tz820);
        EXPECT_EQ(port.Text(IDC_FLASH_STATUS), "FLASH状态正常");
    }
}

TEST_F(Connection, InformationPanelFailuresAreReportedAndTheOpenGoesOn)
{
    // clang-format off
    const struct {
        const char *fault, *message;
        Icon icon;
        int box;
        const char *boxText;
        int pulseWrites;  // -1: not looked at
    } rows[] = {
        {"TZ810mGetIntLine", "获得中断号失败!", Icon::Error, IDC_INT_LINE, "", 1},
        {"TZ810mGetIoBaseAddr", kIoBaseFailed, Icon::Error, IDC_IO_BASE, "", -1},
        {"TZ820mGetMemBaseAddr", kMemBaseFailed, Icon::Error, IDC_MEM_BASE, "", 1},
        {"TZ810mReadIoByte", "当前脉冲读取失败", Icon::Error, IDC_PULSE_NOW, "zz", 0},
        {"TZ810mWriteIoByte", "32位IO读写设置失败", Icon::None, IDC_PULSE_NOW, "150", 1},
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.fault);
        Boot(std::string("fault ") + row.fault + " = always\npulse 0 = 0x04");
        for (int id : {IDC_INT_LINE, IDC_IO_BASE, IDC_MEM_BASE, IDC_PULSE_NOW})
            Type(id, "zz");
        Click(IDC_OPEN);
        ExpectOnlyMessage(row.message, row.icon);
        EXPECT_EQ(port.Text(row.box), row.boxText);
        if (row.pulseWrites >= 0) {
            EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), size_t(row.pulseWrites));
        }
        EXPECT_EQ(port.Text(IDC_STATUS), "TZ820设备0已经打开");
    }
    Boot();
    port.failSetText = true;
    Click(IDC_OPEN);
    EXPECT_EQ(port.messages.at(0).text, "未能成功获得驱动版本号!");
    EXPECT_EQ(port.messages[0].icon, Icon::Error);
    EXPECT_TRUE(s.conn.open);
}

TEST_F(Connection, RefusedOpensLeaveTheDeviceClosed)
{
    const char kUnknown[] = "未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
                            "请将程序中相应的代码更改一下";

    // clang-format off
    const struct {
        int selection;
        const char *config, *message;
        Icon icon;
        size_t closes;
    } rows[] = {
        {2, "", "无法打开设备2,请确保设备已经插入", Icon::Error, 0},
        {-1, "", "无法打开设备255,请确保设备已经插入", Icon::Error, 0},
        {0, "card 0 = TZ810\ndid 0 = 0x1299", kUnknown, Icon::None, 1},
        // 16 enumeration opens; the 17th is the open, the 18th the TZ820's re-open
        {0, "fault TZ810mOpenDevice = call 18\n", "无法打开设备0,请确保设备已经插入", Icon::Error, 1},
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.message);
        Boot(row.config);
        const auto before = port.controls;
        port.controls[IDC_DEVICE_COMBO].selection = row.selection;
        Click(IDC_OPEN);
        ExpectOnlyMessage(row.message, row.icon);
        EXPECT_EQ(tzsim::CountCalls("TZ810mCloseDevice"), row.closes);
        EXPECT_FALSE(s.conn.open);
        EXPECT_EQ(s.conn.card.chip, board::Chip::Unknown);
        for (const auto &[id, control] : before) {
            EXPECT_EQ(port.controls[id].enabled, control.enabled) << id;
            EXPECT_EQ(port.controls[id].text, control.text) << id;
            EXPECT_EQ(port.controls[id].checked, control.checked) << id;
        }
    }
    // Nothing of the failed re-open lingers: the next open is a whole one.
    Click(IDC_OPEN);
    EXPECT_EQ(s.conn.card.chip, board::Chip::TZ820);
    EXPECT_EQ(tzsim::CountCalls("TZ810mSetIntRoutine"), 1u);
    // While open, the status again and the counters back to 0.
    CountOneOfEach();
    Click(IDC_OPEN);
    ExpectRefused("TZ820设备0已经打开", Icon::None);
    EXPECT_EQ(s.irq.Calls(InterruptMode::Level), 0u);
    EXPECT_EQ(s.irq.Calls(InterruptMode::Edge), 0u);
}

TEST_F(Connection, CloseUndoesTheOpenAndEndsTheShownDialogs)
{
    Open(0);
    CountOneOfEach();
    port.SetChecked(IDC_MEM_32BIT, false);
    const int kSomeBoxes[] = {IDC_INT_LINE, IDC_IO_DATA, IDC_CFG_ADDR, IDC_EDGE_COUNT,
                              IDC_DRIVER_VERSION};
    const int kSomeCombos[] = {IDC_DEVICE_COMBO, IDC_PULSE_COMBO, IDC_SPI_CLOCK};
    for (int id : kSomeBoxes)
        Type(id, "12");
    for (int id : kSomeCombos)
        port.SelectComboEntry(id, 1);
    port.shown[Window::Identity] = true;
    port.shown[Window::Help] = true;
    Click(IDC_CLOSE);
    EXPECT_EQ(cardtest::Trace(), "TZ810mCloseDevice(0)");
    EXPECT_EQ(port.messages.size(), 0u);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(s.conn.card.chip, board::Chip::Unknown);
    EXPECT_EQ(s.irq.Calls(InterruptMode::Level), 0u);
    EXPECT_EQ(s.irq.Calls(InterruptMode::Edge), 0u);
    EXPECT_EQ(s.irq.Mode(), InterruptMode::Edge);
    EXPECT_EQ(port.Text(IDC_STATUS), "设备0已经关闭");
    EXPECT_EQ(port.ended, (Ended{{Window::Identity, 1}, {Window::Help, 2}}));
    for (int id : kSomeBoxes)
        EXPECT_EQ(port.Text(id), "") << id;
    for (int id : kSomeCombos)
        EXPECT_EQ(port.ComboSelection(id), 0) << id;
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT));  // the tick is left as it was
    Reset();
    Click(IDC_CLOSE);
    ExpectRefused("设备0没有打开", Icon::None);
}

// A base the last open could not read is never used: every handler through it refuses.
TEST_F(Connection, NoBaseTheOpenCouldNotReadIsUsed)
{
    // Card 1 is opened first, so its base is what a failed read leaves behind.
    Open(1, "fault TZ810mGetIoBaseAddr = call 2\nfault TZ820mGetMemBaseAddr = always\n");
    Click(IDC_CLOSE);
    Reset();
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
    Click(IDC_OPEN);
    ASSERT_TRUE(s.conn.open);
    EXPECT_EQ(port.messages.size(), 2u);  // the two base failures, nothing of the pulse
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadIoByte"), 0u);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 0u);
    EXPECT_EQ(port.Text(IDC_PULSE_NOW), "");

    // clang-format off
    const struct {
        int button, addressType;
        const char *message;  // null: served
    } rows[] = {
        {IDC_PULSE_SET, 0, kIoBaseFailed},
        {IDC_IO_READ, 0, kIoBaseFailed},
        {IDC_IO_WRITE, 0, kIoBaseFailed},
        {IDC_LEVEL_TEST, 0, kIoBaseFailed},
        {IDC_EDGE_TEST, 0, kIoBaseFailed},
        {IDC_MEM_READ, 0, kMemBaseFailed},
        {IDC_MEM_WRITE, 0, kMemBaseFailed},
        {IDC_IO_READ, 1, nullptr},  // a direct address needs no base
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(row.button);
        for (int box : {IDC_IO_ADDR, IDC_IO_LENGTH, IDC_MEM_ADDR, IDC_MEM_LENGTH})
            Type(box, "10");
        Type(IDC_IO_DATA, "AB");
        Type(IDC_MEM_DATA, "AB");
        port.SelectComboEntry(IDC_IO_ADDR_TYPE, row.addressType);
        Reset();
        Click(row.button);
        if (row.message)
            ExpectRefused(row.message);
        else
            EXPECT_EQ(OnlyBlockCall().args[2], 0x10u);
    }
    // The 32-bit switch keeps silent and leaves register and list alone.
    const auto entries = port.controls[IDC_MEM_WIDTH].entries;
    port.SetChecked(IDC_MEM_32BIT, false);
    Reset();
    Click(IDC_MEM_32BIT);
    EXPECT_EQ(cardtest::Trace(), "");
    EXPECT_EQ(port.messages.size(), 0u);
    EXPECT_EQ(port.controls[IDC_MEM_WIDTH].entries, entries);
    // The next open that reads the base clears the condition.
    Click(IDC_CLOSE);
    Click(IDC_OPEN);
    Reset();
    Click(IDC_PULSE_SET);
    ASSERT_EQ(CallsNamed("TZ810mWriteIoByte").size(), 1u);
    EXPECT_EQ(CallsNamed("TZ810mWriteIoByte")[0].args[1], cardtest::kIoBase0 + 0xFA);
}
}  // namespace
