// How a tzctl run ends, for scripts and stations. tzctl --help ends with the
// meanings below and the README lists them; a new code goes at the end, as
// scripts test the numbers.
#pragma once

namespace tzctl {

enum ExitCode : int {
    kExitOk = 0,
    kExitCallFailed = 1,
    kExitUsage = 2,
    kExitNoLibrary = 3,
    kExitMismatch = 4,
    kExitNoCard = 5,
    kExitOutputFailed = 6,
    kExitNotRestored = 7,
    kExitInterrupted = 8,
};

struct ExitMeaning {
    ExitCode code;
    const char *meaning;
};

inline constexpr ExitMeaning kExitMeanings[] = {
    {kExitOk, "success"},
    {kExitCallFailed, "a library call failed, or no interrupt came"},
    {kExitUsage, "usage or input error, found before anything is sent to the card"},
    {kExitNoLibrary, "TZ810DLL.DLL cannot be loaded"},
    {kExitMismatch, "a read-back or verify differs, or a self-test check failed"},
    {kExitNoCard, "no card, not recognised, wrong chip, or no flash"},
    {kExitOutputFailed, "the output could not be written"},
    {kExitNotRestored, "the card was left changed, and what is named on stderr"},
    {kExitInterrupted, "interrupted: what was in progress was completed first"},
};

}  // namespace tzctl
