// The program's one interrupt watcher on the bench, whose thread calls the routine: a call that
// comes after its watcher is gone, or before the next one watches, is neither answered nor told.
#include <gtest/gtest.h>
#include "interrupts.h"
#include "sim_control.h"

namespace {
using board::InterruptMode;

void Tell(void *told)
{
    ++*static_cast<int *>(told);
}

class Watcher : public ::testing::Test {
  protected:
    DeviceLibrary lib;
    board::Card card;
    int told = 0;

    void SetUp() override
    {
        tzsim::Reset();
        tzsim::BindTable(lib);
        ASSERT_EQ(board::OpenCard(lib, 1, card), board::OpenStatus::Opened);
    }

    // The interrupt thread must be gone before the watcher is.
    void TearDown() override
    {
        tzsim::Reset();
    }

    // Armed for an edge and the routine registered, told through `told`.
    void Watch(board::InterruptWatcher &watcher)
    {
        watcher.SetNotify(Tell, &told);
        ASSERT_TRUE(watcher.Watch(card));
        ASSERT_TRUE(watcher.Arm(InterruptMode::Edge));
    }

    // An edge on GP0 as another program would make it, with no watcher's help.
    void RaiseEdge()
    {
        lib.TZ810mWriteIoByte(card.index, card.ioBase + board::kRegGp0, 0);
        lib.TZ810mWriteIoByte(card.index, card.ioBase + board::kRegGp0, board::kGp0High);
        ASSERT_TRUE(tzsim::WaitForInterrupts(5000));
    }

    bool RequestActive()
    {
        return (tzsim::IoWindowByte(card.index, board::kRegStatus) & board::kInterruptActive) != 0;
    }
};

TEST_F(Watcher, ACallAfterItIsGoneReachesNothing)
{
    {
        board::InterruptWatcher watcher;
        Watch(watcher);
    }
    RaiseEdge();
    EXPECT_EQ(tzsim::RoutineCalls(), 1u);
    EXPECT_EQ(told, 0);
    EXPECT_TRUE(RequestActive());
}

TEST_F(Watcher, TheNextOneStartsAfreshAndAnswersOnlyOnceItWatches)
{
    board::InterruptWatcher first;
    Watch(first);
    RaiseEdge();
    EXPECT_EQ(first.Calls(InterruptMode::Edge), 1u);
    EXPECT_FALSE(RequestActive());
    board::InterruptWatcher next(InterruptMode::Edge);
    EXPECT_EQ(next.Mode(), InterruptMode::Edge);
    EXPECT_EQ(next.Calls(InterruptMode::Edge), 0u);
    RaiseEdge();
    EXPECT_EQ(tzsim::RoutineCalls(), 2u);
    EXPECT_TRUE(RequestActive());
    tzsim::SetIoWindowByte(card.index, board::kRegStatus, 0);
    ASSERT_TRUE(next.Watch(card));
    RaiseEdge();
    EXPECT_EQ(next.Calls(InterruptMode::Edge), 1u);
    EXPECT_FALSE(RequestActive());
    EXPECT_EQ(told, 1);  // the first one's notice only
    EXPECT_TRUE(next.Unwatch());
    EXPECT_FALSE(tzsim::HasRoutine(card.index));
}
}  // namespace
