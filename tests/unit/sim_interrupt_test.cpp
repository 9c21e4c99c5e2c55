// Interrupt delivery: the library calls the registered routine on a thread
// of its own, level-triggered while GP0 is low and edge-triggered once per
// rising edge, and only with A15 joined to INT#.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_control.h"

namespace {

// The routine has no context argument: it reaches the test through these.
DeviceLibrary g_lib;
ULONG g_ioBase = 0;
std::atomic<int> g_calls{0};
std::atomic<int> g_answerAfter{0};  // calls to let pass before answering
std::atomic<int> g_mode{0};         // 1 level: raise GP0; 2 edge: clear status

void TZAPI Routine()
{
    int n = ++g_calls;
    if (n <= g_answerAfter) return;
    UCHAR v = 0;
    if (g_mode == 1) {
        g_lib.TZ810mReadIoByte(0, g_ioBase + TZ_REG_GP0, &v);
        g_lib.TZ810mWriteIoByte(0, g_ioBase + TZ_REG_GP0, static_cast<UCHAR>(v | 0x80));
    } else if (g_mode == 2) {
        g_lib.TZ810mReadIoByte(0, g_ioBase + TZ_REG_STATUS, &v);
        g_lib.TZ810mWriteIoByte(0, g_ioBase + TZ_REG_STATUS, static_cast<UCHAR>(v & ~0x04));
    }
}

class SimInterrupt : public ::testing::Test {
protected:
    void SetUp() override { Start(""); }
    void TearDown() override { tzsim::Reset(""); }  // stops the interrupt thread
    void Start(const std::string &config)
    {
        tzsim::Reset(config);
        tzsim::BindTable(g_lib);
        g_calls = 0;
        g_answerAfter = 0;
        g_mode = 0;
        ASSERT_NE(g_lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
        ASSERT_TRUE(g_lib.TZ810mGetIoBaseAddr(0, &g_ioBase));
        ASSERT_TRUE(g_lib.TZ810mSetIntRoutine(0, &Routine));
    }
    void Write(unsigned reg, UCHAR v) { ASSERT_TRUE(g_lib.TZ810mWriteIoByte(0, g_ioBase + reg, v)); }
    void Gp0(bool high) { Write(TZ_REG_GP0, high ? 0x80 : 0x00); }
};

TEST_F(SimInterrupt, LevelRequestIsDeliveredOnALibraryThreadUntilGp0GoesHigh)
{
    g_mode = 1;
    Write(TZ_REG_INTERRUPT, 0xE2);
    Gp0(true);
    Gp0(false);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(tzsim::RoutineCalls(), 1u);
    EXPECT_NE(tzsim::LastRoutineThread(), std::thread::id());
    EXPECT_NE(tzsim::LastRoutineThread(), std::this_thread::get_id());
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_GP0) & 0x80, 0x80);
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0);

    // Each new low level is a new request.
    Gp0(false);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 2);
}

TEST_F(SimInterrupt, UnansweredLevelRequestRepeats)
{
    g_mode = 1;
    g_answerAfter = 3;
    Write(TZ_REG_INTERRUPT, 0xE2);
    Gp0(false);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 4);
}

TEST_F(SimInterrupt, LevelRequestNobodyAnswersKeepsTheLibraryBusyUntilGp0Rises)
{
    g_mode = 0;  // the routine does nothing
    Write(TZ_REG_INTERRUPT, 0xE2);
    Gp0(false);
    EXPECT_FALSE(tzsim::WaitForInterrupts(30));
    EXPECT_GE(g_calls, 2);
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0x04);
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    int settled = g_calls;
    EXPECT_TRUE(tzsim::WaitForInterrupts(20));
    EXPECT_EQ(g_calls, settled);
}

TEST_F(SimInterrupt, EdgeInterruptFiresOncePerRisingEdgeAndSetsTheActiveBit)
{
    g_mode = 0;  // the first delivery is left unanswered
    Write(TZ_REG_INTERRUPT, 0xEA);
    Gp0(true);  // already high: no edge
    Gp0(false);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 0);
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0x04);
    g_mode = 2;
    Gp0(false);
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0);  // cleared by the routine
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 2);
    Gp0(false);
    Gp0(true);
    Gp0(false);
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 4);
}

TEST_F(SimInterrupt, NothingIsDeliveredWithoutTheJumper)
{
    Start("a15_int = off\n");
    g_mode = 1;
    Write(TZ_REG_INTERRUPT, 0xE2);
    Gp0(false);
    Write(TZ_REG_INTERRUPT, 0xEA);
    Gp0(true);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(tzsim::IoWindowByte(0, TZ_REG_STATUS) & 0x04, 0);
}

TEST_F(SimInterrupt, NothingIsDeliveredToAClosedCardOrWithoutRoutine)
{
    g_lib.TZ810mCloseDevice(0);
    tzsim::SetIoWindowByte(0, TZ_REG_INTERRUPT, 0xE2);
    tzsim::SetIoWindowByte(0, TZ_REG_GP0, 0x00);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 0);

    // Open again: the routine went with the old handle until registered anew.
    ASSERT_NE(g_lib.TZ810mOpenDevice(0, 0, 1, 0), TZ_INVALID_HANDLE);
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 0);
    g_mode = 1;
    ASSERT_TRUE(g_lib.TZ810mSetIntRoutine(0, &Routine));
    ASSERT_TRUE(tzsim::WaitForInterrupts(2000));
    EXPECT_EQ(g_calls, 1);
}

}  // namespace
