#include "hex_filter.h"

#include "hextext.h"

// The box's own procedure is kept in its user-data slot and fetched again
// for every message, so one filter serves any number of boxes. Only the W
// functions are used: going through the A ones would turn the box into an
// ANSI window and garble its Chinese text.
static LRESULT CALLBACK HexKeyFilterProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_USERDATA));
    if (message == WM_CHAR && !IsAcceptedHexKey(static_cast<unsigned>(wParam)))
        return 0;
    if (!previous)
        return DefWindowProcW(box, message, wParam, lParam);
    return CallWindowProcW(previous, box, message, wParam, lParam);
}

void InstallHexKeyFilter(HWND box)
{
    if (!box)
        return;
    LONG_PTR current = GetWindowLongPtrW(box, GWLP_WNDPROC);
    if (current == reinterpret_cast<LONG_PTR>(&HexKeyFilterProc))
        return;  // already filtered
    // Store the old procedure before switching, so the filter never runs
    // without it.
    SetWindowLongPtrW(box, GWLP_USERDATA, current);
    LONG_PTR previous =
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HexKeyFilterProc));
    if (previous != current)
        SetWindowLongPtrW(box, GWLP_USERDATA, previous);
}
