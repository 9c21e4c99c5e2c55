// Interrupt demo on the bench, whose thread calls the routine; counts are read once it is idle.
#include <thread>
#include "card_session.h"

namespace {
using board::InterruptMode;
using Values = std::vector<std::uint32_t>;

class InterruptDemo : public cardtest::CardSession {
  protected:
    // Presses a test button, lets the bench deliver and hands the posted counts to the dialog.
    void Press(int id)
    {
        int posted = port.postedCounts;
        Click(id);
        ASSERT_TRUE(tzsim::WaitForInterrupts(5000));
        for (; posted < port.postedCounts; ++posted)
            OnInterruptCountMessage(s);
    }

    // Values written to the opened card's register at this offset.
    Values Writes(unsigned offset)
    {
        Values out;
        for (const auto &call : cardtest::CallsNamed("TZ810mWriteIoByte"))
            if (call.args[0] == s.conn.card.index && call.args[1] == s.conn.card.ioBase + offset)
                out.push_back(call.args[2]);
        return out;
    }
};

TEST_F(InterruptDemo, EachTestCountsOneInterruptFromTheLibrarysThread)
{
    // clang-format off
    const struct {
        int button, card;
        const char *notice;
        std::uint32_t armed;
        int counter, other;
        Values statusWrites;
    } rows[] = {
        {IDC_LEVEL_TEST, 0, "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断", 0xE2, IDC_LEVEL_COUNT, IDC_EDGE_COUNT, {}},
        {IDC_EDGE_TEST, 1, "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断", 0xEA, IDC_EDGE_COUNT, IDC_LEVEL_COUNT, {0x31}},
    };

    // clang-format on

    for (const auto &r : rows) {
        SCOPED_TRACE(r.notice);
        Open(r.card);
        // Other bits of the two registers must come through unchanged.
        tzsim::SetIoWindowByte(r.card, board::kRegGp0, 0x95);
        tzsim::SetIoWindowByte(r.card, board::kRegStatus, 0x31);
        size_t gp0WritesAtNotice = 99;
        port.onMessage = [&](const FakeMessage &) {
            gp0WritesAtNotice = Writes(board::kRegGp0).size();
        };
        Press(r.button);
        ExpectOnlyMessage(r.notice, Icon::None);
        EXPECT_EQ(gp0WritesAtNotice, 0u);
        port.onMessage = nullptr;  // it holds this pass's counter
        EXPECT_EQ(Writes(board::kRegInterrupt), Values{r.armed});
        EXPECT_EQ(Writes(board::kRegGp0),
                  (Values{0x95, 0x15, 0x95}));  // the routine's own answer last
        EXPECT_EQ(Writes(board::kRegStatus), r.statusWrites);
        EXPECT_EQ(tzsim::RoutineCalls(), 1u);
        EXPECT_NE(tzsim::LastRoutineThread(), std::this_thread::get_id());
        EXPECT_EQ(port.Text(r.counter), "1");
        EXPECT_EQ(port.Text(r.other), "");
        Press(r.button);
        EXPECT_EQ(port.Text(r.counter), "2");
        EXPECT_EQ(port.postedCounts, 2);
    }
    // Switching modes keeps the other count.
    Press(IDC_LEVEL_TEST);
    EXPECT_EQ(port.Text(IDC_LEVEL_COUNT), "1");
    EXPECT_EQ(port.Text(IDC_EDGE_COUNT), "2");
}

TEST_F(InterruptDemo, RefusedArmingShowsItsErrorAndLeavesGp0Alone)
{
    // A TZ810 writes no register while opening: the first write is the test's.
    // clang-format off
    const struct {
        int button;
        const char *message, *trace;
        InterruptMode mode;
    } rows[] = {
        {IDC_LEVEL_TEST, "电平中断设置失败！", "TZ810mWriteIoByte(1,d1eb,e2)", InterruptMode::Level},
        {IDC_EDGE_TEST, "边沿中断设置失败！", "TZ810mWriteIoByte(1,d1eb,ea)", InterruptMode::Edge},
    };

    // clang-format on
    for (const auto &[button, message, trace, mode] : rows) {
        Open(1, "fault TZ810mWriteIoByte = always");
        Click(button);
        ExpectOnlyMessage(message, Icon::Error);
        EXPECT_EQ(cardtest::Trace(), trace);
        EXPECT_EQ(s.irq.Mode(), mode);  // taken all the same
        // Closed, neither test changes the mode.
        Click(IDC_CLOSE);
        Click(IDC_LEVEL_TEST);
        Click(IDC_EDGE_TEST);
        EXPECT_EQ(s.irq.Mode(), mode);
    }
}
}  // namespace
