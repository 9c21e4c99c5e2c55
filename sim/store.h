// The bench every program shares: one fixed layout of the cards' state and
// the board's flash, mapped from the state file by each process that loads
// the library, with one lock around each call that touches it. Without a
// file (the host's tests) the layout lives in this process alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tzsim {

constexpr unsigned kSlots = 16;
constexpr std::uint32_t kIoWindowSize = 0x100;
constexpr std::uint32_t kMemWindowSize = 0x8000;
constexpr std::uint32_t kFlashSize = 0x10000;

// What sits in a slot, as last powered up.
enum SlotChip : std::uint8_t {
    kSlotEmpty = 0,
    kSlotTZ810 = 1,
    kSlotTZ820 = 2
};

// One card as the board holds it while powered, and its EEPROM.
struct Slot {
    std::uint8_t chip;
    std::uint8_t reserved[3];
    std::uint8_t config[256];
    std::uint8_t io[kIoWindowSize];
    std::uint8_t eeprom[256];
    std::uint8_t mem[kMemWindowSize];
};

// A write that must survive a power loss of the PC whole or not at all: its
// new bytes are on the disk here before any of them reach their place.
struct Journal {
    std::uint32_t pending;  // kJournalPending while the entry is not yet in place
    std::uint32_t part;     // kPartFlash or kPartEeprom
    std::uint32_t slot;
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t check;  // of the fields above (pending aside) and the bytes
    std::uint8_t bytes[kFlashSize];
};

struct Header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t size;  // of the whole layout
};

struct Layout {
    Header header;
    // The program inside a call, as ProcessIdentity() gives it; 0 when none.
    std::uint64_t lockOwner;
    std::uint8_t flashLocked;
    std::uint8_t reserved[7];
    Journal journal;
    std::uint8_t flash[kFlashSize];
    Slot slots[kSlots];
};

constexpr char kMagic[8] = {'t', 'z', 's', 'i', 'm', 'b', 'e', 'n'};
constexpr std::uint32_t kLayoutVersion = 2;  // 1 was a text file
constexpr std::uint32_t kJournalPending = 0x50454E44;

enum Part : std::uint32_t {
    kPartFlash = 1,
    kPartEeprom = 2
};

// The same bytes on every build that maps the file, 32-bit and 64-bit alike.
static_assert(sizeof(Header) == 16, "layout changed: raise kLayoutVersion");
static_assert(sizeof(Slot) == 4 + 3 * 256 + kMemWindowSize, "layout changed");
static_assert(sizeof(Journal) == 24 + kFlashSize, "layout changed");
static_assert(offsetof(Layout, lockOwner) % 8 == 0, "the lock word is taken in one access");
static_assert(sizeof(Layout) == 32 + sizeof(Journal) + kFlashSize + kSlots * sizeof(Slot),
              "layout changed");

class SharedMapping;

class Store {
  public:
    // The layout of the file at path, made when there is none. A file that
    // is not a layout of this version is moved aside whole and a fresh one
    // made; notices says what the user must hear of it. An empty path, or a
    // file that can be neither mapped nor moved aside, gives a layout of
    // this process only.
    static std::unique_ptr<Store> Open(const std::filesystem::path &path,
                                       std::vector<std::string> &notices);
    ~Store();

    Layout &Data()
    {
        return *layout_;
    }

    // False for a layout of this process only.
    bool Shared() const
    {
        return mapping_ != nullptr;
    }

    // Held around every call that touches the layout: a word of the layout
    // itself, so that taking it costs no call into the system (under Wine a
    // kernel object is a round trip to its server). A program that died
    // holding it is found dead and its lock taken over, and a write it did
    // not finish is completed from the journal.
    void Lock();
    void Unlock();

    // Sets bytes of the flash or of a slot's EEPROM so that, once it
    // returns, a power loss cannot lose them nor leave part of them.
    void WriteDurably(Part part, unsigned slot, std::uint32_t offset, const std::uint8_t *bytes,
                      std::uint32_t length);
    // Puts what the registers and memory hold on the disk too.
    void Flush();

  private:
    Store() = default;
    std::uint8_t *Target(Part part, unsigned slot, std::uint32_t offset);
    void Replay();
    void FlushRange(const void *at, std::size_t length);

    Layout *layout_ = nullptr;
    std::unique_ptr<Layout> own_;
    std::unique_ptr<SharedMapping> mapping_;
};

// Checksum of a journal entry, as Store writes and checks it.
std::uint32_t JournalCheck(const Journal &journal);

}  // namespace tzsim
