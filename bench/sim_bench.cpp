// The simulated library's calls one by one, through the function table as
// the programs bind it: a register read and write in card 0's I/O window, a
// 0x8000-byte MEM block each way, and a 64 KiB flash write (its erase apart).
// Each runs on a bench without a state file and on one with a state file,
// since that is where a library shared between programs pays for it.
// Targets: a register access under 5 us, the 64 KiB flash write under 2 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "board.h"
#include "sim_control.h"

namespace {

namespace fs = std::filesystem;

constexpr ULONG kCard = 0;
constexpr ULONG kBlock = 0x8000;
constexpr ULONG kFlash = 0x10000;
constexpr ULONG kMemReadDword = TZ_ACCESS_MEM_READ + 2;
constexpr ULONG kMemWriteDword = TZ_ACCESS_MEM_WRITE + 2;
// The host library logs every call for the tests, blocks with their bytes;
// cleared this often so that a long run measures the calls, not a log that
// outgrows the caches.
constexpr std::int64_t kClearEvery = 1024, kClearBlocksEvery = 8;

fs::path StatePath()
{
    return fs::temp_directory_path() / ("sim_bench-" + std::to_string(getpid()) + ".state");
}

void RemoveState()
{
    std::error_code unused;
    for (const char *suffix : {"", ".tmp", ".damaged"}) {
        fs::path p = StatePath();
        p += suffix;
        fs::remove(p, unused);
    }
}

// A fresh default bench (a TZ820 at index 0), with or without a state file,
// its card 0 open with the MEM window and interrupts enabled.
class OpenBench {
  public:
    OpenBench(benchmark::State &state, bool stateFile) : stateFile_(stateFile)
    {
        RemoveState();
        tzsim::Reset(stateFile ? "state_file = " + StatePath().string() : std::string());
        tzsim::BindTable(lib);
        if (lib.TZ810mOpenDevice(kCard, 1, 1, 0) == TZ_INVALID_HANDLE ||
            !lib.TZ810mGetIoBaseAddr(kCard, &ioBase) || !lib.TZ820mGetMemBaseAddr(kCard, &memBase))
            state.SkipWithError("card 0 did not open as a TZ820");
    }

    ~OpenBench()
    {
        lib.TZ810mCloseDevice(kCard);
        tzsim::Reset();
        if (stateFile_)
            RemoveState();
    }

    OpenBench(const OpenBench &) = delete;
    OpenBench &operator=(const OpenBench &) = delete;

    DeviceLibrary lib;
    ULONG ioBase = 0;
    ULONG memBase = 0;

  private:
    bool stateFile_;
};

void ClearLogNow(benchmark::State &state)
{
    state.PauseTiming();
    tzsim::ClearCalls();
    state.ResumeTiming();
}

void ClearLogSometimes(benchmark::State &state, std::int64_t &n, std::int64_t every = kClearEvery)
{
    if (++n % every == 0)
        ClearLogNow(state);
}

void ReadIoByte(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    const ULONG address = b.ioBase + board::kRegPulse;
    std::int64_t n = 0;
    UCHAR value = 0;
    for (auto _ : state) {
        if (!b.lib.TZ810mReadIoByte(kCard, address, &value)) {
            state.SkipWithError("TZ810mReadIoByte failed");
            break;
        }
        benchmark::DoNotOptimize(value);
        ClearLogSometimes(state, n);
    }
}

void WriteIoByte(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    const ULONG address = b.ioBase + board::kRegPulse;
    std::int64_t n = 0;
    for (auto _ : state) {
        // Pulse codes 0-15 in turn, 32-bit I/O on, as the dialog writes them.
        if (!b.lib.TZ810mWriteIoByte(kCard, address, static_cast<UCHAR>(0x40 | (n & 0x0F)))) {
            state.SkipWithError("TZ810mWriteIoByte failed");
            break;
        }
        ClearLogSometimes(state, n);
    }
}

void MemBlockRead(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    std::vector<std::uint8_t> block(kBlock);
    std::int64_t n = 0;
    for (auto _ : state) {
        if (!b.lib.TZ810mAccessBlock(kCard, kMemReadDword, b.memBase, block.data(), kBlock)) {
            state.SkipWithError("MEM block read failed");
            break;
        }
        benchmark::ClobberMemory();
        ClearLogSometimes(state, n, kClearBlocksEvery);
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

void MemBlockWrite(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    std::vector<std::uint8_t> block(kBlock);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    std::int64_t n = 0;
    for (auto _ : state) {
        if (!b.lib.TZ810mAccessBlock(kCard, kMemWriteDword, b.memBase, block.data(), kBlock)) {
            state.SkipWithError("MEM block write failed");
            break;
        }
        ClearLogSometimes(state, n, kClearBlocksEvery);
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

std::vector<std::uint8_t> FlashImage()
{
    std::vector<std::uint8_t> image(kFlash);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return image;
}

// Each write goes onto an erased chip, the erase itself left out of the time.
void FlashWrite64K(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    std::vector<std::uint8_t> image = FlashImage();
    for (auto _ : state) {
        state.PauseTiming();
        tzsim::ClearCalls();
        const bool erased = b.lib.TZ780mEarseFlash(0, 0, kFlash) != 0;
        state.ResumeTiming();
        if (!erased || !b.lib.TZ780mWriteFlash(0, 0, image.data(), kFlash)) {
            state.SkipWithError("flash erase or write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFlash);
}

void FlashErase64K(benchmark::State &state, bool stateFile)
{
    OpenBench b(state, stateFile);
    std::int64_t n = 0;
    for (auto _ : state) {
        if (!b.lib.TZ780mEarseFlash(0, 0, kFlash)) {
            state.SkipWithError("flash erase failed");
            break;
        }
        ClearLogSometimes(state, n, kClearBlocksEvery);
    }
}

void Register(const char *name, void (*run)(benchmark::State &, bool))
{
    for (bool stateFile : {false, true})
        benchmark::RegisterBenchmark(
            (std::string(name) + (stateFile ? "/state_file" : "/no_state_file")).c_str(),
            [run, stateFile](benchmark::State &state) { run(state, stateFile); })
            ->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char **argv)
{
    Register("ReadIoByte", ReadIoByte);
    Register("WriteIoByte", WriteIoByte);
    Register("MemBlockRead_0x8000", MemBlockRead);
    Register("MemBlockWrite_0x8000", MemBlockWrite);
    Register("FlashWrite_64K", FlashWrite64K);
    Register("FlashErase_64K", FlashErase64K);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
