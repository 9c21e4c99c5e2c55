// The main dialog: what is enabled when, the not-open guard, the commands that need no card, exit.
#include "card_session.h"

namespace {
using cardtest::Args, cardtest::CallsNamed, cardtest::Strings;
using Ended = std::vector<std::pair<Window, int>>;

class MainDialog : public cardtest::CardSession {};

TEST_F(MainDialog, ControlsEnabledPerState)
{
    // A control of each list and each one enabled alone. Enabled: closed, TZ810 open, TZ820 open.
    // clang-format off
    const struct {
        int id;
        bool on[3];
    } rows[] = {
        {IDC_DEVICE_COMBO, {1, 0, 0}},
        {IDC_OPEN, {1, 0, 0}},
        {IDC_CLOSE, {0, 1, 1}},
        {IDC_SPI_SET, {0, 1, 1}},
        {IDC_FLASH_READ, {0, 1, 1}},
        {IDC_FLASH_WRITE, {0, 1, 1}},
        {IDC_FLASH_ERASE, {0, 1, 1}},
        {IDC_MEM_BASE_LABEL, {0, 0, 1}},
        {IDC_MEM_32BIT, {0, 0, 1}},
        {IDC_HELP, {1, 1, 1}},
        {IDC_IO_DATA, {1, 1, 1}},
    };

    // clang-format on
    const auto expect = [&](int state) {
        for (const auto &row : rows)
            EXPECT_EQ(port.controls[row.id].enabled, row.on[state])
                << "control " << row.id << ", state " << state;
    };
    Boot();
    expect(0);
    // The combos' lists as the user reads them.
    const std::pair<int, Strings> lists[] = {{IDC_IO_WIDTH, {"字节", "字", "双字"}},
                                             {IDC_IO_ADDR_TYPE, {"偏移地址", "直接地址"}},
                                             {IDC_MEM_WIDTH, {"字节", "双字"}},
                                             {IDC_SPI_MODE, {"SPI3", "SPI4"}},
                                             {IDC_SPI_CLOCK, {"15.6Mhz", "31.3Mhz"}}};
    for (const auto &[id, entries] : lists)
        EXPECT_EQ(port.controls[id].entries, entries) << "combo " << id;
    // A block of one byte until the user types another length.
    EXPECT_EQ(port.Text(IDC_IO_LENGTH), "1");
    EXPECT_EQ(port.Text(IDC_MEM_LENGTH), "1");
    for (int index : {1, 0}) {
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        Click(IDC_OPEN);
        expect(index == 1 ? 1 : 2);
        Click(IDC_CLOSE);
        expect(0);
    }
}

TEST_F(MainDialog, DeviceCommandsWithoutAnOpenDeviceSayItIsNotOpen)
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
    EXPECT_EQ(port.dialogsRun.size(), 0u);
    // The edge test and the check box say nothing at all.
    for (int id : {IDC_EDGE_TEST, IDC_MEM_32BIT}) {
        Reset();
        EXPECT_TRUE(DispatchCommand(s, id)) << id;
        EXPECT_EQ(port.messages.size(), 0u) << id;
        EXPECT_EQ(cardtest::Trace(), "") << id;
    }
    for (int id : {IDC_FLASH_READ, IDC_FLASH_WRITE, IDC_FLASH_ERASE, IDC_OPEN, IDC_CLOSE})
        EXPECT_TRUE(DispatchCommand(s, id)) << id;
}

TEST_F(MainDialog, CommandsThatNeedNoDevice)
{
    Boot();
    Type(IDC_IO_DATA, "01 ");
    Type(IDC_MEM_DATA, "02 ");
    EXPECT_TRUE(DispatchCommand(s, IDC_IO_CLEAR));
    EXPECT_EQ(port.Text(IDC_IO_DATA), "");
    EXPECT_TRUE(DispatchCommand(s, IDC_MEM_CLEAR));
    EXPECT_EQ(port.Text(IDC_MEM_DATA), "");
    EXPECT_TRUE(DispatchCommand(s, IDC_HELP));
    EXPECT_EQ(port.dialogsRun, std::vector<Window>{Window::Help});
    // Enter (IDOK) and anything that is not a command are not handled.
    EXPECT_FALSE(DispatchCommand(s, 1));
    EXPECT_FALSE(DispatchCommand(s, IDC_STATUS));
    EXPECT_EQ(port.messages.size(), 0u);
    EXPECT_EQ(cardtest::Trace(), "");
    // Esc and the exit button close the last index used, open or not.
    for (int command : {2, IDC_EXIT}) {
        Open(1);
        Click(IDC_CLOSE);
        Reset();
        EXPECT_TRUE(DispatchCommand(s, command));
        EXPECT_EQ(cardtest::Trace(), "TZ810mCloseDevice(1)");
        EXPECT_EQ(port.ended, (Ended{{Window::Main, 1}}));
    }
}
}  // namespace
