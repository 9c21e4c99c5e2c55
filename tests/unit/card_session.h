// The main dialog's session on simulated cards, through in-memory ports. The default cards: a
// TZ820 at index 0 and a TZ810 at index 1. Calls and messages start empty after every set-up.
#pragma once
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include "fake_port.h"
#include "main_dialog.h"
#include "resource.h"
#include "session.h"
#include "sim_control.h"

namespace cardtest {
constexpr ULONG kIoBase0 = 0xD000;
constexpr ULONG kMemBase0 = 0xFEB00000u;
using Args = std::vector<std::uint32_t>;
using Strings = std::vector<std::string>;

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

// The calls so far, "Name(args)" each with the arguments in hexadecimal, one space apart.
inline std::string Trace()
{
    std::string out;
    for (const auto &call : tzsim::Calls()) {
        out += out.empty() ? "" : " ";
        out += call.name + "(";
        for (size_t i = 0; i < call.args.size(); ++i) {
            char hex[12];
            std::snprintf(hex, sizeof hex, i ? ",%x" : "%x", unsigned(call.args[i]));
            out += hex;
        }
        out += ")";
    }
    return out;
}

class CardSession : public ::testing::Test {
  protected:
    FakePort port;
    FakeFiles files;
    Session s{port, files};

    // The interrupt thread must be gone before the session is.
    void TearDown() override
    {
        tzsim::Reset();
    }

    // A fresh start of the program, nothing opened.
    void Boot(const std::string &config = "")
    {
        port = FakePort();
        s.conn = Connection();
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
        Reset();
    }

    void Open(int index = 0, const std::string &config = "")
    {
        Boot(config);
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        Click(IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        Reset();
    }

    void Click(int id)
    {
        DispatchCommand(s, id);
    }

    void Type(int id, const std::string &text)
    {
        port.SetText(id, text);
    }

    // Forgets the calls and messages of the previous click.
    void Reset()
    {
        tzsim::ClearCalls();
        port.messages.clear();
    }

    // The one block access of a click; fails the test unless there was exactly one.
    tzsim::Call OnlyBlockCall() const
    {
        auto calls = CallsNamed("TZ810mAccessBlock");
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? tzsim::Call{} : calls.front();
    }

    void ExpectOnlyMessage(const std::string &text, Icon icon, Window owner = Window::Main)
    {
        ASSERT_EQ(port.messages.size(), 1u) << "expected: " << text;
        EXPECT_EQ(port.messages[0].text, text);
        EXPECT_EQ(port.messages[0].icon, icon);
        EXPECT_EQ(port.messages[0].owner, owner);
    }

    // The shape of every refusal: one message and no library call at all.
    void ExpectRefused(const std::string &text, Icon icon = Icon::Error,
                       Window owner = Window::Main)
    {
        EXPECT_EQ(cardtest::Trace(), "");
        ExpectOnlyMessage(text, icon, owner);
    }
};
}  // namespace cardtest
