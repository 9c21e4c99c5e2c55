// What the benchmarks ask of the program beyond what the end-to-end driver
// offers: kept here, so the driver carries only what its tests use.
#pragma once

#include <windows.h>

#include "driver.h"

namespace bench {

inline DWORD ProcessId(const e2e::TzDebug &app)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(app.Main(), &pid);
    return pid;
}

// As the program itself would: the selection changes without a notification.
inline void Select(const e2e::TzDebug &app, int id, int index)
{
    DWORD_PTR unused = 0;
    SendMessageTimeoutW(app.Item(id), CB_SETCURSEL, index, 0, SMTO_NORMAL, 5000, &unused);
}

inline bool Enabled(const e2e::TzDebug &app, int id)
{
    return IsWindowEnabled(app.Item(id)) != FALSE;
}

// Posted, so a box the command opens does not block.
inline void Command(const e2e::TzDebug &app, int id)
{
    PostMessageW(app.Main(), WM_COMMAND, id, 0);
}

}  // namespace bench
