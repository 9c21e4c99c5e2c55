#include "panels.h"

// Handlers arrive with the panel's own change.
void SetSpiMode(Session &) {}
void IdentifyFlash(Session &s)
{
    s.port.Enable(1064, true);
    s.port.Enable(1061, true);
    s.port.Enable(1062, true);
}
void FlashRead(Session &) {}
void FlashWrite(Session &) {}
void FlashErase(Session &) {}
