#include "messages.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char *format, ...)
{
    char small[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(&out[0], out.size(), format, args);
    va_end(args);
    out.resize(static_cast<size_t>(n));
    return out;
}

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
