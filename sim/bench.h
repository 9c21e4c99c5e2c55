// The simulated bench: up to 16 cards, the board's SPI flash, the rest of
// the I/O space, the interrupt thread, the call log and the state file. One
// mutex guards all of it; interrupt routines are called without it.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "sim_control.h"
#include "tz810dll.h"

namespace tzsim {

constexpr std::uint32_t kIoWindowSize = 0x100;
constexpr std::uint32_t kIoSpaceSize = 0x10000;
constexpr std::uint32_t kMemWindowSize = 0x8000;
constexpr std::uint32_t kFlashSize = 0x10000;
constexpr std::uint8_t kIdentityHeader = 0x78;

using Clock = std::chrono::steady_clock;

struct Card {
    CardConfig cfg;
    std::array<std::uint8_t, 256> config{};
    std::array<std::uint8_t, 256> eeprom{};
    std::array<std::uint8_t, kIoWindowSize> io{};
    std::vector<std::uint8_t> mem;
    bool open = false;
    bool memEnabled = false;
    bool intEnabled = false;
    TZ_INT_ROUTINE routine = nullptr;
    std::uint32_t spiMode = 0;
    std::uint32_t pendingEdges = 0;
    Clock::time_point nextLevel{};
};

// What a card holds only while it is powered: its configuration space, the
// registers of its I/O window and its MEM window, by card index. Restored
// from the state file unless the bench is power-cycled.
struct PoweredState {
    std::map<unsigned, std::array<std::uint8_t, 256>> config, io;
    std::map<unsigned, std::vector<std::uint8_t>> mem;
};

// Configuration bytes a write may change: command (0x04-0x05), cache line
// size (0x0C), latency timer (0x0D), interrupt line (0x3C) and the
// device-specific area 0x40-0xFF. Every other byte is read-only.
bool ConfigByteWritable(unsigned offset);

class Bench {
  public:
    // The one bench of the process, created on first use from the
    // environment and never destroyed (no thread joins at process exit).
    static Bench &Get();

    // Rebuilds everything from configuration text, as at library load.
    void Reset(const std::string &text);

    std::mutex mu;  // guards everything below

    BenchConfig cfg;
    Card cards[kMaxCards];
    std::vector<std::uint8_t> ioSpace;
    std::vector<std::uint8_t> flash;
    bool flashLocked = false;

    // Call log and fault counters.
    std::vector<Call> calls;
    bool keepCalls = true;
    std::map<std::string, std::uint32_t> callCounts;

    std::size_t routineCalls = 0;
    std::thread::id lastRoutineThread;

    // What the user was told since load (see TellUser).
    std::vector<std::string> notices;

    // Open, present card at index, or null.
    Card *OpenCard(std::uint32_t index);

    // One byte of I/O space as the library sees it: inside the window of an
    // open card (the addressed card first) it is that card's register.
    std::uint8_t IoRead(std::uint32_t index, std::uint32_t address);
    void IoWrite(std::uint32_t index, std::uint32_t address, std::uint8_t value);
    void WriteRegister(Card &card, unsigned offset, std::uint8_t value);
    // Re-evaluates the level request of a card after a raw change.
    void RegisterChanged(Card &card);

    void SaveState();  // after every write that the next run must see
    // Registers, MEM and writable config bytes change often (the interrupt
    // routine writes registers on every call): they are saved when a card
    // is closed, not on every write.
    bool unsavedRegisters = false;
    void Trace(const std::string &line);
    double Millis() const;

    // Starts the interrupt thread if it is not running yet.
    void EnsureInterruptThread();
    bool WaitIdle(int timeoutMs, std::unique_lock<std::mutex> &lock);
    void Kick();

  private:
    friend class CallRecord;
    Bench();
    void Load(BenchConfig config, const std::filesystem::path &statePath,
              const std::filesystem::path &tracePath, bool powerCycle);
    void StopInterruptThread();
    void InterruptLoop();
    bool Deliverable(const Card &card) const;
    bool LevelAsserted(const Card &card) const;
    bool WorkPending(Clock::time_point now, Clock::time_point *nextWake);
    void RestoreState(PoweredState &powered);
    void KeepDamagedState();
    void Notice(const std::string &text);
    void BuildConfigSpace(Card &card, unsigned index);

    Clock::time_point loadTime_;
    std::filesystem::path statePath_;
    std::FILE *trace_ = nullptr;

    std::thread thread_;
    bool stop_ = false;
    bool delivering_ = false;
    std::condition_variable workCv_;
    std::condition_variable idleCv_;
};

// Records one library call: counts it for fault injection, and on Finish
// appends it to the call log and the trace. Made with Bench::mu held.
class CallRecord {
  public:
    CallRecord(Bench &bench, const char *name, std::initializer_list<std::uint32_t> args);

    bool Faulted() const
    {
        return faulted_;
    }

    void Data(const void *bytes, std::size_t length);
    void Out(const void *bytes, std::size_t length);
    void OutValue(std::uint32_t value);
    std::uint32_t Finish(std::uint32_t result);

  private:
    Bench &bench_;
    Call call_;
    double millis_;
    bool faulted_ = false;
    bool outIsValue_ = false;
};

}  // namespace tzsim
