#include "guards.h"

#include "format.h"

void ShowNotOpen(Session &s)
{
    s.port.ShowMessage(Window::Main, Format("设备%d没有打开", static_cast<int>(s.conn.index)),
                       Icon::None);
}

bool IoBaseKnown(Session &s)
{
    if (!s.conn.ioBaseRead)
        s.port.ShowMessage(Window::Main, kIoBaseFailed, Icon::Error);
    return s.conn.ioBaseRead;
}

bool MemBaseKnown(Session &s)
{
    if (!s.conn.memBaseRead)
        s.port.ShowMessage(Window::Main, kMemBaseFailed, Icon::Error);
    return s.conn.memBaseRead;
}
