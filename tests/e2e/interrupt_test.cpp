// The interrupt demonstration end to end: the simulated library calls the
// program's routine on a thread of its own, and the counts must reach the
// two boxes through the posted count message.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;

const int kLevelCount = 1072;
const int kEdgeCount = 1145;
const int kLevelTest = 1144;
const int kEdgeTest = 1146;

const char kLevelNotice[] = "电平中断已启用，请确保INT#与A15连接,否则将不会产生中断";
const char kEdgeNotice[] = "边沿中断已启用，请确保INT#与A15连接,否则将不会产生中断";

class Interrupts : public testing::Test {
protected:
    e2e::TzDebug app;

    void Start(const std::string &config = "")
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
    }
    void Open()
    {
        app.Select(1074, 0);
        app.Click(1140);
        ASSERT_TRUE(app.Settle());
        ASSERT_TRUE(app.MessageBoxes().empty()) << "a box came up while opening";
    }
    std::string Text(int id) const { return Narrow(app.Text(id)); }

    void ExpectBox(const std::string &text, bool icon)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.hasIcon, icon) << "icon of \"" << text << "\"";
        EXPECT_EQ(box.owner, app.Main()) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
    }

    size_t Delivered() const { return e2e::CallsNamed(app.Trace(), "interrupt").size(); }

    // Presses a test button, closes its notice and waits until the library
    // has delivered `expected` interrupts in all and the dialog has handled
    // what they posted.
    void RunTest(int button, size_t expected)
    {
        app.Click(button);
        ExpectBox(button == kLevelTest ? kLevelNotice : kEdgeNotice, false);
        DWORD start = GetTickCount();
        while (Delivered() < expected && GetTickCount() - start < e2e::kWait)
            Sleep(20);
        ASSERT_EQ(Delivered(), expected) << e2e::DescribeTrace(app.Trace());
        ASSERT_TRUE(app.Settle());
    }
    // The count message is posted after the routine's register calls, so
    // give it the time to arrive before reading the box.
    std::string WaitText(int id, const std::string &want)
    {
        DWORD start = GetTickCount();
        std::string now = Text(id);
        while (now != want && GetTickCount() - start < e2e::kWait) {
            Sleep(20);
            app.Settle();
            now = Text(id);
        }
        return now;
    }
};

TEST_F(Interrupts, EachTestAddsOneToItsOwnBox)
{
    Start();
    Open();
    RunTest(kLevelTest, 1);
    EXPECT_EQ(WaitText(kLevelCount, "1"), "1");
    RunTest(kLevelTest, 2);
    EXPECT_EQ(WaitText(kLevelCount, "2"), "2");
    EXPECT_EQ(Text(kEdgeCount), "");

    RunTest(kEdgeTest, 3);
    EXPECT_EQ(WaitText(kEdgeCount, "1"), "1");
    EXPECT_EQ(Text(kLevelCount), "2");

    RunTest(kLevelTest, 4);
    EXPECT_EQ(WaitText(kLevelCount, "3"), "3");
    EXPECT_EQ(Text(kEdgeCount), "1");

    // The routine answered each one: one delivery per press, GP0 high.
    std::vector<TraceCall> arms;
    for (const TraceCall &c : e2e::CallsNamed(app.Trace(), "TZ810mWriteIoByte"))
        if ((c.Arg(1) & 0xFF) == 0xEB)
            arms.push_back(c);
    ASSERT_EQ(arms.size(), 4u);
    EXPECT_EQ(arms[0].Arg(2), 0xE2u);
    EXPECT_EQ(arms[2].Arg(2), 0xEAu);

    // Close empties both; after a new open the count starts from 1.
    app.Click(1139);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(Text(kLevelCount), "");
    EXPECT_EQ(Text(kEdgeCount), "");
    Open();
    RunTest(kEdgeTest, 5);
    EXPECT_EQ(WaitText(kEdgeCount, "1"), "1");
    EXPECT_EQ(Text(kLevelCount), "");
}

TEST_F(Interrupts, NoCountWithoutTheJumper)
{
    Start("a15_int = off");
    Open();
    RunTest(kLevelTest, 0);
    RunTest(kEdgeTest, 0);
    // The GP0 steps were made: the chip was driven, nothing came back.
    EXPECT_FALSE(e2e::CallsNamed(app.Trace(), "TZ810mReadIoByte").empty());
    EXPECT_EQ(Text(kLevelCount), "");
    EXPECT_EQ(Text(kEdgeCount), "");
}

TEST_F(Interrupts, TestsRefuseWithoutAnOpenDevice)
{
    Start();
    size_t before = app.Trace().size();
    // The buttons are disabled; their commands can still arrive.
    app.Click(kLevelTest);
    ExpectBox("设备0没有打开", false);
    app.Click(kEdgeTest);
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.MessageBoxes().empty());
    std::vector<TraceCall> trace = app.Trace();
    EXPECT_EQ(trace.size(), before) << e2e::DescribeTrace(trace, before);
}

} // namespace
