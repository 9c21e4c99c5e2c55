// tzdebug: bench tool for TZ810 / TZ820 boards. The whole program is the
// main dialog; its end code is the exit code.
#include <windows.h>

#include "dialogs.h"
#include "resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Never freed: the device library's interrupt thread may still report
    // to the session while the process is ending.
    auto *port = new Win32DialogPort(instance, {IDD_IDENTITY, IdentityDialogProc},
                                     {IDD_HELP, HelpDialogProc});
    auto *files = new Win32FilePort;
    auto *session = new Session(*port, *files);
    AttachSession(*port, *session);

    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    return static_cast<int>(result);
}
