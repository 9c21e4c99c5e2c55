// What a card command checks before it touches the card: an open card, and
// a base this open read. Each check says why it refuses.
#pragma once

#include "session.h"

inline const char kIoBaseFailed[] = "获得I/O基址失败!";
inline const char kMemBaseFailed[] = "获得MEM寄存器基址失败！";

// "设备%d没有打开" with the current device index, owned by the main dialog.
void ShowNotOpen(Session &s);

// True when this open read the I/O (MEM) base; otherwise says it could not,
// owned by the main dialog, and the caller must leave the card alone.
bool IoBaseKnown(Session &s);
bool MemBaseKnown(Session &s);
