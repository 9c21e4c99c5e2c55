// A bring-up self-test of one open card: from configuration space to its
// interrupts, each check diagnosing what it finds (which bit, which address
// line, which register) and putting back what it changed.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "interrupts.h"

namespace board {

enum class Verdict {
    Pass,
    Fail,
    Skip
};

// What a check read: the text a person reads (hex as the reports print it),
// and the number or numbers it stands for, which a machine reads as such.
struct Fact {
    enum Kind {
        Text,
        Number,
        Numbers
    };

    std::string key, text;
    Kind kind = Text;
    std::vector<std::uint32_t> numbers;
};

struct CheckResult {
    std::string name;
    Verdict verdict = Verdict::Pass;
    std::string finding;  // one line, for a person
    double seconds = 0;
    std::vector<Fact> facts;  // what was read, in order
    // In a dry run, what the check would write and put back, had it run.
    std::string planned;
    // A check run several times: how often, and how often it failed.
    unsigned loops = 0, failingLoops = 0;
};

// The checks by name, in the order they run.
const std::vector<std::string> &CheckNames();

struct SelftestOptions {
    std::vector<std::string> checks = CheckNames();  // the ones to run; others are skipped
    bool irq = false;                                // A15 is joined to INT#
    bool destructive = false;                        // the flash may be erased and written
    unsigned loops = 1;                              // runs of the memory check
    // Only the checks that read run; the others say what they would write.
    bool dryRun = false;
    // Waits (must be set): the EEPROM's write pause, and 1 ms steps while an
    // interrupt is awaited.
    Pause pause;
    // Asked before each check; once it says yes, the checks not yet begun are
    // not run. A check under way always runs to its end and puts back what
    // it changed.
    std::function<bool()> interrupted;
    // Keeps the flash image in a safe place before the destructive check
    // erases it, so that even a power loss leaves a way back: answers where,
    // or "" when it could not, and then nothing is erased.
    std::function<std::string(const std::vector<std::uint8_t> &image)> keepImage;
};

struct SelftestReport {
    Card card;
    // What could not be put back as it was; a person must hear this first.
    std::vector<std::string> notRestored;
    std::vector<CheckResult> checks;
    double seconds = 0;
    bool interrupted = false;  // some checks were not run for it

    unsigned Count(Verdict verdict) const;
};

SelftestReport RunSelftest(const Card &card, const SelftestOptions &options);

// ------------------------------------------------- pieces of the checks

// A check's context: the card, and where findings and what could not be
// restored go. Checks that reach the I/O window run only when its base is
// known.
struct CheckRun {
    const Card &card;
    const SelftestOptions &options;
    CheckResult &result;
    std::vector<std::string> &notRestored;

    void Fact(const std::string &key, const std::string &text);
    // A value read, shown in hex with digits, or as text for a count.
    void Fact(const std::string &key, std::uint32_t value, int digits);
    void Fact(const std::string &key, std::uint32_t value, const std::string &text);
    void Fact(const std::string &key, const std::vector<std::uint32_t> &values,
              const std::string &text);
    void Fail(const std::string &finding);
    // One byte of the I/O window; false when the call fails.
    bool Read(ULONG reg, UCHAR &value);
    bool Write(ULONG reg, UCHAR value);
    // Writes a register back as it was and reads it again; what does not
    // read as it was (keep: the bits that must) goes to notRestored.
    void PutBack(ULONG reg, UCHAR was, const char *name, UCHAR keep = 0xFF);
};

// The three-part memory test of a TZ820's MEM window, contents kept.
void CheckMemWindow(CheckRun &run);
// One interrupt armed, fired through GP0 and answered; registers kept.
void CheckInterrupt(CheckRun &run, InterruptMode mode);

std::string HexText(unsigned value, int digits);
// "TZ810mReadI2C failed at 0x3", "2 bytes differ from 0x10".
std::string Describe(const Outcome &o);
std::string Join(const std::vector<std::string> &parts);  // with ", "
// The faulty lines ("D3 stuck at 0", "D5 shorted to D6") found by writing
// values and reading them back; lines is the mask of those looked at, prefix
// names them ("D", "bit ").
std::vector<std::string>
NameStuckLines(const std::vector<std::pair<std::uint32_t, std::uint32_t>> &written,
               std::uint32_t lines, const char *prefix);

}  // namespace board
