// The shell on the simulated bench: set-up, enumeration, open, close, not-open guard, exit.
#include <iconv.h>
#include "block_fixture.h"
#include "help_text.h"

namespace {
using blocktest::Args, blocktest::CallNames, blocktest::CallsNamed;
using Strings = std::vector<std::string>;
using Ended = std::vector<std::pair<Window, int>>;

class Shell : public blocktest::Bench {};

bool FailToLoad(DeviceLibrary &)
{
    return false;
}

TEST_F(Shell, ControlSetUpFillsTheListsLimitsFiltersAndLengths)
{
    Boot();
    Strings widths;
    for (int ns = 30; ns <= 450; ns += 30)
        widths.push_back(std::to_string(ns) + " ns");
    const std::pair<int, Strings> lists[] = {
        {IDC_DEVICE_COMBO, {"0", "1", "2", "3"}}, {IDC_PULSE_COMBO, widths},
        {IDC_IO_WIDTH, {"字节", "字", "双字"}},   {IDC_IO_ADDR_TYPE, {"偏移地址", "直接地址"}},
        {IDC_MEM_WIDTH, {"字节", "双字"}},        {IDC_SPI_MODE, {"SPI3", "SPI4"}},
        {IDC_SPI_CLOCK, {"15.6Mhz", "31.3Mhz"}}};
    for (const auto &[id, entries] : lists)
        EXPECT_TRUE(port.c(id).entries == entries && port.c(id).selection == 0) << id;
    for (const auto &[id, limit] : {std::pair{IDC_CFG_ADDR, 2},
                                    {IDC_CFG_DATA, 2},
                                    {IDC_I2C_ADDR, 2},
                                    {IDC_I2C_DATA, 2},
                                    {IDC_IO_ADDR, 4},
                                    {IDC_MEM_ADDR, 4},
                                    {IDC_IO_LENGTH, 0}})
        EXPECT_EQ(port.c(id).limit, limit) << id;
    EXPECT_EQ(
        port.hexFilterOrder,
        (std::vector<int>{IDC_IO_ADDR, IDC_IO_LENGTH, IDC_IO_DATA, IDC_MEM_ADDR, IDC_MEM_LENGTH,
                          IDC_MEM_DATA, IDC_I2C_ADDR, IDC_I2C_DATA, IDC_CFG_ADDR, IDC_CFG_DATA}));
    EXPECT_EQ(port.text(IDC_IO_LENGTH) + port.text(IDC_MEM_LENGTH), "11");
}

TEST_F(Shell, ControlsEnabledPerState)
{
    // Enabled: closed, with a TZ810 open, with a TZ820 open.
    const struct {
        int id;
        bool on[3];
    } rows[] = {
        {IDC_DEVICE_COMBO, {1, 0, 0}},   {IDC_OPEN, {1, 0, 0}},        {IDC_CLOSE, {0, 1, 1}},
        {IDC_PULSE_SET, {0, 1, 1}},      {IDC_IO_CLEAR, {0, 1, 1}},    {IDC_IO_READ, {0, 1, 1}},
        {IDC_IO_WRITE, {0, 1, 1}},       {IDC_I2C_READ, {0, 1, 1}},    {IDC_I2C_WRITE, {0, 1, 1}},
        {IDC_IDENTITY, {0, 1, 1}},       {IDC_CFG_READ, {0, 1, 1}},    {IDC_CFG_WRITE, {0, 1, 1}},
        {IDC_LEVEL_TEST, {0, 1, 1}},     {IDC_EDGE_TEST, {0, 1, 1}},   {IDC_SPI_SET, {0, 1, 1}},
        {IDC_FLASH_READ, {0, 1, 1}},     {IDC_FLASH_WRITE, {0, 1, 1}}, {IDC_FLASH_ERASE, {0, 1, 1}},
        {IDC_MEM_BASE_LABEL, {0, 0, 1}}, {IDC_MEM_BASE, {0, 0, 1}},    {IDC_MEM_READ, {0, 0, 1}},
        {IDC_MEM_WRITE, {0, 0, 1}},      {IDC_MEM_CLEAR, {0, 0, 1}},   {IDC_MEM_32BIT, {0, 0, 1}},
        {IDC_HELP, {1, 1, 1}},           {IDC_EXIT, {1, 1, 1}},        {IDC_IO_DATA, {1, 1, 1}}};

    auto expect = [&](int state) {
        for (const auto &r : rows)
            EXPECT_EQ(port.enabled(r.id), r.on[state]) << "control " << r.id << ", state " << state;
    };
    Boot();
    expect(0);
    for (int index : {1, 0}) {
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        Click(IDC_OPEN);
        expect(index == 1 ? 1 : 2);
        Click(IDC_CLOSE);
        expect(0);
    }
}

TEST_F(Shell, LibraryThatCannotBeLoadedEndsTheDialogWith129BeforeAnyCall)
{
    tzsim::Reset();
    tzsim::ClearCalls();
    EXPECT_FALSE(InitialiseMainDialog(s, FailToLoad));
    ExpectRefused("无法加载TZ810的DLL");
    EXPECT_EQ(port.ended, (Ended{{Window::Main, 129}}));
    EXPECT_EQ(port.text(IDC_STATUS), "");
    EXPECT_FALSE(port.enabled(IDC_CLOSE));  // the controls were set up first
}

TEST_F(Shell, EnumerationProbesEveryIndexAndNamesTheCardsByPosition)
{
    const struct {
        const char *config, *status;
        unsigned probes;
        const char *message;
    } benches[] = {
        {"", "已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备. ", 16, nullptr},
        {"card 0 = none", "已检测到0台设备. ", 16, nullptr},
        {"card 0 = TZ810\ndid 0 = 0x5831", "已检测到1台设备. 设备0为TZ810设备. ", 16, nullptr},
        {"card 2 = TZ820\ncard 9 = TZ810\ncard 15 = TZ820",
         "已检测到3台设备. 设备0为TZ820设备. 设备1为TZ810设备. 设备2为TZ820设备. ", 16, nullptr},
        {"card 0 = TZ810\ncard 1 = TZ810\ndid 1 = 0x1235\ncard 2 = TZ820", "", 2,
         "未能识别您的设备1，如果您更改了设备标识,"
         "即设备的配置寄存器中的02H空间，请将程序中相应的代码更改一下"}};

    for (const auto &b : benches) {
        SCOPED_TRACE(b.config);
        port = FakePort();
        tzsim::Reset(b.config);
        InitialiseMainDialog(s, blocktest::BindSimulator);
        EXPECT_EQ(port.text(IDC_STATUS), b.status);
        const auto opens = CallsNamed("TZ810mOpenDevice"), closes = CallsNamed("TZ810mCloseDevice");
        ASSERT_EQ(opens.size(), b.probes);
        ASSERT_EQ(closes.size(), b.probes);
        for (unsigned i = 0; i < b.probes; ++i)
            EXPECT_TRUE(opens[i].args == (Args{i, 0, 1, 0}) && closes[i].args == Args{i}) << i;
        for (const auto &read : CallsNamed("TZ810mReadConfig"))
            EXPECT_EQ(read.args[1], 0x02u);
        EXPECT_EQ(port.messages.size(), b.message ? 1u : 0u);
        if (b.message)
            ExpectOnlyMessage(Window::None, b.message, Icon::None);
    }
}

TEST_F(Shell, OpenFillsTheInformationPanelForEachChip)
{
    const struct {  // texts: int line, I/O base, MEM base, pulse, version, status
        ULONG index, ioBase;
        const char *config;
        Strings calls;
        Strings texts;
        bool tz820;
    } cases[] = {
        {1,
         0x300,
         "card 0 = TZ810\ncard 1 = TZ820\nio_base 1 = 0x0300\nint_line 1 = 5\nmem_base 1 = "
         "0x000F0000\n"
         "pulse 1 = 0x8F\nversion = 0x2a7",
         {"TZ810mOpenDevice", "TZ810mReadConfig", "TZ810mCloseDevice", "TZ810mOpenDevice",
          "TZ810GetDrvVersion", "TZ810mGetIntLine", "TZ810mGetIoBaseAddr", "TZ820mGetMemBaseAddr",
          "TZ810mReadIoByte", "TZ810mWriteIoByte", "TZ810mSetIntRoutine", "TZ810StreamSPI"},
         {"05", "0300", "000F0000", "480", "2a7", "TZ820设备1已经打开"},
         true},
        {0,
         0xE000,
         "card 0 = TZ810\nio_base 0 = 0xE000\nint_line 0 = 0x1B\npulse 0 = 0x42",
         {"TZ810mOpenDevice", "TZ810mReadConfig", "TZ810GetDrvVersion", "TZ810mGetIntLine",
          "TZ810mGetIoBaseAddr", "TZ810mReadIoByte", "TZ810mSetIntRoutine", "TZ810StreamSPI"},
         {"1B", "E000", "", "90", "103", "TZ810设备0已经打开"},
         false}};

    for (const auto &c : cases) {
        SCOPED_TRACE(c.config);
        Boot(c.config);
        port.SelectComboEntry(IDC_DEVICE_COMBO, int(c.index));
        Click(IDC_OPEN);
        EXPECT_TRUE(port.messages.empty());
        EXPECT_EQ(CallNames(), c.calls);
        EXPECT_EQ(CallsNamed("TZ810mOpenDevice").front().args, (Args{c.index, 0, 1, 0}));
        EXPECT_EQ(CallsNamed("TZ810mOpenDevice").back().args, (Args{c.index, c.tz820, 1, 0}));
        EXPECT_EQ(CallsNamed("TZ810mReadConfig")[0].args, (Args{c.index, 2}));
        EXPECT_EQ(CallsNamed("TZ810mReadIoByte")[0].args, (Args{c.index, c.ioBase + 0xFA}));
        if (c.tz820) {
            EXPECT_EQ(CallsNamed("TZ810mWriteIoByte")[0].args,
                      (Args{c.index, c.ioBase + 0xFA, 0xCF}));
        }
        const int boxes[] = {IDC_INT_LINE,  IDC_IO_BASE,        IDC_MEM_BASE,
                             IDC_PULSE_NOW, IDC_DRIVER_VERSION, IDC_STATUS};
        for (size_t i = 0; i < std::size(boxes); ++i)
            EXPECT_EQ(port.text(boxes[i]), c.texts[i]) << boxes[i];
        EXPECT_EQ(port.IsChecked(IDC_MEM_32BIT), c.tz820);
        EXPECT_EQ(port.text(IDC_FLASH_STATUS), "FLASH状态正常");
    }
}

TEST_F(Shell, InformationPanelFailuresAreReportedAndTheOpenGoesOn)
{
    const struct {  // writes -1: not looked at
        const char *fault, *message;
        Icon icon;
        int box;
        const char *boxText;
        int writes;
    } rows[] = {
        {"TZ810mGetIntLine", "获得中断号失败!", Icon::Error, IDC_INT_LINE, "", 1},
        {"TZ810mGetIoBaseAddr", "获得I/O基址失败!", Icon::Error, IDC_IO_BASE, "", -1},
        {"TZ820mGetMemBaseAddr", "获得MEM寄存器基址失败！", Icon::Error, IDC_MEM_BASE, "", 1},
        {"TZ810mReadIoByte", "当前脉冲读取失败", Icon::Error, IDC_PULSE_NOW, "zz", 0},
        {"TZ810mWriteIoByte", "32位IO读写设置失败", Icon::None, IDC_PULSE_NOW, "150", 1}};

    for (const auto &r : rows) {
        SCOPED_TRACE(r.fault);
        Boot(std::string("fault ") + r.fault + " = always\npulse 0 = 0x04");
        for (int id : {IDC_INT_LINE, IDC_IO_BASE, IDC_MEM_BASE, IDC_PULSE_NOW})
            Type(id, "zz");
        Click(IDC_OPEN);
        ExpectOnlyMessage(r.message, r.icon);
        EXPECT_EQ(port.text(r.box), r.boxText);
        if (r.writes >= 0) {
            EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), size_t(r.writes));
        }
        EXPECT_EQ(port.text(IDC_STATUS), "TZ820设备0已经打开");
    }
    Boot();
    port.failSetText = true;
    Click(IDC_OPEN);
    EXPECT_EQ(port.messages.at(0).text, "未能成功获得驱动版本号!");
    EXPECT_EQ(port.messages[0].icon, Icon::Error);
    EXPECT_TRUE(s.conn.open);
}

