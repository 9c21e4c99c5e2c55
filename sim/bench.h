// The simulated bench as this program sees it: the configuration it loaded
// with, the shared store holding the cards and the flash, its own handles on
// the cards, the I/O space outside their windows, the interrupt thread and
// the call log. `mu` guards what is this program's; the store's lock,
// taken after it, guards what every program shares.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "card.h"
#include "config.h"
#include "interrupts.h"
#include "store.h"
#include "trace.h"

namespace tzsim {

class Bench {
  public:
    // The one bench of the process, made on first use from the environment
    // and never destroyed (no thread joins at process exit).
    static Bench &Get();

    // Rebuilds everything from configuration text, as at library load.
    void Reset(const std::string &text);

    std::mutex mu;
    BenchConfig cfg;
    std::unique_ptr<Store> store;
    Card cards[kMaxCards];
    std::vector<std::uint8_t> ioSpace;  // outside every window: this program's own
    CallLog log;
    InterruptThread interrupts;
    std::vector<std::string> notices;  // what the user was told since load

    Layout &Shared()
    {
        return store->Data();
    }

    // Open, present card at index, or null.
    Card *OpenCard(std::uint32_t index);

    // One byte of I/O space as the library sees it: inside the window of an
    // open card (the addressed card first) it is that card's register.
    std::uint8_t IoRead(std::uint32_t index, std::uint32_t address);
    void IoWrite(std::uint32_t index, std::uint32_t address, std::uint8_t value);
    // After a change of a card's registers that may raise or end a request.
    void RegistersChanged(Card &card);

  private:
    Bench();
    void Load(BenchConfig config, const std::filesystem::path &statePath,
              const std::filesystem::path &tracePath, bool powerCycle);
    void PowerCards(bool powerCycle);
};

// Both locks of a library call, taken in their one order.
class Held {
  public:
    explicit Held(Bench &bench) : bench_(bench), local_(bench.mu)
    {
        bench.store->Lock();
    }

    ~Held()
    {
        bench_.store->Unlock();
    }

    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;

  private:
    Bench &bench_;
    std::lock_guard<std::mutex> local_;
};

}  // namespace tzsim
