// The one table through which the program reaches the card. The Win32 build
// fills it from TZ810DLL.DLL at run time; host tests fill it from the
// simulator. Nothing else calls the library directly.
#pragma once

#include "tz810dll.h"

struct DeviceLibrary {
#define TZ_TABLE_ENTRY(name, ret, params) ret(TZAPI *name) params = nullptr;
    TZ810DLL_FUNCTIONS(TZ_TABLE_ENTRY)
#undef TZ_TABLE_ENTRY
};

// Looks one export up by its plain name; null when the library lacks it.
using ExportResolver = void *(*)(void *context, const char *name);

// Binds every function of the table through the resolver. A single missing
// export fails the whole binding and leaves the table empty, since a partly
// bound library would crash on first use of the missing call.
bool BindDeviceLibrary(DeviceLibrary &table, ExportResolver resolve, void *context);

#if defined(_WIN32)
// LoadLibrary("TZ810DLL.DLL") by its plain name, so the normal search order
// applies and a library beside the .exe wins, then binds the table. The
// library handle is kept for the life of the process.
bool LoadDeviceLibrary(DeviceLibrary &table);
#endif
