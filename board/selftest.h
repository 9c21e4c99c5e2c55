// A bring-up self-test of one open card: from configuration space to its
// interrupts, each check diagnosing what it finds (which bit, which address
// line, which register) and putting back what it changed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "board.h"

namespace board {

enum class Verdict {
    Pass,
    Fail,
    Skip
};

struct CheckResult {
    std::string name;
    Verdict verdict = Verdict::Pass;
    std::string finding;  // one line, for a person
    double seconds = 0;
    std::vector<std::pair<std::string, std::string>> facts;  // what was read, in order
};

// The checks by name, in the order they run.
const std::vector<std::string> &CheckNames();

struct SelftestOptions {
    std::vector<std::string> checks = CheckNames();  // the ones to run; others are skipped
    bool irq = false;                                // A15 is joined to INT#
    bool destructive = false;                        // the flash may be erased and written
    // Waits (must be set): the EEPROM's write pause, and 1 ms steps while an
    // interrupt is awaited.
    Pause pause;
};

struct SelftestReport {
    Card card;
    // What could not be put back as it was; a person must hear this first.
    std::vector<std::string> notRestored;
    std::vector<CheckResult> checks;
    double seconds = 0;

    unsigned Count(Verdict verdict) const;
};

SelftestReport RunSelftest(const DeviceLibrary &lib, const Card &card,
                           const SelftestOptions &options);

// ------------------------------------------------- pieces of the checks

// A check's context: the card, its I/O base, and where findings and what
// could not be restored go.
struct CheckRun {
    const DeviceLibrary &lib;
    const Card &card;
    const SelftestOptions &options;
    CheckResult &result;
    std::vector<std::string> &notRestored;
    ULONG ioBase = 0;

    void Fact(const std::string &key, const std::string &value);
    void Fail(const std::string &finding);
};

// The three-part memory test of a TZ820's MEM window, contents kept.
void CheckMemWindow(CheckRun &run);
// One interrupt armed, fired through GP0 and answered; registers kept.
void CheckInterrupt(CheckRun &run, Trigger trigger);

std::string HexText(unsigned value, int digits);
std::string Join(const std::vector<std::string> &parts);  // with ", "
// The faulty lines ("D3 stuck at 0", "D5 shorted to D6") found by writing
// values and reading them back; lines is the mask of those looked at, prefix
// names them ("D", "bit ").
std::vector<std::string>
NameStuckLines(const std::vector<std::pair<std::uint32_t, std::uint32_t>> &written,
               std::uint32_t lines, const char *prefix);

}  // namespace board
