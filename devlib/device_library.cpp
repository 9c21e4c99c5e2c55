#include "device_library.h"

bool BindDeviceLibrary(DeviceLibrary &table, ExportResolver resolve, void *context)
{
    DeviceLibrary bound;
#define TZ_BIND_ENTRY(name, ret, params)                                                           \
    bound.name = reinterpret_cast<ret(TZAPI *) params>(resolve(context, #name));                   \
    if (!bound.name) {                                                                             \
        table = DeviceLibrary();                                                                   \
        return false;                                                                              \
    }
    TZ810DLL_FUNCTIONS(TZ_BIND_ENTRY)
#undef TZ_BIND_ENTRY
    table = bound;
    return true;
}
