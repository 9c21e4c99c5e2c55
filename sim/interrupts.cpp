#include "interrupts.h"

#include "bench.h"

namespace tzsim {

namespace {
// Pace of a level request that nobody answers.
constexpr auto kLevelRepeat = std::chrono::milliseconds(1);
}  // namespace

void InterruptThread::Start(Bench &bench)
{
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this, &bench] { Loop(bench); });
}

void InterruptThread::Stop(Bench &bench)
{
    std::unique_lock<std::mutex> lock(bench.mu);
    if (!thread_.joinable())
        return;
    stop_ = true;
    Kick();
    lock.unlock();
    thread_.join();
    lock.lock();
    thread_ = std::thread();
    stop_ = false;
    delivering_ = false;
}

void InterruptThread::Kick()
{
    workCv_.notify_all();
    idleCv_.notify_all();
}

// The card whose interrupt is due, lowest index first, or -1; wake becomes
// the time the next level repeat falls due. With bench.mu and the store held.
int InterruptThread::Next(Bench &bench, bool &edge, Clock::time_point &wake)
{
    const Clock::time_point now = Clock::now();
    const bool a15 = bench.cfg.a15ToInt;
    for (unsigned i = 0; i < kMaxCards; ++i) {
        const Card &c = bench.cards[i];
        if (!Deliverable(c, a15))
            continue;
        edge = c.pendingEdges > 0;
        if (edge || (LevelAsserted(c, a15) && c.nextLevel <= now))
            return static_cast<int>(i);
        if (LevelAsserted(c, a15) && c.nextLevel < wake)
            wake = c.nextLevel;
    }
    return -1;
}

void InterruptThread::Loop(Bench &bench)
{
    std::unique_lock<std::mutex> lock(bench.mu);
    while (!stop_) {
        bool edge = false;
        Clock::time_point wake = Clock::time_point::max();
        bench.store->Lock();
        const int chosen = Next(bench, edge, wake);
        bench.store->Unlock();
        if (chosen < 0) {
            idleCv_.notify_all();
            if (wake == Clock::time_point::max())
                workCv_.wait(lock);
            else
                workCv_.wait_until(lock, wake);
            continue;
        }
        Card &card = bench.cards[chosen];
        if (edge)
            --card.pendingEdges;
        else
            card.nextLevel = Clock::now() + kLevelRepeat;
        TZ_INT_ROUTINE routine = card.routine;
        ++routineCalls;
        lastRoutineThread = std::this_thread::get_id();
        delivering_ = true;
        char line[64];
        std::snprintf(line, sizeof line, "%.3f interrupt %d\n", bench.log.Millis(), chosen);
        bench.log.Trace(line);
        // The routine calls back into the library: never hold the lock.
        lock.unlock();
        routine();
        lock.lock();
        delivering_ = false;
        idleCv_.notify_all();
    }
}

bool InterruptThread::WaitIdle(Bench &bench, int timeoutMs, std::unique_lock<std::mutex> &lock)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return idleCv_.wait_until(lock, deadline, [&] {
        if (delivering_)
            return false;
        bool edge = false;
        Clock::time_point wake = Clock::time_point::max();
        bench.store->Lock();
        const int due = Next(bench, edge, wake);
        bench.store->Unlock();
        return due < 0 && wake == Clock::time_point::max();
    });
}

}  // namespace tzsim
