// The interrupt checks: armed, triggered through GP0 (which drives INT#
// through the A15 link), exactly one call of the routine within a second,
// the request cancelled, and the registers put back.
#include <atomic>
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

// The routine takes no arguments, so what it answers is set aside before it
// is registered; it runs on the library's thread.
std::atomic<const DeviceLibrary *> g_lib{nullptr};
std::atomic<ULONG> g_index{0}, g_ioBase{0};
std::atomic<int> g_trigger{0};
std::atomic<unsigned> g_calls{0};

void TZAPI Answer(void)
{
    if (const DeviceLibrary *lib = g_lib.load()) {
        Acknowledge(*lib, g_index, g_ioBase, static_cast<Trigger>(g_trigger.load()));
        ++g_calls;
    }
}

// Pauses while the routine has been called `calls` times, at most `steps`.
void Await(const CheckRun &run, unsigned calls, unsigned steps)
{
    const Clock::time_point start = Clock::now();
    for (unsigned step = 0;
         g_calls == calls && step < steps && Clock::now() - start < kInterruptWait; ++step)
        run.options.pause(1);
}

}  // namespace

void CheckInterrupt(CheckRun &run, Trigger trigger)
{
    const ULONG index = run.card.index;
    UCHAR armed = 0, level = 0, status = 0;
    if (!run.Read(TZ_REG_INTERRUPT, armed) || !run.Read(TZ_REG_GP0, level) ||
        !run.Read(TZ_REG_STATUS, status))
        return run.Fail("the interrupt registers cannot be read; nothing written");
    g_index = index;
    g_ioBase = run.ioBase;
    g_trigger = static_cast<int>(trigger);
    g_calls = 0;
    g_lib = &run.lib;
    if (!run.lib.TZ810mSetIntRoutine(index, Answer)) {
        g_lib = nullptr;
        return run.Fail("TZ810mSetIntRoutine failed; nothing written");
    }
    // GP0 goes high before the chip is armed: one that starts low would make
    // the trigger's first step an edge of its own.
    const bool armedNow =
        run.Write(TZ_REG_GP0, level | kGp0High) && Arm(run.lib, index, run.ioBase, trigger);
    if (armedNow) {
        Fire(run.lib, index, run.ioBase, trigger);
        Await(run, 0, kWaitSteps);
        Await(run, 1, kSettleSteps);
    }
    const unsigned calls = g_calls;
    UCHAR active = 0;
    const bool activeRead = run.Read(TZ_REG_STATUS, active);
    const bool unregistered = run.lib.TZ810mSetIntRoutine(index, nullptr) != 0;
    g_lib = nullptr;

    // Disarmed first, so that putting GP0 back raises nothing.
    run.PutBack(TZ_REG_INTERRUPT, armed, "interrupt register");
    run.PutBack(TZ_REG_GP0, level, "GP0");
    // The active bit is the chip's own to set: only its clearing can be put back.
    run.PutBack(TZ_REG_STATUS, status, "status register",
                status & kInterruptActive ? UCHAR(~kInterruptActive) : UCHAR(0xFF));
    if (!unregistered)
        run.notRestored.push_back("the self-test's interrupt routine stays registered: "
                                  "TZ810mSetIntRoutine failed");
    run.Fact("calls", std::to_string(calls));
    run.result.finding = "one call of the routine, request cancelled";
    if (!armedNow)
        run.Fail("TZ810mWriteIoByte failed arming the interrupt");
    else if (calls == 0)
        run.Fail("no call of the routine within 1 s: is pin A15 joined to INT#?");
    else if (calls > 1)
        run.Fail(std::to_string(calls) + " calls of the routine, one expected");
    else if (!activeRead)
        run.Fail("the status register cannot be read after the interrupt");
    else if (active & kInterruptActive)
        run.Fail("the request stays active after it was answered");
}

}  // namespace board
