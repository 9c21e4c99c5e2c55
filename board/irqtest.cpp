// The interrupt checks: armed, triggered through GP0 (which drives INT#
// through the A15 link), exactly one call of the routine within a second,
// the request cancelled, and the registers put back.
#include <chrono>

#include "selftest.h"

namespace board {

namespace {

using Clock = std::chrono::steady_clock;

// The wait is counted in 1 ms pauses, so a pause that only lets the
// library's thread run makes it as short as the interrupt itself; the clock
// bounds it where a pause lasts longer than asked.
constexpr unsigned kWaitSteps = 1000;
constexpr auto kInterruptWait = std::chrono::seconds(1);
// Time for a second, unwanted call of the routine to show itself.
constexpr unsigned kSettleSteps = 20;

// Pauses while the routine has been called `calls` times, at most `steps`.
void Await(const CheckRun &run, const InterruptWatcher &watcher, unsigned calls, unsigned steps)
{
    const Clock::time_point start = Clock::now();
    for (unsigned step = 0; watcher.Calls(watcher.Mode()) == calls && step < steps &&
                            Clock::now() - start < kInterruptWait;
         ++step)
        run.options.pause(1);
}

// What one trigger brought, read while the routine was still registered.
struct Observed {
    bool registered = false, armed = false, activeRead = false, unregistered = false;
    unsigned calls = 0;
    UCHAR active = 0;
};

// Registers the routine, arms and fires, waits for it and registers it no
// more. GP0 (read as `level`) goes high before the chip is armed: one that
// starts low would make the trigger's first step an edge of its own.
Observed Observe(CheckRun &run, InterruptMode mode, UCHAR level)
{
    Observed o;
    // Gone with this function: a late call reaches nothing.
    InterruptWatcher watcher(mode);
    o.registered = watcher.Watch(run.card);
    if (!o.registered)
        return o;
    o.armed = run.Write(kRegGp0, level | kGp0High) && watcher.Arm(mode);
    if (o.armed) {
        watcher.Fire();
        Await(run, watcher, 0, kWaitSteps);
        Await(run, watcher, 1, kSettleSteps);
    }
    o.calls = watcher.Calls(mode);
    o.activeRead = run.Read(kRegStatus, o.active);
    o.unregistered = watcher.Unwatch();
    return o;
}

}  // namespace

void CheckInterrupt(CheckRun &run, InterruptMode mode)
{
    UCHAR armed = 0, level = 0, status = 0;
    if (!run.Read(kRegInterrupt, armed) || !run.Read(kRegGp0, level) ||
        !run.Read(kRegStatus, status))
        return run.Fail("the interrupt registers cannot be read; nothing written");
    const Observed o = Observe(run, mode, level);
    if (!o.registered)
        return run.Fail("TZ810mSetIntRoutine failed; nothing written");

    // Disarmed first, so that putting GP0 back raises nothing.
    run.PutBack(kRegInterrupt, armed, "interrupt register");
    run.PutBack(kRegGp0, level, "GP0");
    // The active bit is the chip's own to set: only its clearing can be put back.
    run.PutBack(kRegStatus, status, "status register",
                status & kInterruptActive ? UCHAR(~kInterruptActive) : UCHAR(0xFF));
    if (!o.unregistered)
        run.notRestored.push_back("the self-test's interrupt routine stays registered: "
                                  "TZ810mSetIntRoutine failed");
    run.Fact("calls", o.calls, std::to_string(o.calls));
    run.result.finding = "one call of the routine, request cancelled";
    if (!o.armed)
        run.Fail("TZ810mWriteIoByte failed arming the interrupt");
    else if (o.calls == 0)
        run.Fail("no call of the routine within 1 s: is pin A15 joined to INT#?");
    else if (o.calls > 1)
        run.Fail(std::to_string(o.calls) + " calls of the routine, one expected");
    else if (!o.activeRead)
        run.Fail("the status register cannot be read after the interrupt");
    else if (o.active & kInterruptActive)
        run.Fail("the request stays active after it was answered");
}

}  // namespace board
