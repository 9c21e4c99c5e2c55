// The bench description: which cards sit at which index, their identity
// defaults and resources, the jumper, the flash, fault rules and the files
// the library writes. Parsed from the small text format of sim/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tzsim {

constexpr unsigned kMaxCards = 16;

enum class Chip {
    TZ810,
    TZ820
};
enum class EepromFit {
    Present,
    Blank,
    Absent,
    ReadOnly  // acknowledges writes and keeps its bytes (write-protect tied high)
};

// Faulty lines of a bus: each listed line drives a fixed level, and lines
// joined by shorts, directly or through others, all carry the OR of their
// signals (a stuck line's signal being its level).
struct LineFaults {
    std::uint32_t stuck0 = 0, stuck1 = 0;  // masks of the stuck lines
    std::vector<std::pair<unsigned, unsigned>> shorts;

    std::uint32_t Apply(std::uint32_t signals) const;

    bool None() const
    {
        return !stuck0 && !stuck1 && shorts.empty();
    }
};

struct CardConfig {
    bool present = false;
    Chip chip = Chip::TZ810;
    // Chip defaults of the identity values, used when the EEPROM holds no
    // valid identity block (and to fill a fresh EEPROM).
    std::uint16_t vid = 0;
    std::uint16_t did = 0;
    std::uint8_t rid = 0;
    std::uint16_t svid = 0;
    std::uint16_t sid = 0;
    std::uint32_t ioBase = 0;
    std::uint32_t memBase = 0;
    std::uint8_t intLine = 0;
    std::uint8_t pulse = 0x04;  // pulse-width register 0xFA at power-up
    EepromFit eeprom = EepromFit::Present;
    // Bring-up defects: MEM window data lines D0-D31 and address lines
    // A0-A14, bits of the pulse register, MEM cells that hold one value
    // whatever is written, and EEPROM bytes changed after power-up
    // (configuration space keeps what was loaded).
    LineFaults memData, memAddress, pulseBits;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> eepromChanged, memStuckCells;
};

enum class FaultMode {
    Never,
    Always,
    OnlyNth,
    FromNth
};

struct FaultRule {
    FaultMode mode = FaultMode::Never;
    std::uint32_t n = 0;  // 1-based call number for OnlyNth / FromNth
};

struct BenchConfig {
    CardConfig cards[kMaxCards];
    std::uint32_t driverVersion = 0x103;
    bool a15ToInt = true;  // jumper from pin A15 to INT#
    bool flashPresent = true;
    // flash_stray: the first flash write or erase also clears this byte, as
    // one that reaches past its range, or an erase that did not take there,
    // would; at or past the chip's end: none.
    std::uint32_t flashStray = 0x10000;
    std::map<std::string, FaultRule> faults;  // by exported function name
    std::filesystem::path stateFile;          // empty: none named
    std::filesystem::path traceFile;          // empty: none named
    std::vector<std::string> warnings;        // lines that were ignored, and why
};

// A card of the given chip at the given index with every default filled in.
CardConfig DefaultCard(unsigned index, Chip chip);

// Parses the configuration text. Relative file paths are taken relative to
// baseDir (the folder of the configuration file, or empty). Bad lines are
// skipped with a warning; the rest still applies.
BenchConfig ParseConfig(const std::string &text, const std::filesystem::path &baseDir);

// True when name is one of the library's exported functions.
bool IsExportName(const std::string &name);

}  // namespace tzsim
