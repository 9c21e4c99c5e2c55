// The device library as a 32-bit Windows process binds it at run time: TZ810DLL.DLL is found by its
// plain name beside the program and every function of the table is bound to the export of its
// undecorated name; which file it was, and a version block read in the translation it lists.
#include <windows.h>
#include <gtest/gtest.h>
#include "device_library.h"
#include "checks.h"
#include "module_info.h"

TEST(DeviceLibrary, BindsBesideTheProgramByPlainNames)
{
    e2e::TzDebug scratch;  // for its folder
    ASSERT_TRUE(e2e::WriteWholeFile(scratch.Folder() + L"\\bench.cfg", "version = 0x2A7\n"));
    for (const std::wstring v : {L"CONFIG=\\bench.cfg", L"STATE=\\state.bin", L"TRACE=\\trace.txt"})
        _wputenv((L"TZSIM_" + std::wstring(v).insert(v.find(L'=') + 1, scratch.Folder())).c_str());
    DeviceLibrary lib;
    ASSERT_TRUE(LoadDeviceLibrary(lib));
    HMODULE module = GetModuleHandleW(L"TZ810DLL.DLL");
    const std::string path = LoadedModulePath(L"TZ810DLL.DLL"), self = LoadedModulePath(nullptr);
    const std::string folder = self.substr(0, self.find_last_of("\\/") + 1);
    EXPECT_EQ(_stricmp(path.c_str(), (folder + "TZ810DLL.DLL").c_str()), 0) << path;
    // tzdebug.exe's block is in 0804, Unicode, alone.
    const VersionBlock program = ReadVersionBlock(folder + "tzdebug.exe");
    EXPECT_EQ(program.fileVersion, TZCTL_VERSION ".0");
    EXPECT_EQ(program.productName, "tzdebug");
#define TZ_CHECK(name, ret, params)                                                                \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, #name)),                             \
              reinterpret_cast<void *>(lib.name))                                                  \
        << #name;
    TZ810DLL_FUNCTIONS(TZ_CHECK)
#undef TZ_CHECK
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x2A7u);
}
