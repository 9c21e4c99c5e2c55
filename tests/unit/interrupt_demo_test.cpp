// Interrupt demonstration against the simulated bench, whose interrupt
// thread really calls the routine. Counts are read after the bench has gone
// idle, which also orders them after the routine's writes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "block_fixture.h"

namespace {

using blocktest::BindSimulator;

constexpr int kIdleWaitMs = 5000;  // generous; normally reached at once

// Calls of `name` whose second argument is `address`.
std::size_t CallsAt(const std::string &name, std::uint32_t address)
{
    std::size_t n = 0;
    for (const auto &call : tzsim::Calls())
        if (call.name == name && call.args.size() > 1 && call.args[1] == address)
            ++n;
    return n;
}

class InterruptDemo : public ::testing::Test {
protected:
    FakePort port;
    FakeFiles files;
    Session s{port, files};

    // The bench thread must be gone before the session is.
    void TearDown() override { tzsim::Reset(); }

    void Boot(const std::string &config = "")
    {
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
    }
    void Open(int index = 0)
    {
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        DispatchCommand(s, IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        port.messages.clear();
    }
    // Presses a test button, lets the bench deliver what it raised and
    // hands the posted count messages to the dialog, as its loop would.
    void Press(int id)
    {
        int posted = port.postedCounts;
        DispatchCommand(s, id);
        ASSERT_TRUE(tzsim::WaitForInterrupts(kIdleWaitMs));
        for (; posted < port.postedCounts; ++posted)
            OnInterruptCountMessage(s);
    }
    std::uint8_t Register(unsigned offset) { return tzsim::IoWindowByte(s.conn.index, offset); }
};

TEST_F(InterruptDemo, EachTestCountsOneInterruptOnTheLibrarysThread)
{
    struct Case {
        int button, card;
        const char *notice;
        UCHAR armed;
        int counter, other;
    } cases[] = {
        {IDC_LEVEL_TEST, 0, "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断", 0xE2,
         IDC_LEVEL_COUNT, IDC_EDGE_COUNT},
        {IDC_EDGE_TEST, 1, "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断", 0xEA,
         IDC_EDGE_COUNT, IDC_LEVEL_COUNT}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        Boot();
        Open(c.card);
        // The GP0 steps wait for the notice to be closed.
        std::size_t gp0WritesAtNotice = 99;
        port.onMessage = [&](const FakeMessage &) {
            gp0WritesAtNotice = CallsAt("TZ810mWriteIoByte", s.conn.ioBase + 0xF1);
        };
        Press(c.button);
        port.onMessage = nullptr;

        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text, c.notice);
        EXPECT_EQ(port.messages[0].icon, Icon::None);
        EXPECT_EQ(port.messages[0].owner, Window::Main);
        EXPECT_EQ(gp0WritesAtNotice, 0u);

        EXPECT_EQ(Register(0xEB), c.armed);
        EXPECT_EQ(tzsim::RoutineCalls(), 1u);
        EXPECT_NE(tzsim::LastRoutineThread(), std::this_thread::get_id());
        EXPECT_EQ(port.postedCounts, 1);
        EXPECT_EQ(port.text(c.counter), "1");
        EXPECT_EQ(port.text(c.other), "");
        // The routine took GP0 high again and cleared the active bit.
        EXPECT_TRUE(Register(0xF1) & 0x80);
        EXPECT_EQ(Register(0xF8) & 0x04, 0);

        Press(c.button);
        EXPECT_EQ(tzsim::RoutineCalls(), 2u);
        EXPECT_EQ(port.text(c.counter), "2");
        DispatchCommand(s, IDC_CLOSE);
        port = FakePort();
        s.irq.mode = 0;
    }
}

TEST_F(InterruptDemo, SwitchingModesLeavesTheOtherCountAndCloseClearsBoth)
{
    Boot();
    Open();
    Press(IDC_LEVEL_TEST);
    Press(IDC_LEVEL_TEST);
    Press(IDC_EDGE_TEST);
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "2");
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "1");
    Press(IDC_EDGE_TEST);
    Press(IDC_LEVEL_TEST);
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "3");
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "2");
    EXPECT_EQ(s.irq.levelCount.load(), 3);
    EXPECT_EQ(s.irq.edgeCount.load(), 2);
    EXPECT_EQ(port.postedCounts, 5);

    DispatchCommand(s, IDC_CLOSE);
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "");
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "");
    EXPECT_EQ(s.irq.levelCount.load(), 0);
    EXPECT_EQ(s.irq.edgeCount.load(), 0);
    // The kind last chosen outlives the close.
    EXPECT_EQ(s.irq.mode.load(), 1);

    // After a new open the count starts again from 1.
    Open();
    Press(IDC_EDGE_TEST);
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "1");
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "");
}

