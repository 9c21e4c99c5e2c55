#include "store.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

#include "platform.h"

namespace tzsim {

namespace fs = std::filesystem;

namespace {

Layout *NewLayout(std::unique_ptr<Layout> &own)
{
    own.reset(new Layout());  // value-initialised: every byte zero
    Layout &l = *own;
    std::memcpy(l.header.magic, kMagic, sizeof kMagic);
    l.header.version = kLayoutVersion;
    l.header.size = sizeof(Layout);
    std::memset(l.flash, 0xFF, sizeof l.flash);  // erased
    return own.get();
}

// The file as a whole layout: the header of this version, every slot
// holding one of the chips it may hold.
bool Whole(const Layout &l)
{
    if (std::memcmp(l.header.magic, kMagic, sizeof kMagic) != 0 ||
        l.header.version != kLayoutVersion || l.header.size != sizeof(Layout))
        return false;
    for (const Slot &s : l.slots)
        if (s.chip > kSlotTZ820)
            return false;
    return true;
}

// Why a file is not a layout of this version, as the user reads it after
// "<file> ": an older or newer bench keeps its version in the name it is
// kept under.
struct Unfit {
    std::string why = "could not be read";
    std::string suffix = ".damaged";
};

Unfit Judge(const fs::path &path)
{
    std::string head;
    Unfit unfit;
    if (!ReadFilePrefix(path, sizeof(Header), head))
        return unfit;
    Header h{};
    std::memcpy(&h, head.data(), std::min(head.size(), sizeof h));
    std::uint32_t version = 0;
    if (head.size() == sizeof h && std::memcmp(h.magic, kMagic, sizeof kMagic) == 0)
        version = h.version;
    else if (head.rfind("tzsim-state 1\n", 0) == 0)
        version = 1;
    if (version != 0 && version != kLayoutVersion) {
        unfit.why = "holds a bench of version " + std::to_string(version);
        unfit.suffix = ".v" + std::to_string(version);
    }
    return unfit;
}

// The file goes aside whole, under a name no earlier one has. False when it
// cannot be moved.
bool MoveAside(const fs::path &path, const std::string &suffix, fs::path &aside)
{
    for (unsigned n = 1; n < 1000; ++n) {
        aside = path;
        aside += n == 1 ? suffix : suffix + "." + std::to_string(n);
        if (RenameNoReplace(path, aside))
            return true;
        std::error_code ec;
        if (!fs::exists(aside, ec))
            return false;  // the name was free: the file cannot be moved at all
    }
    return false;
}

}  // namespace

std::uint32_t JournalCheck(const Journal &j)
{
    std::uint32_t h = 2166136261u;
    const auto mix = [&h](const void *p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            h = (h ^ static_cast<const std::uint8_t *>(p)[i]) * 16777619u;
    };
    mix(&j.part, offsetof(Journal, check) - offsetof(Journal, part));
    mix(j.bytes, std::min<std::size_t>(j.length, sizeof j.bytes));
    return h;
}

std::unique_ptr<Store> Store::Open(const fs::path &path, std::vector<std::string> &notices)
{
    std::unique_ptr<Store> store(new Store());
    Store &s = *store;
    if (path.empty()) {
        s.layout_ = NewLayout(s.own_);
        return store;
    }
    // Making, judging and moving the file aside, once a load, under a lock
    // of the system's, which it frees when its holder dies.
    NamedLock lock(path);
    lock.Lock();
    const std::string name = path.u8string();
    std::error_code ec;
    for (int attempt = 0; attempt < 2 && !s.mapping_; ++attempt) {
        if (!fs::exists(path, ec)) {
            std::unique_ptr<Layout> fresh;
            NewLayout(fresh);
            WriteFileAtomically(
                path, std::string(reinterpret_cast<const char *>(fresh.get()), sizeof(Layout)));
        }
        s.mapping_ = SharedMapping::Map(path, sizeof(Layout));
        if (s.mapping_ && Whole(*static_cast<Layout *>(s.mapping_->Data())))
            break;
        s.mapping_.reset();
        if (!fs::exists(path, ec)) {
            notices.push_back(name + " could not be made; the bench starts fresh and is not saved");
            break;
        }
        const Unfit unfit = Judge(path);
        fs::path aside;
        if (!MoveAside(path, unfit.suffix, aside)) {
            notices.push_back(name + " " + unfit.why +
                              " nor moved aside; the bench starts fresh and is not saved");
            break;
        }
        notices.push_back(name + " " + unfit.why + "; kept as " + aside.u8string() +
                          "; the bench starts fresh");
    }
    lock.Unlock();
    if (s.mapping_) {
        s.layout_ = static_cast<Layout *>(s.mapping_->Data());
        s.Lock();  // mends what a program left, as every call would
        s.Unlock();
    } else {
        // Saving would overwrite the file that could not be moved.
        s.layout_ = NewLayout(s.own_);
    }
    return store;
}

Store::~Store() = default;

void Store::Lock()
{
    if (!mapping_)
        return;
    static const std::uint64_t self = ProcessIdentity();
    std::uint64_t *word = &layout_->lockOwner;
    for (unsigned tries = 1;; ++tries) {
        std::uint64_t held = 0;
        if (__atomic_compare_exchange_n(word, &held, self, false, __ATOMIC_ACQUIRE,
                                        __ATOMIC_RELAXED))
            break;
        // Whether the holder lives costs a call into the system: asked only
        // now and then.
        if (tries % 64 == 0 && !ProcessAlive(held) &&
            __atomic_compare_exchange_n(word, &held, self, false, __ATOMIC_ACQUIRE,
                                        __ATOMIC_RELAXED))
            break;
        if (tries < 16)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (layout_->journal.pending == kJournalPending)
        Replay();
}

void Store::Unlock()
{
    if (mapping_)
        __atomic_store_n(&layout_->lockOwner, std::uint64_t(0), __ATOMIC_RELEASE);
}

std::uint8_t *Store::Target(Part part, unsigned slot, std::uint32_t offset)
{
    if (part == kPartFlash)
        return layout_->flash + offset;
    return layout_->slots[slot].eeprom + offset;
}

void Store::WriteDurably(Part part, unsigned slot, std::uint32_t offset, const std::uint8_t *bytes,
                         std::uint32_t length)
{
    if (length == 0)
        return;
    if (!mapping_) {
        std::memcpy(Target(part, slot, offset), bytes, length);
        return;
    }
    Journal &j = layout_->journal;
    j.pending = 0;  // a half-made entry is never taken for a whole one
    j.part = part;
    j.slot = slot;
    j.offset = offset;
    j.length = length;
    std::memcpy(j.bytes, bytes, length);
    j.check = JournalCheck(j);
    // A program killed from here on leaves the entry for the next lock. Only
    // the compiler may reorder the stores: x86 keeps them in program order.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    j.pending = kJournalPending;
    FlushRange(&j, offsetof(Journal, bytes) + length);
    std::memcpy(Target(part, slot, offset), bytes, length);
    FlushRange(Target(part, slot, offset), length);
    // Left on the disk as it is, the entry would only be put in place
    // again: the next entry's flush takes it away.
    j.pending = 0;
}

// An entry whose bytes reached the disk whole is put in place; one cut short
// by a power loss is dropped, and its target keeps the old bytes.
void Store::Replay()
{
    Journal &j = layout_->journal;
    if (j.pending != kJournalPending)
        return;
    const std::uint32_t room = j.part == kPartFlash ? kFlashSize : 256;
    const bool whole = j.check == JournalCheck(j) &&
                       (j.part == kPartFlash || (j.part == kPartEeprom && j.slot < kSlots)) &&
                       j.offset <= room && j.length <= room - j.offset;
    if (whole) {
        std::uint8_t *at = Target(static_cast<Part>(j.part), j.slot, j.offset);
        std::memcpy(at, j.bytes, j.length);
        FlushRange(at, j.length);
    }
    j.pending = 0;
    FlushRange(&j.pending, sizeof j.pending);
}

void Store::Flush()
{
    FlushRange(layout_, sizeof(Layout));
}

void Store::FlushRange(const void *at, std::size_t length)
{
    if (mapping_ && !mapping_->Flush(at, length))
        DebugNote("cannot flush the bench to the disk");
}

}  // namespace tzsim
