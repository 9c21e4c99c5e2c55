// Pulse-width panel: the set button and the "32位支持" check box. Both work
// on the chip's pulse-width register at I/O base + 0xFA: bits 0-3 hold the
// pulse code n (width (n + 1) x 30 ns), bit 6 switches 32-bit I/O access.
#include "board.h"
#include "format.h"
#include "guards.h"
#include "panels.h"
#include "resource.h"

namespace {

const char kDoubleWordEntry[] = "双字";
constexpr int kDoubleWordPosition = 1;

}  // namespace

int SetPulseWidth(Session &s)
{
    DialogPort &port = s.port;
    const int i = port.ComboSelection(IDC_PULSE_COMBO);
    // Text typed into the combo's edit field leaves it without a selection;
    // there is no width to set then, and the register is left alone.
    if (i < 0)
        return 0;
    const auto code = board::PulseCodeFromNs(static_cast<unsigned>(i + 1) * board::kPulseStepNs);
    if (!code)
        return 0;
    if (!IoBaseKnown(s))
        return 0;

    // Written blind: whatever bits 4, 5 and 7 held, they become 0, and bit 6
    // becomes 1 without ticking the check box.
    const UCHAR value = board::PulseRegisterValue(*code);
    if (!board::WritePulseRegister(s.conn.card, value)) {
        port.ShowMessage(Window::Main, "设置失败", Icon::Error);
        return 0;
    }
    port.ShowMessage(Window::Main, "设置成功", Icon::None);
    port.SetText(IDC_PULSE_NOW, Format("%u", board::PulseNsFromRegister(value)));
    return 1;
}

void Toggle32BitAccess(Session &s)
{
    // Not a TZ820, or no register to reach: the switch stays silent.
    if (s.conn.card.chip != board::Chip::TZ820 || !s.conn.card.ioBaseKnown)
        return;

    DialogPort &port = s.port;
    const bool on = port.IsChecked(IDC_MEM_32BIT);

    // Without a register value there is nothing safe to write back, so a
    // failed read skips the write; the mode list still follows the box, so
    // that box and list stay paired for the next click.
    UCHAR value = 0;
    const bool haveValue = board::ReadPulseRegister(s.conn.card, value);

    if (on) {
        if (haveValue)
            board::WritePulseRegister(s.conn.card, static_cast<UCHAR>(value | board::k32BitIo));
        port.InsertComboEntry(IDC_MEM_WIDTH, kDoubleWordPosition, kDoubleWordEntry);
    } else {
        if (haveValue)
            board::WritePulseRegister(s.conn.card,
                                      static_cast<UCHAR>(value & board::k32BitOffMask));
        port.DeleteComboEntry(IDC_MEM_WIDTH, kDoubleWordPosition);
    }
}