TEST_F(Shell, RefusedOpensLeaveTheDeviceClosed)
{
    // An empty index, no selection (index 255), an unknown identifier.
    const struct {
        int selection;
        const char *config, *message;
        Icon icon;
        size_t closes;
    } rows[] = {{2, "", "无法打开设备2,请确保设备已经插入", Icon::Error, 0},
                {-1, "", "无法打开设备255,请确保设备已经插入", Icon::Error, 0},
                {0, "card 0 = TZ810\ndid 0 = 0x1299",
                 "未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
                 "请将程序中相应的代码更改一下",
                 Icon::None, 1}};

    for (const auto &r : rows) {
        SCOPED_TRACE(r.message);
        Boot(r.config);
        const auto before = port.controls;
        port.c(IDC_DEVICE_COMBO).selection = r.selection;
        Click(IDC_OPEN);
        ExpectOnlyMessage(r.message, r.icon);
        EXPECT_EQ(tzsim::CountCalls("TZ810mCloseDevice"), r.closes);
        EXPECT_FALSE(s.conn.open || s.conn.chip != board::Chip::Unknown);
        for (const auto &[id, control] : before)
            EXPECT_TRUE(port.enabled(id) == control.enabled && port.text(id) == control.text) << id;
    }
    // While open, the status again and the counters back to 0.
    Open(1);
    s.irq.levelCount = 7;
    s.irq.edgeCount = 3;
    Click(IDC_OPEN);
    ExpectRefused("TZ810设备1已经打开", Icon::None);
    EXPECT_EQ(s.irq.levelCount + s.irq.edgeCount, 0);
}

