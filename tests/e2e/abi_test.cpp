// The device library as a 32-bit Windows process binds it at run time:
// TZ810DLL.DLL found by its plain name beside the program, every function
// bound by its undecorated name, each one __stdcall (the callee removes its
// arguments), the arguments arriving in the order passed.
#include <windows.h>

#include <gtest/gtest.h>

#include <type_traits>

#include "device_library.h"
#include "driver.h"

extern "C" uint32_t StdcallProbe(const void *fn, const uint32_t *args, uint32_t count,
                                 int32_t *stackDelta);

namespace {

// What a caller-cleans function looks like to the probe.
extern "C" __attribute__((cdecl, noinline)) uint32_t CdeclSum(uint32_t a, uint32_t b) { return a + b; }

UCHAR g_scratch[256];

// Index 7 names no card, so every call fails harmlessly; pointers point at
// scratch memory.
template <class A> uint32_t ProbeArgument()
{
    if constexpr (std::is_pointer_v<A>)
        return uint32_t(reinterpret_cast<uintptr_t>(g_scratch));
    else
        return 7;
}

// How far the stack is off after calling fn as __stdcall with its arguments.
template <class R, class... A> int32_t StackDelta(R(TZAPI *fn)(A...))
{
    const uint32_t args[] = {ProbeArgument<A>()..., 0};
    int32_t delta = 12345;
    StdcallProbe(reinterpret_cast<const void *>(fn), args, sizeof...(A), &delta);
    return delta;
}

TEST(DeviceLibraryAbi, BindsBesideTheProgramAsStdcallWithArgumentsInOrder)
{
    e2e::TzDebug scratch;  // for its folder
    const std::wstring folder = scratch.Folder(), trace = folder + L"\\trace.txt";
    ASSERT_TRUE(e2e::WriteWholeFile(folder + L"\\bench.cfg", ""));
    // The library reads these when it loads.
    _wputenv((L"TZSIM_CONFIG=" + folder + L"\\bench.cfg").c_str());
    _wputenv((L"TZSIM_STATE=" + folder + L"\\state.bin").c_str());
    _wputenv((L"TZSIM_TRACE=" + trace).c_str());
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
#define TZ_CHECK(name, ret, params)                                                              \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, #name)),                          \
              reinterpret_cast<void *>(lib.name)) << #name;                                     \
    EXPECT_EQ(StackDelta(lib.name), 0) << #name " leaves arguments on the stack";
    TZ810DLL_FUNCTIONS(TZ_CHECK)
#undef TZ_CHECK

    ASSERT_NE(lib.TZ810mOpenDevice(0, 1, 1, 0), TZ_INVALID_HANDLE);
    UCHAR block[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_TRUE(lib.TZ810mWriteI2C(0, 0x50, 0x9C, 0xA5));
    ASSERT_TRUE(lib.TZ810mAccessBlock(0, TZ_ACCESS_IO_WRITE, 0xD010, block, 4));
    lib.TZ810mCloseDevice(0);
    const auto calls = e2e::ParseTrace(e2e::ReadWholeFile(trace));
    const auto i2c = e2e::CallsNamed(calls, "TZ810mWriteI2C");
    const auto access = e2e::CallsNamed(calls, "TZ810mAccessBlock");
    ASSERT_FALSE(i2c.empty() || access.empty()) << calls.size() << " calls traced";
    EXPECT_EQ(i2c.back().args, (std::vector<uint32_t>{0, 0x50, 0x9C, 0xA5}));
    EXPECT_EQ(access.back().args, (std::vector<uint32_t>{0, 0x14, 0xD010, 4}));
    EXPECT_EQ(access.back().data, "11223344");
}

} // namespace
