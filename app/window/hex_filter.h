// Keeps everything but hexadecimal digits and Backspace out of an edit box.
#pragma once

#include <windows.h>

// Subclasses the box once; typed characters other than 0-9, A-F, a-f and
// Backspace are swallowed, everything else reaches the box unchanged.
void InstallHexKeyFilter(HWND box);
