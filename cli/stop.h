// The one way out of a command that cannot go on: a Stop carries the exit
// code and the one line for stderr up to the dispatch, which prints it.
#pragma once

#include <functional>
#include <string>

#include "board.h"
#include "exit_code.h"

namespace tzctl {

struct Stop {
    ExitCode code;
    std::string message;
};

[[noreturn]] void Usage(const std::string &message);
// Stops on anything but Ok; `what` names a mismatch.
void Check(const board::Outcome &o, const char *what = "");
void CheckCall(BOOL result, const char *call);
// Runs a change to the card; when it stops part way, puts back what undo
// restores and ends with the stop and what became of `what`: put back as it
// was, or not (exit 7, naming why).
void Guarded(const std::function<void()> &change, const std::function<board::Restoration()> &undo,
             const std::string &what);

}  // namespace tzctl
