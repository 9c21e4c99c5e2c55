// The device library as a 32-bit Windows process binds it at run time:
// TZ810DLL.DLL found by its plain name beside the program, every function
// bound by its undecorated name and __stdcall (the callee removes its
// arguments).
#include <windows.h>

#include <gtest/gtest.h>

#include <type_traits>

#include "device_library.h"
#include "driver.h"

extern "C" uint32_t StdcallProbe(const void *fn, const uint32_t *args, uint32_t count, int32_t *stackDelta);

namespace {

// What a caller-cleans function looks like to the probe.
extern "C" __attribute__((cdecl, noinline)) uint32_t CdeclSum(uint32_t a, uint32_t b) { return a + b; }

UCHAR g_scratch[256];

// How far the stack is off after calling fn as __stdcall. Index 7 names no
// card, so every call fails harmlessly; pointers point at scratch memory.
template <class R, class... A> int32_t StackDelta(R(TZAPI *fn)(A...))
{
    const uint32_t args[] = {(std::is_pointer_v<A> ? uint32_t(reinterpret_cast<uintptr_t>(g_scratch)) : 7u)..., 0};
    int32_t delta = 12345;
    StdcallProbe(reinterpret_cast<const void *>(fn), args, sizeof...(A), &delta);
    return delta;
}

TEST(DeviceLibraryAbi, BindsBesideTheProgramByPlainNamesAsStdcall)
{
    e2e::TzDebug scratch;  // for its folder
    ASSERT_TRUE(e2e::WriteWholeFile(scratch.Folder() + L"\\bench.cfg", ""));
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

    const uint32_t two[] = {40, 2};
    int32_t cdeclDelta = 0;
    ASSERT_EQ(StdcallProbe(reinterpret_cast<const void *>(&CdeclSum), two, 2, &cdeclDelta), 42u);
    ASSERT_EQ(cdeclDelta, -8) << "the probe cannot tell a caller-cleans function";
#define TZ_CHECK(name, ret, params)                                                                           \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, #name)), reinterpret_cast<void *>(lib.name)) \
        << #name;                                                                                             \
    EXPECT_EQ(StackDelta(lib.name), 0) << #name " leaves arguments on the stack";
    TZ810DLL_FUNCTIONS(TZ_CHECK)
#undef TZ_CHECK
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x103u);
}

} // namespace
