// Interrupt demonstration: the level and edge tests arm the chip's interrupt
// register and drive GP0, which the board's A15 jumper feeds back to INT#;
// the session's watcher answers, counts and has the count message posted.
//
// The message is posted from the library's thread: the routine touches no
// control, and the dialog shows the count on its own thread.
#include "board.h"
#include "guards.h"
#include "panels.h"

namespace {

using board::InterruptMode;

void PostCount(void *session)
{
    static_cast<Session *>(session)->port.PostInterruptCount();
}

// Arms the chip for one kind and reports when that fails. The mode takes its
// new value first and keeps it either way.
bool Arm(Session &s, InterruptMode mode, const char *failure)
{
    if (!s.irq.Arm(mode)) {
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
    if (!Arm(s, InterruptMode::Level, "电平中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    // INT# follows GP0 low through the jumper: the card interrupts.
    s.irq.Fire();
}

void EdgeTest(Session &s)
{
    if (!s.conn.open)
        return;
    if (!IoBaseKnown(s))
        return;
    if (!Arm(s, InterruptMode::Edge, "边沿中断设置失败！"))
        return;
    s.port.ShowMessage(Window::Main, "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断",
                       Icon::None);
    // The last rising edge raises the interrupt.
    s.irq.Fire();
}

void WatchInterrupts(Session &s)
{
    s.irq.SetNotify(PostCount, &s);
    s.irq.Watch(s.conn.card);
}
