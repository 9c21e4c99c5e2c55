// tzctl's heaviest command on the simulator: a 64 KiB flash write with the
// erase and the read-back verify, the way a production line runs it.
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
