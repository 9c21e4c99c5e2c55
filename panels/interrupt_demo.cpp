// Interrupt demonstration: the level and edge tests arm the chip's interrupt
// register and drive GP0, which the board's A15 jumper feeds back to INT#;
// the interrupt routine counts, answers the chip and posts the count message.
//
// The routine runs on whatever thread the library calls it from. It touches
// no control and shares only atomics with the dialog's thread: the mode and
// the counters in the session, and the registration below.
#include <atomic>

#include "messages.h"
#include "panels.h"

namespace {

constexpr UCHAR kArmLevel = 0xE2;  // level-triggered, active low
constexpr UCHAR kArmEdge = 0xEA;   // edge-triggered, rising edge
constexpr UCHAR kGp0High = 0x80;
constexpr UCHAR kInterruptActive = 0x04;

constexpr std::int32_t kModeLevel = 1;
constexpr std::int32_t kModeEdge = 2;

// The library routine takes no arguments, so what it reports to and which
// card it answers are set aside when it is registered at open.
std::atomic<Session *> g_session{nullptr};
std::atomic<ULONG> g_index{0};
std::atomic<ULONG> g_ioBase{0};

// Read, change one bit, write back; the results are not examined.
void ChangeRegisterBit(const DeviceLibrary &lib, ULONG index, ULONG address, UCHAR bit, bool set)
{
    UCHAR value = 0;
    lib.TZ810mReadIoByte(index, address, &value);
    value = static_cast<UCHAR>(set ? (value | bit) : (value & ~bit));
    lib.TZ810mWriteIoByte(index, address, value);
}

void SetGp0(Session &s, bool high)
{
    ChangeRegisterBit(s.lib, s.conn.index, s.conn.ioBase + TZ_REG_GP0, kGp0High, high);
}

void TZAPI InterruptRoutine(void)
{
    Session *s = g_session.load();
    if (!s)
        return;
    const ULONG index = g_index.load();
    const ULONG ioBase = g_ioBase.load();
    switch (s->irq.mode.load()) {
    case kModeLevel:
        ++s->irq.levelCount;
        // GP0 high takes INT# high again, which ends the level request.
        ChangeRegisterBit(s->lib, index, ioBase + TZ_REG_GP0, kGp0High, true);
        break;
    case kModeEdge:
        ++s->irq.edgeCount;
        ChangeRegisterBit(s->lib, index, ioBase + TZ_REG_STATUS, kInterruptActive, false);
        break;
    default:
        break;
    }
    // Posted in every mode; the dialog shows the count on its own thread.
    s->port.PostInterruptCount();
}

// Arms the chip for one kind and reports when that fails. The mode takes its
// new value first and keeps it either way.
bool Arm(Session &s, std::int32_t mode, UCHAR armValue, const char *failure)
{
    s.irq.mode = mode;
    if (!s.lib.TZ810mWriteIoByte(s.conn.index, s.conn.ioBase + TZ_REG_INTERRUPT, armValue)) {
        s.port.ShowMessage(Window::Main, failure, Icon::Error);
        return false;
    }
    return true;
}

} // namespace

void LevelTest(Session &s)
{
    // Without an open device there is no register to write and no mode to
    // change.
    if (!s.conn.open) {
        ShowNotOpen(s);
        return;
    }
    if (!IoBaseKnown(s))
        return;
    if (!Arm(s, kModeLevel, kArmLevel, "电平中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    SetGp0(s, true);
    // INT# follows GP0 low through the jumper: the card interrupts.
    SetGp0(s, false);
}

void EdgeTest(Session &s)
{
    if (!s.conn.open)
        return;
    if (!IoBaseKnown(s))
        return;
    if (!Arm(s, kModeEdge, kArmEdge, "边沿中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    SetGp0(s, true);
    SetGp0(s, false);
    // This rising edge raises the interrupt.
    SetGp0(s, true);
}

TZ_INT_ROUTINE InterruptRoutineFor(Session &s)
{
    g_index = s.conn.index;
    g_ioBase = s.conn.ioBase;
    g_session = &s;
    return InterruptRoutine;
}
