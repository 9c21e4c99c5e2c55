// The identity dialog's failed-read box leaves the main dialog usable. A
// handler that resumes after its own dialog was ended from outside acts on
// that dialog only: it neither ends a newer one nor gives the button back.
#include "block_fixture.h"
#include "panels.h"

namespace {

using blocktest::Bench;

class IdentityWindow : public Bench {};

TEST_F(IdentityWindow, FailedReadOfAnEndedDialogLeavesTheNewOneAlone)
{
    Open(0, "fault TZ810mReadI2C = call 5\n");
    bool secondUp = false;
    port.onMessage = [&](const FakeMessage &) {
        if (secondUp)
            return;
        // While the box is up: close (which ends this dialog), open again
        // and bring up a second dialog, whose reads all succeed.
        Click(IDC_CLOSE);
        Click(IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        secondUp = true;
        IdentityDialogInit(s);
    };
    port.onRunDialog = [&](Window) { IdentityDialogInit(s); };
    Click(IDC_IDENTITY);

    ASSERT_TRUE(secondUp);
    EXPECT_EQ(port.messages.front().text, "读EEPROM失败,可能EEPROM损坏或没有连接");
    EXPECT_EQ(port.ended, (std::vector<std::pair<Window, int>>{{Window::Identity, 1}}));
    EXPECT_FALSE(port.enabled(IDC_IDENTITY));
}

} // namespace
