// How a tzctl run ends, for scripts and stations. The README lists the same
// codes with the same meanings; a new one goes at the end, as scripts test
// the numbers.
#pragma once

namespace tzctl {

enum ExitCode : int {
    kExitOk = 0,
    kExitCallFailed = 1,    // a library call failed, or no interrupt came
    kExitUsage = 2,         // usage or input, found before the card is touched
    kExitNoLibrary = 3,     // TZ810DLL.DLL cannot be loaded
    kExitMismatch = 4,      // a read-back or verify differs, a self-test check failed
    kExitNoCard = 5,        // no card, not recognised, wrong chip, no flash
    kExitOutputFailed = 6,  // the output could not be written
    kExitNotRestored = 7,   // the card was left changed: what is named on stderr
    kExitInterrupted = 8,   // Ctrl-C: what was in progress was completed first
};

}  // namespace tzctl