TEST_F(Shell, CloseUndoesTheOpenAndEndsTheShownDialogs)
{
    Open(0);
    port.SetChecked(IDC_MEM_32BIT, false);
    const int emptied[] = {IDC_INT_LINE,   IDC_FLASH_STATUS,  IDC_IO_BASE,   IDC_MEM_BASE,
                           IDC_PULSE_NOW,  IDC_IO_ADDR,       IDC_IO_LENGTH, IDC_IO_DATA,
                           IDC_MEM_ADDR,   IDC_MEM_LENGTH,    IDC_MEM_DATA,  IDC_I2C_ADDR,
                           IDC_I2C_DATA,   IDC_CFG_ADDR,      IDC_CFG_DATA,  IDC_LEVEL_COUNT,
                           IDC_EDGE_COUNT, IDC_DRIVER_VERSION};
    const int combos[] = {IDC_DEVICE_COMBO, IDC_PULSE_COMBO, IDC_IO_WIDTH, IDC_IO_ADDR_TYPE,
                          IDC_MEM_WIDTH,    IDC_SPI_MODE,    IDC_SPI_CLOCK};
    for (int id : emptied)
        Type(id, "12");
    for (int id : combos)
        port.SelectComboEntry(id, 1);
    s.irq.mode = 2;
    s.irq.levelCount = 5;
    s.irq.edgeCount = 4;
    port.shown[Window::Identity] = port.shown[Window::Help] = true;
    Click(IDC_CLOSE);
    EXPECT_EQ(CallNames(), Strings{"TZ810mCloseDevice"});
    EXPECT_EQ(CallsNamed("TZ810mCloseDevice")[0].args, Args{0});
    EXPECT_TRUE(port.messages.empty());
    EXPECT_FALSE(s.conn.open || s.conn.chip != board::Chip::Unknown);
    EXPECT_EQ(s.irq.levelCount + s.irq.edgeCount, 0);
    EXPECT_EQ(s.irq.mode, 2);
    EXPECT_EQ(port.text(IDC_STATUS), "设备0已经关闭");
    EXPECT_EQ(port.ended, (Ended{{Window::Identity, 1}, {Window::Help, 2}}));
    for (int id : emptied)
        EXPECT_EQ(port.text(id), "") << id;
    for (int id : combos)
        EXPECT_EQ(port.ComboSelection(id), 0) << id;
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT));  // the tick is left as it was
    Reset();
    Click(IDC_CLOSE);
    ExpectRefused("设备0没有打开", Icon::None);
}

