// The device library as a 32-bit Windows process sees it: TZ810DLL.DLL is
// found by its plain name, every function binds by its undecorated export
// name, and each call is __stdcall (the callee removes its arguments) with
// the arguments arriving in the order the program passes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "device_library.h"
#include "driver.h"

#if defined(__i386__)
extern "C" uint32_t StdcallProbe(const void *fn, const uint32_t *args, uint32_t count,
                                 int32_t *stackDelta);
#endif

namespace {

using e2e::TraceCall;

#if defined(__i386__)
// What a __cdecl function looks like to the probe.
extern "C" __attribute__((cdecl, noinline)) uint32_t CdeclSum(uint32_t a, uint32_t b)
{
    return a + b;
}
#endif

const char kBench[] =
    "# TZ820 at 0 and TZ810 at 1 (the default bench), with values of our own\n"
    "version = 0x2A7\n"
    "io_base 0 = 0xC800\n"
    "int_line 0 = 0x0B\n"
    "mem_base 0 = 0xFE7F0000\n";

class DeviceLibraryAbi : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"tzdebug-e2e-abi-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        std::wstring config = folder_ + L"\\bench.cfg";
        HANDLE file = CreateFileW(config.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, kBench, DWORD(std::strlen(kBench)), &written, nullptr);
        CloseHandle(file);
        tracePath_ = folder_ + L"\\trace.txt";
        // _wputenv updates the C runtime's copy too, which is where the
        // library looks when it loads.
        _wputenv((L"TZSIM_CONFIG=" + config).c_str());
        _wputenv((L"TZSIM_STATE=" + folder_ + L"\\state.bin").c_str());
        _wputenv((L"TZSIM_TRACE=" + tracePath_).c_str());
        loaded_ = LoadDeviceLibrary(lib_);
    }

    static void TearDownTestSuite()
    {
        // The library keeps its trace open for the life of the process, so
        // that file and the folder may stay behind.
        for (const wchar_t *name : {L"\\bench.cfg", L"\\state.bin", L"\\state.bin.tmp", L"\\trace.txt"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void SetUp() override { ASSERT_TRUE(loaded_) << "TZ810DLL.DLL did not load and bind"; }

    // Trace lines written since the last call of this function.
    static std::vector<TraceCall> NewCalls()
    {
        HANDLE file = CreateFileW(tracePath_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        std::string text;
        if (file != INVALID_HANDLE_VALUE) {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
                text.append(buffer, got);
            CloseHandle(file);
        }
        std::vector<TraceCall> all = e2e::ParseTrace(text);
        std::vector<TraceCall> fresh(all.begin() + std::min(seen_, all.size()), all.end());
        seen_ = all.size();
        return fresh;
    }

    static DeviceLibrary lib_;
    static bool loaded_;
    static std::wstring folder_;
    static std::wstring tracePath_;
    static size_t seen_;
};

DeviceLibrary DeviceLibraryAbi::lib_;
bool DeviceLibraryAbi::loaded_ = false;
std::wstring DeviceLibraryAbi::folder_;
std::wstring DeviceLibraryAbi::tracePath_;
size_t DeviceLibraryAbi::seen_ = 0;

TEST_F(DeviceLibraryAbi, LoadsBesideTheProgramAndBindsEveryPlainExportName)
{
    HMODULE module = GetModuleHandleW(L"TZ810DLL.DLL");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    dir.resize(dir.find_last_of(L"\\/") + 1);
    EXPECT_EQ(_wcsicmp(path, (dir + L"TZ810DLL.DLL").c_str()), 0) << e2e::Narrow(path);

#define TZ_CHECK_BOUND(name, ret, params)                                              \
    EXPECT_NE(reinterpret_cast<void *>(lib_.name), nullptr) << #name;                  \
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(module, #name)),                 \
              reinterpret_cast<void *>(lib_.name))                                     \
        << #name;
    TZ810DLL_FUNCTIONS(TZ_CHECK_BOUND)
#undef TZ_CHECK_BOUND
}

TEST_F(DeviceLibraryAbi, AnswersWithTheBenchValues)
{
    EXPECT_EQ(lib_.TZ810GetDrvVersion(), 0x2A7u);

    ASSERT_NE(lib_.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    UCHAR id = 0;
    EXPECT_NE(lib_.TZ810mReadConfig(0, 0x02, &id), 0);
    EXPECT_EQ(id, 0x34) << "card 0 of the default bench is a TZ820";
    ULONG io = 0, line = 0, mem = 0;
    EXPECT_NE(lib_.TZ810mGetIoBaseAddr(0, &io), 0);
    EXPECT_EQ(io, 0xC800u);
    EXPECT_NE(lib_.TZ810mGetIntLine(0, &line), 0);
    EXPECT_EQ(line, 0x0Bu);
    EXPECT_NE(lib_.TZ820mGetMemBaseAddr(0, &mem), 0);
    EXPECT_EQ(mem, 0xFE7F0000u);

    ASSERT_NE(lib_.TZ810mOpenDevice(1, 0, 1, 0), TZ_INVALID_HANDLE);
    EXPECT_NE(lib_.TZ810mReadConfig(1, 0x02, &id), 0);
    EXPECT_EQ(id, 0x30) << "card 1 of the default bench is a TZ810";
    EXPECT_EQ(lib_.TZ820mGetMemBaseAddr(1, &mem), 0) << "a TZ810 has no MEM window";

    EXPECT_EQ(lib_.TZ810mOpenDevice(2, 0, 1, 0), TZ_INVALID_HANDLE) << "no card at index 2";
    lib_.TZ810mCloseDevice(2);
    lib_.TZ810mCloseDevice(1);
    lib_.TZ810mCloseDevice(0);
}

TEST_F(DeviceLibraryAbi, ArgumentsArriveInOrderAndUnchanged)
{
    ASSERT_NE(lib_.TZ810mOpenDevice(0, 1, 1, 0), TZ_INVALID_HANDLE);
    NewCalls();

    // Byte arguments among 32-bit ones.
    ASSERT_NE(lib_.TZ810mWriteI2C(0, 0x50, 0x9C, 0xA5), 0);
    UCHAR back = 0;
    ASSERT_NE(lib_.TZ810mReadI2C(0, 0x50, 0x9C, &back), 0);
    EXPECT_EQ(back, 0xA5);

    // Five arguments, a buffer among them.
    UCHAR out[4] = {0x11, 0x22, 0x33, 0x44}, in[4] = {};
    ASSERT_NE(lib_.TZ810mAccessBlock(0, TZ_ACCESS_IO_WRITE, 0xC810, out, 4), 0);
    ASSERT_NE(lib_.TZ810mAccessBlock(0, TZ_ACCESS_IO_READ, 0xC810, in, 4), 0);
    EXPECT_EQ(std::memcmp(in, out, 4), 0);

    std::vector<TraceCall> calls = NewCalls();
    ASSERT_EQ(calls.size(), 4u) << e2e::DescribeTrace(calls);
    EXPECT_EQ(calls[0].name, "TZ810mWriteI2C");
    EXPECT_EQ(calls[0].args, (std::vector<uint32_t>{0, 0x50, 0x9C, 0xA5}));
    EXPECT_EQ(calls[1].name, "TZ810mReadI2C");
    EXPECT_EQ(calls[1].args, (std::vector<uint32_t>{0, 0x50, 0x9C}));
    EXPECT_EQ(calls[2].name, "TZ810mAccessBlock");
    EXPECT_EQ(calls[2].args, (std::vector<uint32_t>{0, 0x14, 0xC810, 4}));
    EXPECT_EQ(calls[2].data, "11223344");
    EXPECT_EQ(calls[3].args, (std::vector<uint32_t>{0, 0x10, 0xC810, 4}));
    EXPECT_EQ(calls[3].out, "11223344");
    lib_.TZ810mCloseDevice(0);
}

TEST_F(DeviceLibraryAbi, EveryFunctionRemovesItsOwnArguments)
{
#if !defined(__i386__)
    GTEST_SKIP() << "64-bit Windows has one calling convention; the check is for the 32-bit build";
#else
    ASSERT_NE(lib_.TZ810mOpenDevice(0, 1, 1, 0), TZ_INVALID_HANDLE);
    ULONG value = 0;
    UCHAR byte = 0;
    UCHAR buffer[16] = {0x90, 0, 0, 0};
    ULONG readLength = 2;
    UCHAR readBuffer[16] = {};
    auto ptr = [](const void *p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); };

    struct Probe {
        const char *name;
        const void *fn;
        std::vector<uint32_t> args;
    };
    const Probe probes[] = {
        {"TZ810mOpenDevice", reinterpret_cast<const void *>(lib_.TZ810mOpenDevice), {1, 0, 1, 0}},
        {"TZ810mCloseDevice", reinterpret_cast<const void *>(lib_.TZ810mCloseDevice), {1}},
        {"TZ810GetDrvVersion", reinterpret_cast<const void *>(lib_.TZ810GetDrvVersion), {}},
        {"TZ810mGetIntLine", reinterpret_cast<const void *>(lib_.TZ810mGetIntLine), {0, ptr(&value)}},
        {"TZ810mGetIoBaseAddr", reinterpret_cast<const void *>(lib_.TZ810mGetIoBaseAddr), {0, ptr(&value)}},
        {"TZ820mGetMemBaseAddr", reinterpret_cast<const void *>(lib_.TZ820mGetMemBaseAddr), {0, ptr(&value)}},
        {"TZ810mReadConfig", reinterpret_cast<const void *>(lib_.TZ810mReadConfig), {0, 2, ptr(&byte)}},
        {"TZ810mWriteConfig", reinterpret_cast<const void *>(lib_.TZ810mWriteConfig), {0, 0x40, 0x5A}},
        {"TZ810mReadIoByte", reinterpret_cast<const void *>(lib_.TZ810mReadIoByte), {0, 0xC820, ptr(&byte)}},
        {"TZ810mWriteIoByte", reinterpret_cast<const void *>(lib_.TZ810mWriteIoByte), {0, 0xC820, 0x12}},
        {"TZ810mAccessBlock", reinterpret_cast<const void *>(lib_.TZ810mAccessBlock), {0, 0x10, 0xC800, ptr(buffer), 8}},
        {"TZ810mReadI2C", reinterpret_cast<const void *>(lib_.TZ810mReadI2C), {0, 0x50, 0x10, ptr(&byte)}},
        {"TZ810mWriteI2C", reinterpret_cast<const void *>(lib_.TZ810mWriteI2C), {0, 0x50, 0xF0, 0x77}},
        {"TZ810SetStream", reinterpret_cast<const void *>(lib_.TZ810SetStream), {0, 1}},
        {"TZ810StreamSPI", reinterpret_cast<const void *>(lib_.TZ810StreamSPI), {0, 4, ptr(buffer), ptr(&readLength), ptr(readBuffer)}},
        {"TZ810mSetIntRoutine", reinterpret_cast<const void *>(lib_.TZ810mSetIntRoutine), {0, 0}},
        {"TZ780mReadFlash", reinterpret_cast<const void *>(lib_.TZ780mReadFlash), {0, 0x100, ptr(buffer), 16}},
        {"TZ780mWriteFlash", reinterpret_cast<const void *>(lib_.TZ780mWriteFlash), {0, 0x200, ptr(buffer), 4}},
        {"TZ780mLockFlash", reinterpret_cast<const void *>(lib_.TZ780mLockFlash), {0, 0}},
        {"TZ780mEarseFlash", reinterpret_cast<const void *>(lib_.TZ780mEarseFlash), {0, 0x1000, 0x1000}},
    };
    static_assert(sizeof probes / sizeof probes[0] == 20, "one probe per library function");

    // The probe itself tells a caller-cleans function apart.
    const uint32_t two[] = {40, 2};
    int32_t cdeclDelta = 0;
    ASSERT_EQ(StdcallProbe(reinterpret_cast<const void *>(&CdeclSum), two, 2, &cdeclDelta), 42u);
    ASSERT_EQ(cdeclDelta, -8);

    for (const Probe &p : probes) {
        int32_t delta = 12345;
        uint32_t result = StdcallProbe(p.fn, p.args.data(), uint32_t(p.args.size()), &delta);
        EXPECT_EQ(delta, 0) << p.name << " left " << -delta << " bytes of arguments on the stack";
        if (std::strcmp(p.name, "TZ810GetDrvVersion") == 0) {
            EXPECT_EQ(result, 0x2A7u);
        }
        if (std::strcmp(p.name, "TZ810mReadConfig") == 0) {
            EXPECT_EQ(result, 1u);
            EXPECT_EQ(byte, 0x34);
        }
        if (std::strcmp(p.name, "TZ810mGetIoBaseAddr") == 0) {
            EXPECT_EQ(result, 1u);
            EXPECT_EQ(value, 0xC800u);
        }
    }
    lib_.TZ810mCloseDevice(0);
#endif
}

} // namespace
