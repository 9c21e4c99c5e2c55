#include "device_library.h"

#include <windows.h>

static void *ResolveExport(void *module, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool LoadDeviceLibrary(DeviceLibrary &table)
{
    HMODULE module = LoadLibraryW(L"TZ810DLL.DLL");
    if (!module)
        return false;
    // Never freed: the interrupt thread of the library may outlive any scope.
    return BindDeviceLibrary(table, ResolveExport, module);
}
