// The simulator's configuration reader: any text is read without a crash, and whatever lines come
// first, the valid lines after them all apply and draw no warning.
#include <cstdint>
#include <cstdlib>
#include <string>
#include "config.h"

namespace {
const char kValid[] = "card 0 = TZ820\n"
                      "card 1 = tz810   # a comment\n"
                      "io_base 0 = 0x1200\n"
                      "pulse 0 = 7\n"
                      "vid 1 = 0x1234\n"
                      "eeprom 1 = blank\n"
                      "version = 0x205\n"
                      "a15_int = off\n"
                      "flash = absent\n"
                      "fault TZ810mReadI2C = from 3\n"
                      "trace_file = /tmp/t.trace\n";

void Check(bool ok)
{
    if (!ok)
        std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string junk(reinterpret_cast<const char *>(data), size);
    tzsim::ParseConfig(junk, "base");
    int junkLines = 1;
    for (char c : junk)
        junkLines += c == '\n';
    const tzsim::BenchConfig cfg = tzsim::ParseConfig(junk + '\n' + kValid, "");
    for (const std::string &w : cfg.warnings)
        Check(std::atoi(w.c_str() + 5) <= junkLines);  // "line N: ..."
    const tzsim::CardConfig &c0 = cfg.cards[0], &c1 = cfg.cards[1];
    Check(c0.present && c0.chip == tzsim::Chip::TZ820 && c0.ioBase == 0x1200 && c0.pulse == 7);
    Check(c1.present && c1.chip == tzsim::Chip::TZ810 && c1.vid == 0x1234 &&
          c1.eeprom == tzsim::EepromFit::Blank);
    Check(cfg.driverVersion == 0x205 && !cfg.a15ToInt && !cfg.flashPresent);
    const auto fault = cfg.faults.find("TZ810mReadI2C");
    Check(fault != cfg.faults.end() && fault->second.mode == tzsim::FaultMode::FromNth &&
          fault->second.n == 3);
    Check(cfg.traceFile == "/tmp/t.trace");
    return 0;
}
