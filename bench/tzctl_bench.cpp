// tzctl's heaviest commands on the simulator: a 64 KiB flash write with the
// erase and the read-back verify, the way a production line runs it; and the
// bring-up self-test of the TZ820.
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

#include "sim_control.h"
#include "tzctl.h"

namespace {

class ImageHost : public CliHost {
  public:
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(0x10000);

    void Out(const std::string &) override
    {
    }

    void Err(const std::string &) override
    {
    }

    ReadResult ReadFile(const std::string &, std::size_t, std::vector<std::uint8_t> &data) override
    {
        data = image;
        return ReadResult::Ok;
    }

    bool ReplaceFile(const std::string &, const std::vector<std::uint8_t> &) override
    {
        return true;
    }

    void Sleep(unsigned) override
    {
    }

    bool LoadLibrary(DeviceLibrary &lib) override
    {
        tzsim::BindTable(lib);
        return true;
    }
};

void FlashWrite64K(benchmark::State &state)
{
    tzsim::Reset();
    ImageHost host;
    for (std::size_t i = 0; i < host.image.size(); ++i)
        host.image[i] = static_cast<std::uint8_t>(i * 7);
    for (auto _ : state)
        if (RunTzctl({"flash", "write", "image.bin"}, host) != 0)
            state.SkipWithError("flash write failed");
}

BENCHMARK(FlashWrite64K)->Unit(benchmark::kMillisecond);

// The waits are real here: the EEPROM's write pauses and the interrupt polls.
class SleepingHost : public ImageHost {
  public:
    void Sleep(unsigned ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

// selftest --irq, and with --destructive (argument 1): the flash erased,
// patterned and its image put back.
void Selftest(benchmark::State &state)
{
    tzsim::Reset();
    SleepingHost host;
    std::vector<std::string> args = {"selftest", "--irq"};
    if (state.range(0))
        args.push_back("--destructive");
    for (auto _ : state)
        if (RunTzctl(args, host) != 0)
            state.SkipWithError("selftest failed");
}

BENCHMARK(Selftest)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
