#include "guards.h"

#include "format.h"

void ShowNotOpen(Session &s)
{
    s.port.ShowMessage(Window::Main, Format("设备%d没有打开", static_cast<int>(s.conn.card.index)),
                       Icon::None);
}

bool IoBaseKnown(Session &s)
{
    if (!s.conn.card.ioBaseKnown)
        s.port.ShowMessage(Window::Main, kIoBaseFailed, Icon::Error);
    return s.conn.card.ioBaseKnown;
}

bool MemBaseKnown(Session &s)
{
    if (!s.conn.card.memBaseKnown)
        s.port.ShowMessage(Window::Main, kMemBaseFailed, Icon::Error);
    return s.conn.card.memBaseKnown;
}
