// The card model: what a TZ810 or TZ820 does at power-up, with its
// configuration space, with the registers of its I/O window and on the bus
// of its MEM window. Its state lives in the shared store; what one program's
// handle holds (open, flags, routine) lives here, per process.
#pragma once

#include <chrono>
#include <cstdint>

#include "config.h"
#include "store.h"
#include "tz810dll.h"

namespace tzsim {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kIoSpaceSize = 0x10000;
constexpr std::uint8_t kIdentityHeader = 0x78;

struct Card {
    CardConfig cfg;
    Slot *slot = nullptr;  // in the store, while present
    // This program's handle on the card.
    bool open = false;
    bool memEnabled = false;
    bool intEnabled = false;
    TZ_INT_ROUTINE routine = nullptr;
    std::uint32_t spiMode = 0;
    std::uint32_t pendingEdges = 0;
    Clock::time_point nextLevel{};
};

// Configuration bytes a write may change: command (0x04-0x05), cache line
// size (0x0C), latency timer (0x0D), interrupt line (0x3C) and the
// device-specific area 0x40-0xFF. Every other byte is read-only.
bool ConfigByteWritable(unsigned offset);

// A fresh 24C02 as the card leaves the factory.
void FactoryEeprom(const CardConfig &cfg, std::uint8_t *eeprom);

// Registers at their power-up values, MEM zero, configuration space with the
// identity the chip loads from its EEPROM.
void PowerUp(Card &card);

// Sets the configuration bytes that follow the bench configuration (BARs,
// class, interrupt pin): those a program cannot write and the chip does not
// load. True when any of them changed.
bool FollowConfiguration(Card &card);

// Whether the armed level interrupt is requested: GP0 low while A15 drives
// INT#.
bool LevelAsserted(const Card &card, bool a15ToInt);
// Whether this program's routine takes the card's interrupts.
bool Deliverable(const Card &card, bool a15ToInt);

// A write to a register of the I/O window, with what the chip does with it.
void WriteRegister(Card &card, unsigned offset, std::uint8_t value, bool a15ToInt);
// Re-evaluates the level request after a change of the registers.
void RegistersChanged(Card &card, bool a15ToInt);

// One MEM block access of `length` bytes at window offset `start`, `width`
// bytes a beat, across the board's address and data lines.
void MemAccess(Card &card, bool write, unsigned width, std::uint32_t start, std::uint8_t *bytes,
               std::uint32_t length);

}  // namespace tzsim
