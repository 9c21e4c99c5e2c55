// Binding the program's function table to a library's exports: all or none.
#include <gtest/gtest.h>

#include <cstring>

#include "device_library.h"
#include "sim_control.h"

namespace {

int Bound(const DeviceLibrary &t)
{
    int n = 0;
#define TZ_COUNT_ENTRY(name, ret, params) n += t.name != nullptr;
    TZ810DLL_FUNCTIONS(TZ_COUNT_ENTRY)
#undef TZ_COUNT_ENTRY
    return n;
}

// The simulator's exports, less the one named by the context.
void *ResolveAllBut(void *context, const char *name)
{
    return std::strcmp(name, static_cast<const char *>(context)) ? tzsim::ResolveExport(nullptr, name)
                                                                 : nullptr;
}

TEST(Binding, EveryExportByItsNameOrNoneAtAll)
{
    DeviceLibrary table;
    ASSERT_TRUE(BindDeviceLibrary(table, &tzsim::ResolveExport, nullptr));
    EXPECT_EQ(Bound(table), 20);
    EXPECT_EQ(reinterpret_cast<void *>(table.TZ780mEarseFlash),
              tzsim::ResolveExport(nullptr, "TZ780mEarseFlash"));
    for (const char *missing : {"TZ810mOpenDevice", "TZ810mAccessBlock", "TZ780mEarseFlash"}) {
        tzsim::BindTable(table);  // a bound table is emptied too
        EXPECT_FALSE(BindDeviceLibrary(table, &ResolveAllBut, const_cast<char *>(missing))) << missing;
        EXPECT_EQ(Bound(table), 0) << missing;
    }
}

} // namespace
