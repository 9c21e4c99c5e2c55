// Binding the program's function table to a library's exports.
#include <gtest/gtest.h>

#include <cstring>

#include "device_library.h"
#include "sim_control.h"

namespace {

bool AllBound(const DeviceLibrary &t)
{
    bool all = true;
#define TZ_CHECK_ENTRY(name, ret, params) all = all && t.name != nullptr;
    TZ810DLL_FUNCTIONS(TZ_CHECK_ENTRY)
#undef TZ_CHECK_ENTRY
    return all;
}

bool NoneBound(const DeviceLibrary &t)
{
    bool none = true;
#define TZ_CHECK_ENTRY(name, ret, params) none = none && t.name == nullptr;
    TZ810DLL_FUNCTIONS(TZ_CHECK_ENTRY)
#undef TZ_CHECK_ENTRY
    return none;
}

// The simulator's exports, less the one named by the context.
void *ResolveAllBut(void *context, const char *name)
{
    return std::strcmp(name, static_cast<const char *>(context)) == 0
               ? nullptr
               : tzsim::ResolveExport(nullptr, name);
}

TEST(Binding, SimulatorResolvesEveryFunctionAndNothingElse)
{
    DeviceLibrary table;
    ASSERT_TRUE(BindDeviceLibrary(table, &tzsim::ResolveExport, nullptr));
    EXPECT_TRUE(AllBound(table));
    EXPECT_EQ(tzsim::ResolveExport(nullptr, "TZ810mOpenDeviceEx"), nullptr);
    EXPECT_EQ(tzsim::ResolveExport(nullptr, "tz810mopendevice"), nullptr);
    EXPECT_EQ(tzsim::ResolveExport(nullptr, ""), nullptr);
    EXPECT_EQ(reinterpret_cast<void *>(table.TZ780mEarseFlash),
              tzsim::ResolveExport(nullptr, "TZ780mEarseFlash"));
    EXPECT_NE(reinterpret_cast<void *>(table.TZ780mReadFlash),
              reinterpret_cast<void *>(table.TZ780mWriteFlash));
}

TEST(Binding, OneMissingExportFailsAndLeavesTheTableEmpty)
{
    for (const char *missing : {"TZ810mOpenDevice", "TZ810mAccessBlock", "TZ780mEarseFlash"}) {
        DeviceLibrary table;
        tzsim::BindTable(table);  // a previously bound table is emptied too
        ASSERT_TRUE(AllBound(table));
        EXPECT_FALSE(BindDeviceLibrary(table, &ResolveAllBut, const_cast<char *>(missing))) << missing;
        EXPECT_TRUE(NoneBound(table)) << missing;
    }
}

}  // namespace
