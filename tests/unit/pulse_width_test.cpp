// Pulse-width panel: the set button and the 32-bit check box against the
// simulated bench.
#include "block_fixture.h"

#include "panels.h"

namespace {

using blocktest::CallsNamed;
using blocktest::kIoBase0;
using blocktest::kIoBase1;

class PulseWidth : public blocktest::Bench {
protected:
    std::vector<std::string> MemModes() { return port.c(IDC_MEM_WIDTH).entries; }
    void ClickCheckBox(bool ticked)
    {
        port.SetChecked(IDC_MEM_32BIT, ticked);
        Click(IDC_MEM_32BIT);
    }
    UCHAR Register0() { return tzsim::IoWindowByte(0, TZ_REG_PULSE); }
};

const std::vector<std::string> kBothModes{"字节", "双字"};
const std::vector<std::string> kByteOnly{"字节"};

TEST_F(PulseWidth, SetWritesTableValueBlindAndShowsWidth)
{
    // A TZ810, so the base used is visibly that card's own.
    Open(1);
    tzsim::SetIoWindowByte(1, TZ_REG_PULSE, 0xB7);  // bits 4, 5, 7 set, bit 6 clear
    struct { int entry; UCHAR value; const char *shown; } cases[] = {
        {0, 0x40, "30"}, {4, 0x44, "150"}, {14, 0x4E, "450"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entry);
        Reset();
        port.SelectComboEntry(IDC_PULSE_COMBO, c.entry);
        EXPECT_EQ(SetPulseWidth(s), 1);
        EXPECT_EQ(tzsim::CountCalls("TZ810mReadIoByte"), 0u);  // not read first
        auto writes = CallsNamed("TZ810mWriteIoByte");
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].args, (std::vector<std::uint32_t>{1, kIoBase1 + 0xFA, c.value}));
        EXPECT_EQ(tzsim::IoWindowByte(1, TZ_REG_PULSE), c.value);
        ExpectOnlyMessage(Window::Main, "设置成功", Icon::None);
        EXPECT_EQ(port.text(IDC_PULSE_NOW), c.shown);
    }
}

TEST_F(PulseWidth, FailedWriteKeepsDisplayedWidth)
{
    Open(1, "fault TZ810mWriteIoByte = always");
    const std::string before = port.text(IDC_PULSE_NOW);
    ASSERT_FALSE(before.empty());
    port.SelectComboEntry(IDC_PULSE_COMBO, 9);
    EXPECT_EQ(SetPulseWidth(s), 0);
    ExpectOnlyMessage(Window::Main, "设置失败", Icon::Error);
    EXPECT_EQ(port.text(IDC_PULSE_NOW), before);
}

TEST_F(PulseWidth, NoSelectionWritesNothing)
{
    Open(0);
    port.c(IDC_PULSE_COMBO).selection = -1;  // text typed into the combo
    EXPECT_EQ(SetPulseWidth(s), 0);
    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(PulseWidth, SetWhileUntickedSetsBit6WithoutTouchingBoxOrList)
{
    Open(0);
    ClickCheckBox(false);
    ASSERT_EQ(Register0() & 0x40, 0);
    port.SelectComboEntry(IDC_PULSE_COMBO, 2);
    Click(IDC_PULSE_SET);
    EXPECT_EQ(Register0(), 0x42);
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT));
    EXPECT_EQ(MemModes(), kByteOnly);
}

TEST_F(PulseWidth, UntickClearsBits6And7AndDropsDoubleWordTickRestores)
{
    Open(0);
    ASSERT_TRUE(port.IsChecked(IDC_MEM_32BIT));
    ASSERT_EQ(MemModes(), kBothModes);
    tzsim::SetIoWindowByte(0, TZ_REG_PULSE, 0xC5);

    ClickCheckBox(false);
    auto writes = CallsNamed("TZ810mWriteIoByte");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].args, (std::vector<std::uint32_t>{0, kIoBase0 + 0xFA, 0x05}));
    EXPECT_EQ(MemModes(), kByteOnly);

    tzsim::SetIoWindowByte(0, TZ_REG_PULSE, 0x85);
    ClickCheckBox(true);
    EXPECT_EQ(Register0(), 0xC5);  // only bit 6 is added
    EXPECT_EQ(MemModes(), kBothModes);
    EXPECT_TRUE(port.messages.empty());  // the switch reports nothing
}

TEST_F(PulseWidth, ReopenTicksBoxWithoutRestoringListEntry)
{
    Open(0);
    ClickCheckBox(false);
    Click(IDC_CLOSE);
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT));  // close leaves the tick alone
    Click(IDC_OPEN);
    ASSERT_TRUE(s.conn.open);
    EXPECT_TRUE(port.IsChecked(IDC_MEM_32BIT));
    EXPECT_EQ(MemModes(), kByteOnly);

    // The next untick has nothing to remove; the tick after it inserts again.
    ClickCheckBox(false);
    EXPECT_EQ(MemModes(), kByteOnly);
    EXPECT_EQ(Register0() & 0xC0, 0);
    ClickCheckBox(true);
    EXPECT_EQ(MemModes(), kBothModes);
    EXPECT_EQ(Register0() & 0x40, 0x40);
}

TEST_F(PulseWidth, CheckBoxIgnoredWithTz810OpenOrAfterClose)
{
    for (int index : {1, 0}) {  // a TZ810 open, then a TZ820 closed
        port = FakePort();
        Open(index);
        if (index == 0) {
            Click(IDC_CLOSE);
            tzsim::ClearCalls();
        }
        const UCHAR before = tzsim::IoWindowByte(index, TZ_REG_PULSE);
        ClickCheckBox(true);
        ClickCheckBox(false);
        EXPECT_TRUE(tzsim::Calls().empty()) << index;
        EXPECT_EQ(tzsim::IoWindowByte(index, TZ_REG_PULSE), before) << index;
        EXPECT_EQ(MemModes(), kBothModes) << index;
    }
}

TEST_F(PulseWidth, FailedRegisterReadSkipsWriteButListFollowsBox)
{
    // The first read of the register is the one made at open.
    Open(0, "fault TZ810mReadIoByte = from 2");
    const UCHAR before = Register0();
    ClickCheckBox(false);
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadIoByte"), 1u);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 0u);
    EXPECT_EQ(Register0(), before);
    EXPECT_EQ(MemModes(), kByteOnly);
    ClickCheckBox(true);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 0u);
    EXPECT_EQ(MemModes(), kBothModes);
    EXPECT_TRUE(port.messages.empty());
}

} // namespace
