// The chip's interrupts and the one routine a program registers for them.
//
// The chip is armed for a level or an edge and triggered through GP0, which
// the board's A15 jumper feeds back to INT#. The library calls the routine
// on a thread of its own and hands it nothing, so a program watches one
// card at a time, through one state of lock-free values in static storage:
// the card answered, the mode, the counts and whom to tell. It outlives
// every watcher, so a call that comes late never reaches freed memory.
#pragma once

#include "board.h"

namespace board {

// What the chip was last armed for; None: nothing yet, and a call of the
// routine is told but neither answered nor counted.
enum class InterruptMode {
    None,
    Level,
    Edge
};

// The program's watcher: one at a time.
class InterruptWatcher {
  public:
    // Runs on the library's thread after each call of the routine.
    using Notify = void (*)(void *context);

    // Starts the state afresh: this mode, no calls, no card, no one to tell.
    explicit InterruptWatcher(InterruptMode mode = InterruptMode::None);
    // A call of the routine after this reaches nothing.
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;

    // Whom the routine tells; set before Watch.
    void SetNotify(Notify notify, void *context);
    // From now on the routine answers for this card; registers it with the
    // library, false when that refuses.
    bool Watch(const Card &card);
    // Registers no routine for the card any more; false when that fails.
    bool Unwatch();
    // Takes the mode (Level or Edge), kept whatever happens, then writes the
    // interrupt register; false when the write fails.
    bool Arm(InterruptMode mode);
    // GP0 high then low (level: INT# low raises it), or high, low, high
    // (edge: the last rising edge raises it). Needs A15 joined to INT#.
    void Fire() const;
    InterruptMode Mode() const;
    // Calls answered in the mode since the last ClearCalls.
    unsigned Calls(InterruptMode mode) const;
    void ClearCalls();
};

}  // namespace board
