// The device library as a 32-bit Windows process binds it at run time: TZ810DLL.DLL is found by its
// plain name beside the program and every function of the table is bound to the export of its
// undecorated name.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_library.h"
#include "driver.h"

TEST(DeviceLibrary, BindsBesideTheProgramByPlainNames)
{
    e2e::TzDebug scratch;  // for its folder
    ASSERT_TRUE(e2e::WriteWholeFile(scratch.Folder() + L"\\bench.cfg", "version = 0x2A7\n"));
    for (const std::wstring v : {L"CONFIG=\\bench.cfg", L"STATE=\\state.bin", L"TRACE=\\trace.txt"})
        _wputenv((L"TZSIM_" + std::wstring(v).insert(v.find(L'=') + 1, scratch.Folder())).c_str());
    DeviceLibrary lib;
    ASSERT_TRUE(LoadDeviceLibrary(lib));
    HMODULE module = GetModuleHandleW(L"TZ810DLL.DLL");
    wchar_t path[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring beside = self;
    beside = beside.substr(0, beside.find_last_of(L"\\/") + 1) + L"TZ810DLL.DLL";
    EXPECT_EQ(_wcsicmp(path, beside.c_str()), 0) << e2e::Narrow(path);
#define TZ_CHECK(name, ret, params)                                                                \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, #name)),                             \
              reinterpret_cast<void *>(lib.name))                                                  \
        << #name;
    TZ810DLL_FUNCTIONS(TZ_CHECK)
#undef TZ_CHECK
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x2A7u);
}
