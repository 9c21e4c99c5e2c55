// The library's interrupt thread: it calls the routine a program registered
// for each interrupt that program's own writes raise, never on the caller's
// thread and never with a lock held, so the routine may call back into the
// library.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace tzsim {

class Bench;

class InterruptThread {
  public:
    // Starts the thread if it is not running yet. With bench.mu held.
    void Start(Bench &bench);
    // Ends and joins it. Without bench.mu held.
    void Stop(Bench &bench);
    // Something changed that may call for a delivery.
    void Kick();
    // Until no delivery is pending or running; false after the timeout.
    bool WaitIdle(Bench &bench, int timeoutMs, std::unique_lock<std::mutex> &lock);

    std::size_t routineCalls = 0;
    std::thread::id lastRoutineThread;

  private:
    void Loop(Bench &bench);
    int Next(Bench &bench, bool &edge, std::chrono::steady_clock::time_point &wake);

    std::thread thread_;
    bool stop_ = false;
    bool delivering_ = false;
    std::condition_variable workCv_;
    std::condition_variable idleCv_;
};

}  // namespace tzsim