TEST_F(Shell, DeviceCommandsWithoutAnOpenDeviceSayItIsNotOpen)
{
    Boot();
    port.SelectComboEntry(IDC_DEVICE_COMBO, 3);
    Click(IDC_OPEN);  // fails, but the index is now 3
    for (int id :
         {IDC_IDENTITY, IDC_PULSE_SET, IDC_IO_READ, IDC_IO_WRITE, IDC_MEM_READ, IDC_MEM_WRITE,
          IDC_I2C_READ, IDC_I2C_WRITE, IDC_SPI_SET, IDC_CFG_READ, IDC_CFG_WRITE, IDC_LEVEL_TEST}) {
        SCOPED_TRACE(id);
        Reset();
        EXPECT_TRUE(DispatchCommand(s, id));
        ExpectRefused("设备3没有打开", Icon::None);
    }
    EXPECT_TRUE(port.dialogsRun.empty());
    // The edge test and the check box say nothing at all.
    Reset();
    EXPECT_TRUE(DispatchCommand(s, IDC_EDGE_TEST) && DispatchCommand(s, IDC_MEM_32BIT));
    EXPECT_TRUE(port.messages.empty() && tzsim::Calls().empty());
    for (int id : {IDC_FLASH_READ, IDC_FLASH_WRITE, IDC_FLASH_ERASE, IDC_OPEN, IDC_CLOSE})
        EXPECT_TRUE(DispatchCommand(s, id)) << id;
}

