// What the tracing library adds to a call, beside the same call made straight
// to the simulated library's table:
//  - a register read (TZ810mReadIoByte) through Tracer::Call, the line built
//    and then dropped, so the figure is the wrapper's own work; target: at
//    most 2 us more per call;
//  - a 64 KiB flash read (board::ReadFlash, as tzctl's `flash read` makes it)
//    through a table of wrappers whose lines go unbuffered to a real file
//    opened for appending, as the Windows library writes its log; target: at
//    most 10 % slower than the direct read. Also with the lines dropped, which
//    tells the wrappers' work from the writes'.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "board.h"
#include "sim_control.h"
#include "tracer.h"

namespace {

namespace fs = std::filesystem;

constexpr ULONG kCard = 0;
// The host library logs every call for the tests, a flash read with its
// bytes; cleared this often so that a long run measures the calls.
constexpr std::int64_t kClearEvery = 1024, kClearReadsEvery = 8;

// The Windows library's system, less the Windows calls: a clock, a thread
// number read once, and the line either dropped or written to the file at
// once.
class BenchEnvironment : public tztrace::Environment {
  public:
    explicit BenchEnvironment(const fs::path &log = {})
    {
        if (!log.empty())
            fd_ = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_TRUNC, 0644);
    }

    ~BenchEnvironment() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    BenchEnvironment(const BenchEnvironment &) = delete;
    BenchEnvironment &operator=(const BenchEnvironment &) = delete;

    std::uint64_t Micros() override
    {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    }

    std::uint32_t Thread() override
    {
        static thread_local const std::uint32_t id = static_cast<std::uint32_t>(::gettid());
        return id;
    }

    void Write(const std::string &line) override
    {
        if (fd_ >= 0 && ::write(fd_, line.data(), line.size()) < 0)
            failed = true;
    }

    tztrace::Loaded Load() override
    {
        tztrace::Loaded l;
        l.program = "trace_bench";
        l.pid = static_cast<std::uint32_t>(::getpid());
        l.library = "simulator";
        l.resolve = &tzsim::ResolveExport;
        return l;
    }

    bool failed = false;

  private:
    int fd_ = -1;
};

// The tracer the wrapper table below passes its calls to: the running
// benchmark's.
tztrace::Tracer *traced = nullptr;

template <auto Member, class F> struct Through;

template <auto Member, class R, class... A> struct Through<Member, R (*)(A...)> {
    static R Call(A... a)
    {
        return traced->Call<Member>(a...);
    }
};

// A table whose every function goes through `traced`, as the Windows
// library's exports do.
DeviceLibrary TracedTable()
{
    DeviceLibrary t;
#define TZ_THROUGH(name, ret, params)                                                              \
    t.name = &Through<&DeviceLibrary::name, decltype(t.name)>::Call;
    TZ810DLL_FUNCTIONS(TZ_THROUGH)
#undef TZ_THROUGH
    return t;
}

fs::path LogPath()
{
    return fs::temp_directory_path() / ("trace_bench-" + std::to_string(::getpid()) + ".log");
}

// A fresh default bench, its card 0 (a TZ820) open, reached through `lib`.
class OpenBench {
  public:
    OpenBench(benchmark::State &state, const DeviceLibrary &through) : lib(through)
    {
        tzsim::Reset();
        if (lib.TZ810mOpenDevice(kCard, 1, 1, 0) == TZ_INVALID_HANDLE ||
            !lib.TZ810mGetIoBaseAddr(kCard, &ioBase))
            state.SkipWithError("card 0 did not open");
        tzsim::ClearCalls();
    }

    ~OpenBench()
    {
        lib.TZ810mCloseDevice(kCard);
        tzsim::Reset();
    }

    OpenBench(const OpenBench &) = delete;
    OpenBench &operator=(const OpenBench &) = delete;

    DeviceLibrary lib;
    ULONG ioBase = 0;
};

void ClearSometimes(benchmark::State &state, std::int64_t &n, std::int64_t every)
{
    if (++n % every != 0)
        return;
    state.PauseTiming();
    tzsim::ClearCalls();
    state.ResumeTiming();
}

DeviceLibrary Direct()
{
    DeviceLibrary t;
    tzsim::BindTable(t);
    return t;
}

void ReadIoByteDirect(benchmark::State &state)
{
    OpenBench b(state, Direct());
    const ULONG address = b.ioBase + board::kRegPulse;
    std::int64_t n = 0;
    UCHAR value = 0;
    for (auto _ : state) {
        if (!b.lib.TZ810mReadIoByte(kCard, address, &value)) {
            state.SkipWithError("TZ810mReadIoByte failed");
            break;
        }
        benchmark::DoNotOptimize(value);
        ClearSometimes(state, n, kClearEvery);
    }
}

// Straight through Tracer::Call, as an export makes it; the line is dropped.
void ReadIoByteTraced(benchmark::State &state)
{
    BenchEnvironment env;
    tztrace::Tracer tracer(env, tztrace::kDefaultByteLimit);
    traced = &tracer;
    OpenBench b(state, TracedTable());
    const ULONG address = b.ioBase + board::kRegPulse;
    std::int64_t n = 0;
    UCHAR value = 0;
    for (auto _ : state) {
        if (!tracer.Call<&DeviceLibrary::TZ810mReadIoByte>(kCard, address, &value)) {
            state.SkipWithError("TZ810mReadIoByte failed");
            break;
        }
        benchmark::DoNotOptimize(value);
        ClearSometimes(state, n, kClearEvery);
    }
}

void ReadFlash64K(benchmark::State &state, const DeviceLibrary &through)
{
    OpenBench b(state, through);
    std::vector<std::uint8_t> image;
    std::int64_t n = 0;
    for (auto _ : state) {
        if (!board::ReadFlash(b.lib, image).ok() || image.size() != board::kFlashSize) {
            state.SkipWithError("flash read failed");
            break;
        }
        benchmark::ClobberMemory();
        ClearSometimes(state, n, kClearReadsEvery);
    }
    state.SetBytesProcessed(state.iterations() * board::kFlashSize);
}

void ReadFlashDirect(benchmark::State &state)
{
    ReadFlash64K(state, Direct());
}

// The same with the lines dropped: what is left is the wrappers' own work.
void ReadFlashTracedDropped(benchmark::State &state)
{
    BenchEnvironment env;
    tztrace::Tracer tracer(env, tztrace::kDefaultByteLimit);
    traced = &tracer;
    ReadFlash64K(state, TracedTable());
}

void ReadFlashTracedToFile(benchmark::State &state)
{
    const fs::path log = LogPath();
    {
        BenchEnvironment env(log);
        tztrace::Tracer tracer(env, tztrace::kDefaultByteLimit);
        traced = &tracer;
        ReadFlash64K(state, TracedTable());
        if (env.failed)
            state.SkipWithError("writing the log failed");
    }
    std::error_code unused;
    fs::remove(log, unused);
}

}  // namespace

BENCHMARK(ReadIoByteDirect)->Unit(benchmark::kNanosecond);
BENCHMARK(ReadIoByteTraced)->Unit(benchmark::kNanosecond);
BENCHMARK(ReadFlashDirect)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadFlashTracedDropped)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadFlashTracedToFile)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
