// The interrupt checks: armed, triggered through GP0 (which drives INT#
// through the A15 link), exactly one call of the routine within a second,
// the request cancelled, and the registers put back.
#include <atomic>
#include <chrono>

#include "selftest.h"

namespace board {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kInterruptWait = std::chrono::seconds(1);
// Time for a second, unwanted call of the routine to show itself.
constexpr auto kInterruptSettle = std::chrono::milliseconds(20);

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

}  // namespace

void CheckInterrupt(CheckRun &run, Trigger trigger)
{
    const ULONG index = run.card.index, reg = run.ioBase + TZ_REG_INTERRUPT,
                gp0 = run.ioBase + TZ_REG_GP0;
    UCHAR armed = 0, level = 0, status = 0;
    run.lib.TZ810mReadIoByte(index, reg, &armed);
    run.lib.TZ810mReadIoByte(index, gp0, &level);
    g_index = index;
    g_ioBase = run.ioBase;
    g_trigger = static_cast<int>(trigger);
    g_calls = 0;
    g_lib = &run.lib;
    run.lib.TZ810mSetIntRoutine(index, Answer);
    Arm(run.lib, index, run.ioBase, trigger);
    Fire(run.lib, index, run.ioBase, trigger);
    const Clock::time_point start = Clock::now();
    while (g_calls == 0 && Clock::now() - start < kInterruptWait)
        run.options.pause(1);
    const Clock::time_point first = Clock::now();
    while (g_calls != 0 && Clock::now() - first < kInterruptSettle)
        run.options.pause(1);
    const unsigned calls = g_calls;
    run.lib.TZ810mReadIoByte(index, run.ioBase + TZ_REG_STATUS, &status);
    run.lib.TZ810mSetIntRoutine(index, nullptr);
    g_lib = nullptr;

    UCHAR armedNow = 0, levelNow = 0;
    run.lib.TZ810mWriteIoByte(index, reg, armed);
    run.lib.TZ810mWriteIoByte(index, gp0, level);
    run.lib.TZ810mReadIoByte(index, reg, &armedNow);
    run.lib.TZ810mReadIoByte(index, gp0, &levelNow);
    if (armedNow != armed || levelNow != level)
        run.notRestored.push_back("interrupt register and GP0 read " + HexText(armedNow, 2) + " " +
                                  HexText(levelNow, 2) + ", were " + HexText(armed, 2) + " " +
                                  HexText(level, 2));
    run.Fact("calls", std::to_string(calls));
    run.result.finding = "one call of the routine, request cancelled";
    if (calls == 0)
        run.Fail("no call of the routine within 1 s: is pin A15 joined to INT#?");
    else if (calls > 1)
        run.Fail(std::to_string(calls) + " calls of the routine, one expected");
    else if (status & kInterruptActive)
        run.Fail("the request stays active after it was answered");
}

}  // namespace board