TEST_F(Shell, CommandsThatNeedNoDevice)
{
    Boot();
    Type(IDC_IO_DATA, "01 ");
    Type(IDC_MEM_DATA, "02 ");
    EXPECT_TRUE(DispatchCommand(s, IDC_IO_CLEAR));
    EXPECT_TRUE(DispatchCommand(s, IDC_MEM_CLEAR));
    EXPECT_EQ(port.text(IDC_IO_DATA) + port.text(IDC_MEM_DATA), "");
    EXPECT_TRUE(DispatchCommand(s, IDC_HELP));
    EXPECT_EQ(port.dialogsRun, std::vector<Window>{Window::Help});
    // Enter (IDOK) and anything that is not a command are not handled.
    EXPECT_FALSE(DispatchCommand(s, 1));
    EXPECT_FALSE(DispatchCommand(s, IDC_STATUS));
    EXPECT_TRUE(port.messages.empty() && tzsim::Calls().empty());
    for (int command : {2, IDC_EXIT}) {  // exit closes the last index used
        Open(1);
        Click(IDC_CLOSE);
        Reset();
        EXPECT_TRUE(DispatchCommand(s, command));
        EXPECT_EQ(CallNames(), Strings{"TZ810mCloseDevice"});
        EXPECT_EQ(CallsNamed("TZ810mCloseDevice")[0].args, Args{1});
        EXPECT_EQ(port.ended, (Ended{{Window::Main, 1}}));
    }
}

TEST(HelpText, IsFortySevenCrLfLinesOf2034BytesInCodePage936)
{
    std::string text = HelpText(), gbk(4096, '\0');
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 47u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    iconv_t cd = iconv_open("GBK", "UTF-8");
    char *src = &text[0], *dst = &gbk[0];
    size_t srcLeft = text.size(), dstLeft = gbk.size();
    ASSERT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    EXPECT_EQ(gbk.size() - dstLeft, 2034u);
}
}  // namespace
