// The simulated TZ810DLL.DLL's calls one by one under Wine, reached as the
// programs reach it: loaded at run time, its functions by their plain
// names. A register read and write in card 0's I/O window, a 0x8000-byte
// MEM block each way and a 64 KiB flash write onto an erased chip, on a
// bench whose state file lies in a folder of this run's own.
//
// Prints the median of several repetitions per call, in microseconds, and
// whether the targets are met: a register access under 5 us, the 64 KiB
// flash write under 2 ms.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "board.h"
#include "common.h"
#include "device_library.h"

namespace {

const int kRepetitions = 15;
const int kRegisterCalls = 20000;
const int kBlockCalls = 200;
const ULONG kCard = 0;
const ULONG kBlock = 0x8000;
const ULONG kFlash = 0x10000;
const ULONG kMemReadDword = TZ_ACCESS_MEM_READ + 2;
const ULONG kMemWriteDword = TZ_ACCESS_MEM_WRITE + 2;
const double kRegisterTargetUs = 5.0;
const double kFlashTargetUs = 2000.0;

void *Resolve(void *module, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), name));
}

// The library reads its environment through the C runtime, which keeps a
// copy of its own: _wputenv changes that copy and the process's alike.
void SetEnv(const std::wstring &name, const std::wstring &value)
{
    _wputenv((name + L"=" + value).c_str());
}

// Per-call microseconds of `calls` calls of `call`, once per repetition;
// false as soon as one call fails.
template <typename Call> bool Time(int calls, std::vector<double> &perCall, Call call)
{
    for (int r = 0; r < kRepetitions; ++r) {
        const double t0 = bench::Micros();
        for (int i = 0; i < calls; ++i)
            if (!call(i))
                return false;
        perCall.push_back((bench::Micros() - t0) / calls);
    }
    return true;
}

int Fail(const char *why)
{
    std::fprintf(stderr, "sim_calls: %s\n", why);
    return 2;
}

}  // namespace

int wmain()
{
    namespace fs = std::filesystem;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path folder =
        fs::path(temp) / (L"sim_calls-" + std::to_wstring(GetCurrentProcessId()));
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path statePath = folder / L"bench.state";
    const fs::path configPath = folder / L"none.cfg";
    if (FILE *f = _wfopen(configPath.c_str(), L"wb"))
        std::fclose(f);  // empty: the default bench
    SetEnv(L"TZSIM_CONFIG", configPath.wstring());
    SetEnv(L"TZSIM_STATE", statePath.wstring());
    SetEnv(L"TZSIM_TRACE", L"");
    SetEnv(L"TZSIM_POWER_CYCLE", L"");

    struct Cleanup {
        fs::path folder;

        ~Cleanup()
        {
            std::error_code unused;
            fs::remove_all(folder, unused);
        }
    } cleanup{folder};

    const std::wstring dllPath = bench::OwnFolder() + L"TZ810DLL.DLL";
    HMODULE module = LoadLibraryW(dllPath.c_str());
    DeviceLibrary lib;
    if (!module || !BindDeviceLibrary(lib, Resolve, module))
        return Fail("cannot load TZ810DLL.DLL beside this program");
    ULONG ioBase = 0, memBase = 0;
    if (lib.TZ810mOpenDevice(kCard, 1, 1, 0) == TZ_INVALID_HANDLE ||
        !lib.TZ810mGetIoBaseAddr(kCard, &ioBase) || !lib.TZ820mGetMemBaseAddr(kCard, &memBase))
        return Fail("card 0 did not open as a TZ820");
    const ULONG reg = ioBase + board::kRegPulse;

    std::vector<std::uint8_t> block(kBlock), back(kBlock), image(kFlash);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));

    std::vector<double> reads, writes, memReads, memWrites, flashWrites, flashErases;
    UCHAR value = 0;
    if (!Time(kRegisterCalls, reads, [&](int) { return lib.TZ810mReadIoByte(kCard, reg, &value); }))
        return Fail("TZ810mReadIoByte failed");
    // Pulse codes 0-15 in turn, 32-bit I/O on, as the dialog writes them.
    if (!Time(kRegisterCalls, writes, [&](int i) {
            return lib.TZ810mWriteIoByte(kCard, reg, static_cast<UCHAR>(0x40 | (i & 0x0F)));
        }))
        return Fail("TZ810mWriteIoByte failed");
    if (!Time(kBlockCalls, memWrites, [&](int) {
            return lib.TZ810mAccessBlock(kCard, kMemWriteDword, memBase, block.data(), kBlock);
        }))
        return Fail("the MEM block write failed");
    if (!Time(kBlockCalls, memReads, [&](int) {
            return lib.TZ810mAccessBlock(kCard, kMemReadDword, memBase, back.data(), kBlock);
        }))
        return Fail("the MEM block read failed");
    if (back != block)
        return Fail("the MEM block read back differs from the one written");
    // One write a repetition, each onto a chip erased just before, untimed.
    for (int r = 0; r < kRepetitions; ++r) {
        double t0 = bench::Micros();
        if (!lib.TZ780mEarseFlash(0, 0, kFlash))
            return Fail("TZ780mEarseFlash failed");
        flashErases.push_back(bench::Micros() - t0);
        t0 = bench::Micros();
        if (!lib.TZ780mWriteFlash(0, 0, image.data(), kFlash))
            return Fail("TZ780mWriteFlash failed");
        flashWrites.push_back(bench::Micros() - t0);
    }
    std::vector<std::uint8_t> flash(kFlash);
    if (!lib.TZ780mReadFlash(0, 0, flash.data(), kFlash) || flash != image)
        return Fail("the flash does not hold the image written");
    lib.TZ810mCloseDevice(kCard);
    // The writes saved the bench where it was told to: the run used its own.
    if (!fs::exists(statePath, ec))
        return Fail("no state file in this run's folder: the library used another");

    const double read = bench::Median(reads), write = bench::Median(writes);
    const double flashWrite = bench::Median(flashWrites);
    const bool registersOk = read < kRegisterTargetUs && write < kRegisterTargetUs;
    const bool flashOk = flashWrite < kFlashTargetUs;
    std::printf("TZ810DLL.DLL calls, state file in the run's own folder; per call, median of %d "
                "repetitions\n",
                kRepetitions);
    std::printf("  TZ810mReadIoByte  %04lX (%d calls a repetition)    %10.3f us\n",
                static_cast<unsigned long>(reg), kRegisterCalls, read);
    std::printf("  TZ810mWriteIoByte %04lX (%d calls a repetition)    %10.3f us\n",
                static_cast<unsigned long>(reg), kRegisterCalls, write);
    std::printf("  MEM block read  0x8000 bytes, code 1A (%d calls)   %10.3f us\n", kBlockCalls,
                bench::Median(memReads));
    std::printf("  MEM block write 0x8000 bytes, code 1E (%d calls)   %10.3f us\n", kBlockCalls,
                bench::Median(memWrites));
    std::printf("  flash write 64 KiB onto an erased chip             %10.3f us\n", flashWrite);
    std::printf("  flash erase 64 KiB (not in the write's time)       %10.3f us\n",
                bench::Median(flashErases));
    std::printf("  register access < 5 us: %s; 64 KiB flash write < 2 ms: %s\n",
                registersOk ? "met" : "MISSED", flashOk ? "met" : "MISSED");
    return registersOk && flashOk ? 0 : 1;
}
