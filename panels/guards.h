// Texts shared by several panels.
#pragma once

#include <string>

#include "session.h"

// Shown by every panel whose non-empty box holds a non-hexadecimal character.
inline const char kBadCharacterMessage[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

inline const char kIoBaseFailed[] = "获得I/O基址失败!";
inline const char kMemBaseFailed[] = "获得MEM寄存器基址失败！";

// printf-style formatting into a std::string.
std::string Format(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// "设备%d没有打开" with the current device index, owned by the main dialog.
void ShowNotOpen(Session &s);

// True when this open read the I/O (MEM) base; otherwise says it could not,
// owned by the main dialog, and the caller must leave the card alone.
bool IoBaseKnown(Session &s);
bool MemBaseKnown(Session &s);
