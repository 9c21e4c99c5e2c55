// A bench with a card opened through the real dialog logic, for the tests of
// the panels. The call log starts empty after the
// open, so a test sees only what its own clicks did.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_port.h"
#include "main_dialog.h"
#include "resource.h"
#include "session.h"
#include "sim_control.h"

namespace blocktest {

inline bool BindSimulator(DeviceLibrary &table)
{
    tzsim::BindTable(table);
    return true;
}

inline std::vector<tzsim::Call> CallsNamed(const std::string &name)
{
    std::vector<tzsim::Call> out;
    for (const auto &call : tzsim::Calls())
        if (call.name == name)
            out.push_back(call);
    return out;
}

// Default bench: a TZ820 at index 0 (I/O base 0xD000, MEM base
// 0xFEB00000) and a TZ810 at index 1 (I/O base 0xD100).
constexpr ULONG kIoBase0 = 0xD000;
constexpr ULONG kIoBase1 = 0xD100;
constexpr ULONG kMemBase0 = 0xFEB00000u;

class Bench : public ::testing::Test {
protected:
    FakePort port;
    FakeFiles files;
    Session s{port, files};

    void Open(int index = 0, const std::string &config = "")
    {
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        DispatchCommand(s, IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        port.messages.clear();
        tzsim::ClearCalls();
    }
    void Click(int id) { DispatchCommand(s, id); }
    // Forgets the calls and messages of the previous click.
    void Reset()
    {
        tzsim::ClearCalls();
        port.messages.clear();
    }
    void Type(int id, const std::string &text) { port.SetText(id, text); }

    // The one block access of a click; fails the test unless there was
    // exactly one.
    tzsim::Call OnlyBlockCall() const
    {
        auto calls = CallsNamed("TZ810mAccessBlock");
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? tzsim::Call{} : calls.front();
    }
    // One message and no library call at all: the shape of every refusal.
    void ExpectRefused(const std::string &text)
    {
        EXPECT_TRUE(tzsim::Calls().empty()) << "first call: " << tzsim::Calls().front().name;
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].text, text);
        EXPECT_EQ(port.messages[0].icon, Icon::Error);
        EXPECT_EQ(port.messages[0].owner, Window::Main);
    }
    void ExpectOnlyMessage(const std::string &text, Icon icon)
    {
        ExpectOnlyMessage(Window::Main, text, icon);
    }
    void ExpectOnlyMessage(Window owner, const std::string &text, Icon icon)
    {
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].owner, owner);
        EXPECT_EQ(port.messages[0].text, text);
        EXPECT_EQ(port.messages[0].icon, icon);
    }
};

} // namespace blocktest
