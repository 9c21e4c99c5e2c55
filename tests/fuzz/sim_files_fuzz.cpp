// The simulator's two files, its configuration and its saved state: any text is read without a
// crash. Whatever damaged lines come first in a configuration, the valid lines after them all
// apply and draw no warning; a state file is either read whole, its last lines applying, or
// moved aside, as the notice says.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include "bench.h"
#include "config.h"

namespace {
const char kValidConfig[] = "card 0 = TZ820\n"
                            "card 1 = tz810   # a comment\n"
                            "io_base 0 = 0x1200\n"
                            "vid 1 = 0x1234\n"
                            "eeprom 1 = blank\n"
                            "a15_int = off\n"
                            "fault TZ810mReadI2C = from 3\n";

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

std::string Pattern(unsigned n, unsigned seed)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < n; ++i)
        hex += {digits[((i * 7 + seed) & 0xFF) >> 4], digits[(i * 7 + seed) & 0xF]};
    return hex;
}

void CheckConfig(const std::string &junk)
{
    int junkLines = 1;
    for (char c : junk)
        junkLines += c == '\n';
    const tzsim::BenchConfig cfg = tzsim::ParseConfig(junk + '\n' + kValidConfig, "");
    for (const std::string &w : cfg.warnings)
        Check(std::atoi(w.c_str() + 5) <= junkLines);  // "line N: ..."
    const tzsim::CardConfig &c0 = cfg.cards[0], &c1 = cfg.cards[1];
    Check(c0.present);
    Check(c0.chip == tzsim::Chip::TZ820);
    Check(c0.ioBase == 0x1200);
    Check(c1.vid == 0x1234);
    Check(c1.eeprom == tzsim::EepromFit::Blank);
    Check(!cfg.a15ToInt);
    const auto fault = cfg.faults.find("TZ810mReadI2C");
    Check(fault != cfg.faults.end());
    Check(fault->second.mode == tzsim::FaultMode::FromNth);
    Check(fault->second.n == 3);
}

// True when the state file was kept aside.
bool LoadState(const std::string &path, const std::string &state)
{
    std::ofstream(path, std::ios::binary) << state;
    tzsim::Reset("card 0 = TZ820\ncard 1 = TZ810\nstate_file = " + path);
    Check(std::filesystem::exists(path) == tzsim::Notices().empty());
    return std::filesystem::remove(path + ".damaged");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("tzsim-fuzz-" + std::to_string(getpid()) + ".state"))
                                        .string();
    static const std::string flash = "flash " + Pattern(tzsim::kFlashSize, 1) + "\n";
    static const std::string valid =
        "config 0 " + Pattern(256, 2) + "\neeprom 1 " + Pattern(256, 3) + "\n";
    const std::string junk(reinterpret_cast<const char *>(data), size);
    CheckConfig(junk);
    LoadState(path, junk);
    // The flash line is long and slow to read: only every eighth input has it.
    const bool withFlash = size % 8 == 0;
    const bool aside = LoadState(path, "tzsim-state 1\n" + junk + "\n" + valid +
                                           (withFlash ? flash : std::string()));
    for (unsigned i = 0; withFlash && i < tzsim::kFlashSize; i += 97)
        Check(tzsim::FlashByte(i) == (aside ? 0xFF : ((i * 7 + 1) & 0xFF)));
    for (unsigned i = 0; !aside && i < 256; ++i) {
        Check(tzsim::EepromByte(1, i) == ((i * 7 + 3) & 0xFF));
        if (tzsim::ConfigByteWritable(i))
            Check(tzsim::ConfigByte(0, i) == ((i * 7 + 2) & 0xFF));
    }
    std::filesystem::remove(path);
    return 0;
}
