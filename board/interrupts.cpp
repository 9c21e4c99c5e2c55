#include "interrupts.h"

#include <atomic>

namespace board {

namespace {

// All the routine may touch.
struct State {
    std::atomic<const DeviceLibrary *> lib{nullptr};  // none: calls reach nothing
    std::atomic<ULONG> index{0}, ioBase{0};
    std::atomic<InterruptMode> mode{InterruptMode::None};
    std::atomic<unsigned> calls[3] = {};  // by mode
    std::atomic<InterruptWatcher::Notify> notify{nullptr};
    std::atomic<void *> context{nullptr};
};

State g_state;

// Read, change one bit, write back; the results are not examined, as in the
// chip's own answer to an interrupt.
void ChangeBit(const DeviceLibrary &lib, ULONG reg, UCHAR bit, bool set)
{
    const ULONG address = g_state.ioBase + reg;
    UCHAR value = 0;
    lib.TZ810mReadIoByte(g_state.index, address, &value);
    value = static_cast<UCHAR>(set ? (value | bit) : (value & ~bit));
    lib.TZ810mWriteIoByte(g_state.index, address, value);
}

// GP0 high ends a level request, clearing the active bit cancels an edge
// one; counted only once answered, so that whoever waits for the count may
// look at the chip at once; then told.
void TZAPI Routine(void)
{
    const DeviceLibrary *lib = g_state.lib;
    if (!lib)
        return;
    const InterruptMode mode = g_state.mode;
    if (mode == InterruptMode::Level)
        ChangeBit(*lib, kRegGp0, kGp0High, true);
    else if (mode == InterruptMode::Edge)
        ChangeBit(*lib, kRegStatus, kInterruptActive, false);
    ++g_state.calls[static_cast<int>(mode)];
    if (const InterruptWatcher::Notify notify = g_state.notify)
        notify(g_state.context);
}

}  // namespace

InterruptWatcher::InterruptWatcher(InterruptMode mode)
{
    g_state.lib = nullptr;
    SetNotify(nullptr, nullptr);
    g_state.mode = mode;
    ClearCalls();
}

InterruptWatcher::~InterruptWatcher()
{
    g_state.lib = nullptr;
}

void InterruptWatcher::SetNotify(Notify notify, void *context)
{
    g_state.context = context;
    g_state.notify = notify;
}

bool InterruptWatcher::Watch(const Card &card)
{
    g_state.index = card.index;
    g_state.ioBase = card.ioBase;
    g_state.lib = card.lib;
    return card.lib->TZ810mSetIntRoutine(card.index, Routine) != 0;
}

bool InterruptWatcher::Unwatch()
{
    return g_state.lib.load()->TZ810mSetIntRoutine(g_state.index, nullptr) != 0;
}

bool InterruptWatcher::Arm(InterruptMode mode)
{
    g_state.mode = mode;
    const UCHAR value = mode == InterruptMode::Level ? kArmLevel : kArmEdge;
    return g_state.lib.load()->TZ810mWriteIoByte(g_state.index, g_state.ioBase + kRegInterrupt,
                                                 value) != 0;
}

void InterruptWatcher::Fire() const
{
    const DeviceLibrary &lib = *g_state.lib.load();
    ChangeBit(lib, kRegGp0, kGp0High, true);
    ChangeBit(lib, kRegGp0, kGp0High, false);
    if (g_state.mode == InterruptMode::Edge)
        ChangeBit(lib, kRegGp0, kGp0High, true);
}

InterruptMode InterruptWatcher::Mode() const
{
    return g_state.mode;
}

unsigned InterruptWatcher::Calls(InterruptMode mode) const
{
    return g_state.calls[static_cast<int>(mode)];
}

void InterruptWatcher::ClearCalls()
{
    for (std::atomic<unsigned> &calls : g_state.calls)
        calls = 0;
}

}  // namespace board