TEST_F(InterruptDemo, InterruptBeforeAnyTestIsPostedButNotCounted)
{
    Boot();
    Open();
    // Arm and raise an edge behind the panel's back: mode is still 0.
    const ULONG io = s.conn.ioBase;
    ASSERT_TRUE(s.lib.TZ810mWriteIoByte(0, io + 0xEB, 0xEA));
    ASSERT_TRUE(s.lib.TZ810mWriteIoByte(0, io + 0xF1, 0x00));
    ASSERT_TRUE(s.lib.TZ810mWriteIoByte(0, io + 0xF1, 0x80));
    ASSERT_TRUE(tzsim::WaitForInterrupts(kIdleWaitMs));
    ASSERT_EQ(tzsim::RoutineCalls(), 1u);
    EXPECT_EQ(port.postedCounts, 1);
    OnInterruptCountMessage(s);
    EXPECT_EQ(s.irq.levelCount.load(), 0);
    EXPECT_EQ(s.irq.edgeCount.load(), 0);
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "");
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "");
}

TEST_F(InterruptDemo, NothingArrivesWithoutTheJumper)
{
    Boot("a15_int = off");
    Open();
    Press(IDC_LEVEL_TEST);
    Press(IDC_EDGE_TEST);
    EXPECT_EQ(port.messages.size(), 2u);  // the two notices, nothing more
    EXPECT_EQ(tzsim::RoutineCalls(), 0u);
    EXPECT_EQ(port.postedCounts, 0);
    EXPECT_EQ(port.text(IDC_LEVEL_COUNT), "");
    EXPECT_EQ(port.text(IDC_EDGE_COUNT), "");
}

TEST_F(InterruptDemo, TestsWithoutAnOpenDeviceChangeNothing)
{
    Boot();
    Open();
    Press(IDC_EDGE_TEST);
    DispatchCommand(s, IDC_CLOSE);
    port.messages.clear();
    tzsim::ClearCalls();

    // Level: the not-open message; edge: silence. Neither writes a register
    // nor changes the mode.
    DispatchCommand(s, IDC_LEVEL_TEST);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, "设备0没有打开");
    DispatchCommand(s, IDC_EDGE_TEST);
    EXPECT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 0u);
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadIoByte"), 0u);
    EXPECT_EQ(s.irq.mode.load(), 2);
}

TEST_F(InterruptDemo, RefusedArmingShowsItsErrorAndLeavesGp0Alone)
{
    // A TZ810 writes no register while opening, so the first write is the
    // test's own.
    const std::pair<int, const char *> tests[] = {{IDC_LEVEL_TEST, "电平中断设置失败！"},
                                                  {IDC_EDGE_TEST, "边沿中断设置失败！"}};
    const std::int32_t modes[] = {1, 2};
    for (int k = 0; k < 2; ++k) {
        Boot("fault TZ810mWriteIoByte = always");
        Open(1);
        s.irq.mode = 0;
        tzsim::ClearCalls();
        Press(tests[k].first);
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text, tests[k].second);
        EXPECT_EQ(port.messages[0].icon, Icon::Error);
        EXPECT_EQ(tzsim::CountCalls("TZ810mWriteIoByte"), 1u);
        EXPECT_EQ(CallsAt("TZ810mReadIoByte", s.conn.ioBase + 0xF1), 0u);
        // The mode has taken its new value all the same.
        EXPECT_EQ(s.irq.mode.load(), modes[k]);
        DispatchCommand(s, IDC_CLOSE);
    }
}

} // namespace
