// Interrupt demonstration: the level and edge tests arm the chip's interrupt
// register and drive GP0, which the board's A15 jumper feeds back to INT#;
// the interrupt routine counts, answers the chip and posts the count message.
//
// The routine runs on whatever thread the library calls it from. It touches
// no control and shares only atomics with the dialog's thread: the mode and
// the counters in the session, and the registration below.
#include <atomic>

#include "board.h"
#include "guards.h"
#include "panels.h"

namespace {

constexpr std::int32_t kModeLevel = 1;
constexpr std::int32_t kModeEdge = 2;

// The library routine takes no arguments, so what it reports to and which
// card it answers are set aside when it is registered at open.
std::atomic<Session *> g_session{nullptr};
std::atomic<ULONG> g_index{0};
std::atomic<ULONG> g_ioBase{0};

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
        board::Acknowledge(s->lib, index, ioBase, board::Trigger::Level);
        break;
    case kModeEdge:
        ++s->irq.edgeCount;
        board::Acknowledge(s->lib, index, ioBase, board::Trigger::Edge);
        break;
    default:
        break;
    }
    // Posted in every mode; the dialog shows the count on its own thread.
    s->port.PostInterruptCount();
}

// Arms the chip for one kind and reports when that fails. The mode takes its
// new value first and keeps it either way.
bool Arm(Session &s, std::int32_t mode, board::Trigger trigger, const char *failure)
{
    s.irq.mode = mode;
    if (!board::Arm(s.lib, s.conn.index, s.conn.ioBase, trigger)) {
        s.port.ShowMessage(Window::Main, failure, Icon::Error);
        return false;
    }
    return true;
}

}  // namespace

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
    if (!Arm(s, kModeLevel, board::Trigger::Level, "电平中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    // INT# follows GP0 low through the jumper: the card interrupts.
    board::Fire(s.lib, s.conn.index, s.conn.ioBase, board::Trigger::Level);
}

void EdgeTest(Session &s)
{
    if (!s.conn.open)
        return;
    if (!IoBaseKnown(s))
        return;
    if (!Arm(s, kModeEdge, board::Trigger::Edge, "边沿中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    // The last rising edge raises the interrupt.
    board::Fire(s.lib, s.conn.index, s.conn.ioBase, board::Trigger::Edge);
}

TZ_INT_ROUTINE InterruptRoutineFor(Session &s)
{
    g_index = s.conn.index;
    g_ioBase = s.conn.ioBase;
    g_session = &s;
    return InterruptRoutine;
}
