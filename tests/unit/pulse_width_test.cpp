// Pulse-width panel: the set button and the 32-bit check box.
#include "card_session.h"
#include "panels.h"

namespace {
using cardtest::Strings;

class PulseWidth : public cardtest::CardSession {
  protected:
    Strings MemModes()
    {
        return port.controls[IDC_MEM_WIDTH].entries;
    }

    void ClickCheckBox(bool ticked)
    {
        port.SetChecked(IDC_MEM_32BIT, ticked);
        Click(IDC_MEM_32BIT);
    }
};

const Strings kBothModes{"字节", "双字"};
const Strings kByteOnly{"字节"};

TEST_F(PulseWidth, EveryEntryWritesItsCodeBlindAndShowsItsWidth)
{
    // A TZ810, so the base used is visibly that card's own.
    Open(1);
    ASSERT_EQ(port.controls[IDC_PULSE_COMBO].entries.size(), 15u);
    EXPECT_EQ(port.controls[IDC_PULSE_COMBO].entries.back(), "450 ns");
    for (int entry = 0; entry < 15; ++entry) {
        SCOPED_TRACE(entry);
        tzsim::SetIoWindowByte(1, board::kRegPulse, 0xB7);  // bits 4, 5 and 7 set, bit 6 clear
        Reset();
        port.SelectComboEntry(IDC_PULSE_COMBO, entry);
        EXPECT_EQ(SetPulseWidth(s), 1);
        // Written blind, not read first: the entry's code with bit 6 set; 30 ns a step.
        const std::string code(1, "0123456789abcdef"[entry]);
        EXPECT_EQ(cardtest::Trace(), "TZ810mWriteIoByte(1,d1fa,4" + code + ")");
        ExpectOnlyMessage("设置成功", Icon::None);
        EXPECT_EQ(port.Text(IDC_PULSE_NOW), std::to_string(30 * (entry + 1)));
    }
    EXPECT_FALSE(port.IsChecked(IDC_MEM_32BIT));
}

TEST_F(PulseWidth, FailedWriteOrNoSelectionKeepsTheShownWidth)
{
    Open(1, "fault TZ810mWriteIoByte = always");
    port.SelectComboEntry(IDC_PULSE_COMBO, 9);
    EXPECT_EQ(SetPulseWidth(s), 0);
    ExpectOnlyMessage("设置失败", Icon::Error);
    for (int selection : {-1, 15}) {  // text typed into the combo: no selection
        Reset();
        port.controls[IDC_PULSE_COMBO].selection = selection;
        EXPECT_EQ(SetPulseWidth(s), 0);
        EXPECT_EQ(cardtest::Trace(), "") << selection;
        EXPECT_EQ(port.messages.size(), 0u) << selection;
    }
    EXPECT_EQ(port.Text(IDC_PULSE_NOW), "150");
}

TEST_F(PulseWidth, CheckBoxSwitchesBit6AndTheDoubleWordMode)
{
    Open(0);
    ASSERT_EQ(MemModes(), kBothModes);
    tzsim::SetIoWindowByte(0, board::kRegPulse, 0xC5);
    ClickCheckBox(false);  // bits 6 and 7 cleared together
    EXPECT_EQ(cardtest::Trace(), "TZ810mReadIoByte(0,d0fa) TZ810mWriteIoByte(0,d0fa,5)");
    EXPECT_EQ(MemModes(), kByteOnly);
    tzsim::SetIoWindowByte(0, board::kRegPulse, 0x85);
    ClickCheckBox(true);  // only bit 6 added
    EXPECT_EQ(tzsim::IoWindowByte(0, board::kRegPulse), 0xC5);
    EXPECT_EQ(MemModes(), kBothModes);
    EXPECT_EQ(port.messages.size(), 0u);
    // A reopen ticks the box without putting the entry back.
    ClickCheckBox(false);
    Click(IDC_CLOSE);
    Click(IDC_OPEN);
    EXPECT_TRUE(port.IsChecked(IDC_MEM_32BIT));
    EXPECT_EQ(MemModes(), kByteOnly);
}

TEST_F(PulseWidth, CheckBoxIgnoredWithATz810OpenOrAfterCloseAndWithoutARegisterValue)
{
    for (int index : {1, 0}) {
        Open(index);
        if (index == 0)
            Click(IDC_CLOSE);
        Reset();
        ClickCheckBox(true);
        ClickCheckBox(false);
        EXPECT_EQ(cardtest::Trace(), "") << index;
        EXPECT_EQ(MemModes(), kBothModes) << index;
    }
    // Without a register value from the open nothing is written, but the list follows the box.
    Open(0, "fault TZ810mReadIoByte = from 2");
    ClickCheckBox(false);
    EXPECT_EQ(cardtest::Trace(), "TZ810mReadIoByte(0,d0fa)");
    EXPECT_EQ(MemModes(), kByteOnly);
    ClickCheckBox(true);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 0u);
    EXPECT_EQ(MemModes(), kBothModes);
    EXPECT_EQ(port.messages.size(), 0u);
}
}  // namespace
