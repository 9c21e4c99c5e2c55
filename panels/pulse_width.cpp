// Pulse-width panel: the set button and the "32位支持" check box. Both work
// on the chip's pulse-width register at I/O base + 0xFA: bits 0-3 hold the
// pulse code n (width (n + 1) x 30 ns), bit 6 switches 32-bit I/O access.
#include <cstddef>

#include "messages.h"
#include "panels.h"
#include "resource.h"

namespace {

// Register value per entry of the width combo: code i with bit 6 set and
// bits 4, 5 and 7 clear, for (i + 1) x 30 ns.
const UCHAR kWidthTable[] = {0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,
                             0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E};
constexpr int kWidthEntries = static_cast<int>(sizeof kWidthTable / sizeof kWidthTable[0]);

constexpr UCHAR k32BitOn = 0x40;
// Unticking clears bit 7 together with bit 6.
constexpr UCHAR kUntickMask = 0x3F;

const char kDoubleWordEntry[] = "双字";
constexpr int kDoubleWordPosition = 1;

} // namespace

int SetPulseWidth(Session &s)
{
    DialogPort &port = s.port;
    const int i = port.ComboSelection(IDC_PULSE_COMBO);
    // Text typed into the combo's edit field leaves it without a selection;
    // there is no width to set then, and the register is left alone.
    if (i < 0 || i >= kWidthEntries)
        return 0;
    if (!IoBaseKnown(s))
        return 0;

    // Written blind: whatever bits 4, 5 and 7 held, they become 0, and bit 6
    // becomes 1 without ticking the check box.
    const UCHAR value = kWidthTable[i];
    if (!s.lib.TZ810mWriteIoByte(s.conn.index, s.conn.ioBase + TZ_REG_PULSE, value)) {
        port.ShowMessage(Window::Main, "设置失败", Icon::Error);
        return 0;
    }
    port.ShowMessage(Window::Main, "设置成功", Icon::None);
    port.SetText(IDC_PULSE_NOW, Format("%d", ((value & 0x0F) + 1) * 30));
    return 1;
}

void Toggle32BitAccess(Session &s)
{
    // Not a TZ820, or no register to reach: the switch stays silent.
    if (s.conn.chip != ChipType::TZ820 || !s.conn.ioBaseRead)
        return;

    DialogPort &port = s.port;
    const bool on = port.IsChecked(IDC_MEM_32BIT);

    // Without a register value there is nothing safe to write back, so a
    // failed read skips the write; the mode list still follows the box, so
    // that box and list stay paired for the next click.
    UCHAR value = 0;
    const bool haveValue =
        s.lib.TZ810mReadIoByte(s.conn.index, s.conn.ioBase + TZ_REG_PULSE, &value) != 0;

    if (on) {
        if (haveValue)
            s.lib.TZ810mWriteIoByte(s.conn.index, s.conn.ioBase + TZ_REG_PULSE,
                                    static_cast<UCHAR>(value | k32BitOn));
        port.InsertComboEntry(IDC_MEM_WIDTH, kDoubleWordPosition, kDoubleWordEntry);
    } else {
        if (haveValue)
            s.lib.TZ810mWriteIoByte(s.conn.index, s.conn.ioBase + TZ_REG_PULSE,
                                    static_cast<UCHAR>(value & kUntickMask));
        port.DeleteComboEntry(IDC_MEM_WIDTH, kDoubleWordPosition);
    }
}
