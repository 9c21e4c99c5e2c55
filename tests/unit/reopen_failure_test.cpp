// A TZ820 that cannot be opened again with its MEM window is reported as a
// card that cannot be opened, and the program stays closed.
#include "block_fixture.h"

namespace {

using blocktest::BindSimulator;
using blocktest::CallsNamed;

TEST(ReopenFailure, Tz820WhoseReopenFailsStaysClosed)
{
    FakePort port;
    FakeFiles files;
    Session s{port, files};
    // The enumeration makes 16 opens; the 17th is the open, the 18th the
    // re-open with the MEM window.
    tzsim::Reset("fault TZ810mOpenDevice = call 18\n");
    ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
    const auto before = port.controls;
    tzsim::ClearCalls();

    DispatchCommand(s, IDC_OPEN);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text, "无法打开设备0,请确保设备已经插入");
    EXPECT_EQ(port.lastMessage().icon, Icon::Error);
    EXPECT_EQ(port.lastMessage().owner, Window::Main);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(s.conn.chip, ChipType::None);
    std::vector<std::string> names;
    for (const auto &call : tzsim::Calls())
        names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"TZ810mOpenDevice", "TZ810mReadConfig",
                                                "TZ810mCloseDevice", "TZ810mOpenDevice"}));
    for (const auto &[id, control] : before) {
        EXPECT_EQ(port.enabled(id), control.enabled) << id;
        EXPECT_EQ(port.text(id), control.text) << id;
        EXPECT_EQ(port.c(id).checked, control.checked) << id;
    }
    EXPECT_TRUE(port.enabled(IDC_OPEN));

    // Nothing of the failed attempt lingers: the next open is a whole one.
    DispatchCommand(s, IDC_OPEN);
    EXPECT_TRUE(s.conn.open);
    EXPECT_EQ(s.conn.chip, ChipType::TZ820);
    EXPECT_EQ(CallsNamed("TZ810mSetIntRoutine").size(), 1u);
}

} // namespace
