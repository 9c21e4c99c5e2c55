// The device library as a 32-bit Windows process binds it at run time: TZ810DLL.DLL is found by its
// plain name beside the program and every function of the table is bound to the export of its
// undecorated name; which file it was, and a version block read in the translation it lists. Every
// export of the simulated and of the tracing library pops its own arguments, as __stdcall does.
#include <windows.h>
#include <gtest/gtest.h>
#include <type_traits>
#include "device_library.h"
#include "checks.h"
#include "module_info.h"

namespace {
// The simulator's configuration, state and trace in the folder, not in the user's.
void SimulatorIn(const std::wstring &folder)
{
    for (const std::wstring v : {L"CONFIG=\\bench.cfg", L"STATE=\\state.bin", L"TRACE=\\trace.txt"})
        _wputenv((L"TZSIM_" + std::wstring(v).insert(v.find(L'=') + 1, folder)).c_str());
}

#if defined(__i386__)
// ESP before the arguments are pushed less ESP after the call returns: 0 when the callee popped
// them, 4 for each it left; -1 for no function.
__attribute__((noinline)) long StackLeft(FARPROC fn, const ULONG *args, ULONG count)
{
    long left = -1;
    if (fn)
        // EDI keeps ESP across the call; the arguments are pushed last to first.
        asm volatile("mov %%esp, %%edi; 1: jecxz 2f; pushl -4(%%esi,%%ecx,4); dec %%ecx; jmp 1b;"
                     "2: call *%%ebx; mov %%edi, %%eax; sub %%esp, %%eax; mov %%edi, %%esp"
                     : "=a"(left), "+c"(count)
                     : "b"(fn), "S"(args)
                     : "edx", "edi", "memory", "cc");
    return left;
}

// Ample: where every pointer argument points.
ULONG zeroes[0x4000];

// No card's index for every number, the zeroes for every pointer: nothing is touched.
template <class R, class... A> long StackLeftBy(R (*)(A...), FARPROC fn)
{
    const ULONG args[] = {(std::is_pointer_v<A> ? reinterpret_cast<ULONG>(zeroes) : 0x55ul)..., 0};
    return StackLeft(fn, args, sizeof...(A));
}
#endif
}  // namespace

TEST(DeviceLibrary, BindsBesideTheProgramByPlainNames)
{
    e2e::TzDebug scratch;  // for its folder
    ASSERT_TRUE(e2e::WriteWholeFile(scratch.Folder() + L"\\bench.cfg", "version = 0x2A7\n"));
    SimulatorIn(scratch.Folder());
    DeviceLibrary lib;
    ASSERT_TRUE(LoadDeviceLibrary(lib));
    const std::string folder = e2e::Narrow(e2e::OwnFolder());
    EXPECT_STRCASEEQ(LoadedModulePath(L"TZ810DLL.DLL").c_str(), (folder + "TZ810DLL.DLL").c_str());
    // tzdebug.exe's block is in 0804, Unicode, alone.
    const VersionBlock program = ReadVersionBlock(folder + "tzdebug.exe");
    EXPECT_EQ(program.fileVersion, TZCTL_VERSION ".0");
    EXPECT_EQ(program.productName, "tzdebug");
    // Every export was found by its plain name, or the binding would have failed whole.
    EXPECT_EQ(lib.TZ810GetDrvVersion(), 0x2A7u);
}

// Each export of both libraries by its undecorated name, with as many 4-byte arguments as the
// list gives it; the tracing one passing the calls on to the simulated one.
TEST(Abi, EveryExportCleansItsStack)
{
#if defined(__i386__)
    e2e::TzDebug scratch;
    SimulatorIn(scratch.Folder());
    _wputenv((L"TZTRACE_LIBRARY=" + e2e::OwnFolder() + L"TZ810DLL.DLL").c_str());
    _wputenv((L"TZTRACE_LOG=" + scratch.Folder() + L"\\tztrace.log").c_str());
    for (const std::wstring library : {L"TZ810DLL.DLL", L"trace\\TZ810DLL.DLL"}) {
        const HMODULE module = LoadLibraryW((e2e::OwnFolder() + library).c_str());
#define TZ_CHECK(name, ret, params)                                                                \
    EXPECT_EQ(StackLeftBy(static_cast<ret(*) params>(nullptr), GetProcAddress(module, #name)), 0)  \
        << e2e::Narrow(library) << " " #name;
        TZ810DLL_FUNCTIONS(TZ_CHECK)
#undef TZ_CHECK
    }
#else
    GTEST_SKIP() << "64-bit Windows has one calling convention";
#endif
}
