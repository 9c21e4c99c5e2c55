// The floor for tzdebug's start-up (startup_bench): the same main dialog
// from the same template and resources, with none of the program's logic.
// It shows at once the status text tzdebug shows on the default bench once
// it has loaded the library and probed the cards.
#include <windows.h>

#include "resource.h"

namespace {

INT_PTR CALLBACK FloorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        // 已检测到2台设备. 设备0为TZ820设备. 设备1为TZ810设备.
        SetDlgItemTextW(hwnd, IDC_STATUS,
                        L"\u5df2\u68c0\u6d4b\u52302\u53f0\u8bbe\u5907. "
                        L"\u8bbe\u59070\u4e3aTZ820\u8bbe\u5907. "
                        L"\u8bbe\u59071\u4e3aTZ810\u8bbe\u5907. ");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_EXIT || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, FloorProc, 0));
}
