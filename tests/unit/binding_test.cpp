// Binding the program's function table to a library's exports: all or none.
#include <gtest/gtest.h>

#include <cstring>

#include "device_library.h"
#include "sim_control.h"

namespace {

// The simulator's exports, less the one named by the context.
void *ResolveAllBut(void *context, const char *name)
{
    return std::strcmp(name, static_cast<const char *>(context))
               ? tzsim::ResolveExport(nullptr, name)
               : nullptr;
}

TEST(Binding, EveryExportByItsNameOrNoneAtAll)
{
    for (const char *missing : {"", "TZ810mOpenDevice", "TZ810mAccessBlock", "TZ780mEarseFlash"}) {
        DeviceLibrary table;
        tzsim::BindTable(table);  // a bound table is emptied too
        EXPECT_EQ(BindDeviceLibrary(table, &ResolveAllBut, const_cast<char *>(missing)), !*missing)
            << missing;
        int bound = 0;
#define TZ_COUNT_ENTRY(name, ret, params)                                                          \
    bound += reinterpret_cast<void *>(table.name) == tzsim::ResolveExport(nullptr, #name) &&       \
             table.name;
        TZ810DLL_FUNCTIONS(TZ_COUNT_ENTRY)
#undef TZ_COUNT_ENTRY
        EXPECT_EQ(bound, *missing ? 0 : 20) << missing;
    }
}

}  // namespace
