// Identity EEPROM dialog: set-up, block layout, bytewise write, refusals, ending.
#include <functional>
#include "card_session.h"
#include "hex_box.h"
#include "panels.h"

namespace {
using cardtest::Args, cardtest::CallsNamed, cardtest::Strings;
using Ended = std::vector<std::pair<Window, int>>;
const int kBoxes[] = {IDC_VID, IDC_DID, IDC_RID, IDC_SVID, IDC_SID};
const char kReadFailed[] = "读EEPROM失败,可能EEPROM损坏或没有连接";
// The first 32 bytes: VID 1234, DID 5678, RID 9A, SVID BCDE, SID F012, the rest fixed.
const UCHAR kBlock[0x20] = {0x78, 0, 0, 0,    0x34, 0x12, 0x78, 0x56,
                            0x9A, 0, 0, 0x10, 0xDE, 0xBC, 0x12, 0xF0};
const Strings kShown = {"1234", "5678", "9A", "BCDE", "F012"};

class Identity : public cardtest::CardSession {
  protected:
    // Runs the dialog from its button; `whileShown` runs in its modal loop.
    void Run(const std::function<void()> &whileShown)
    {
        port.onRunDialog = [&](Window w) {
            EXPECT_EQ(w, Window::Identity);
            IdentityDialogInit(s);
            if (port.IsShown(Window::Identity))
                whileShown();
        };
        Click(IDC_IDENTITY);
        port.onRunDialog = nullptr;
    }

    void TypeBoxes(const Strings &texts)
    {
        for (size_t i = 0; i < texts.size(); ++i)
            Type(kBoxes[i], texts[i]);
    }

    Strings Shown()
    {
        Strings out;
        for (int id : kBoxes)
            out.push_back(port.Text(id));
        return out;
    }
};

TEST_F(Identity, SetUpReadsTheWholeBlockAndShowsItHighByteFirst)
{
    Open(1);
    for (unsigned a = 0; a < 0x20; ++a)
        tzsim::SetEepromByte(1, a, a < 0x10 ? kBlock[a] : 0xEE);
    tzsim::SetEepromByte(1, 0, 0x00);  // the fixed bytes are not checked
    bool ran = false;
    Run([&] {
        ran = true;
        EXPECT_FALSE(port.controls[IDC_IDENTITY].enabled);
        for (int id : kBoxes) {
            EXPECT_EQ(port.controls[id].limit, id == IDC_RID ? 2 : 4) << id;
            EXPECT_TRUE(port.controls[id].hexFilter) << id;
        }
        const auto reads = CallsNamed("TZ810mReadI2C");
        ASSERT_EQ(reads.size(), 0x20u);
        for (unsigned a = 0; a < 0x20; ++a)
            EXPECT_EQ(reads[a].args, (Args{1, 0x50, a}));
        EXPECT_EQ(Shown(), kShown);
        EXPECT_EQ(port.messages.size(), 0u);
        EXPECT_FALSE(IdentityDialogCommand(s, IDC_VID));
        // Cancel ends the dialog and frees the button.
        Reset();
        EXPECT_TRUE(IdentityDialogCommand(s, 2));
        EXPECT_TRUE(port.controls[IDC_IDENTITY].enabled);
        EXPECT_EQ(port.ended, (Ended{{Window::Identity, 0}}));
        EXPECT_EQ(cardtest::Trace(), "");
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(port.dialogsRun, std::vector<Window>{Window::Identity});
}

TEST_F(Identity, WriteBuildsTheBlockAndWritesItBytewiseWithPausesReadShowsItAgain)
{
    Open(1);
    Run([&] {
        // Longer pasted text is cut to the box's size before it is checked.
        const Strings typed = {"12345", "5678", "9Ag", "bcde", "F012x"};
        TypeBoxes(typed);
        Reset();
        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_WRITE));
        const auto writes = CallsNamed("TZ810mWriteI2C");
        ASSERT_EQ(writes.size(), 0x20u);
        for (unsigned a = 0; a < 0x20; ++a)
            EXPECT_EQ(writes[a].args, (Args{1, 0x50, a, kBlock[a]})) << a;
        EXPECT_EQ(port.sleeps, std::vector<unsigned>(0x20, 20));
        ExpectOnlyMessage("写EEPROM完成", Icon::None, Window::Identity);
        EXPECT_EQ(Shown(), typed);
        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_READ));
        EXPECT_EQ(Shown(), kShown);
    });
}

TEST_F(Identity, WriteRefusesABoxThatIsEmptyOrNotHexadecimalAndStopsAtAFailingByte)
{
    Open(0, "fault TZ810mWriteI2C = call 10");
    Run([&] {
        for (size_t bad = 0; bad < std::size(kBoxes); ++bad) {
            for (const char *text : {"", "G234"}) {
                SCOPED_TRACE(testing::Message() << kBoxes[bad] << " " << text);
                Strings texts = kShown;
                texts[bad] = text;
                TypeBoxes(texts);
                Reset();
                IdentityDialogCommand(s, IDC_EEPROM_WRITE);
                ExpectRefused(kBadCharacterMessage, Icon::Error, Window::None);
            }
        }
        EXPECT_EQ(port.sleeps.size(), 0u);
        TypeBoxes(kShown);
        Reset();
        IdentityDialogCommand(s, IDC_EEPROM_WRITE);
        EXPECT_EQ(tzsim::CountCalls("TZ810mWriteI2C"), 10u);
        EXPECT_EQ(port.sleeps.size(), 9u);
        ExpectOnlyMessage("写EEPROM失败,可能EEPROM损坏或没有连接", Icon::None, Window::Identity);
        EXPECT_TRUE(port.IsShown(Window::Identity));
    });
}

// Write protection acknowledges every byte and keeps the old ones.
TEST_F(Identity, WriteThatTheEepromDidNotTakeFails)
{
    Open(0, "eeprom 0 = read_only");
    Run([&] {
        TypeBoxes(kShown);
        IdentityDialogCommand(s, IDC_EEPROM_WRITE);
        ExpectOnlyMessage("写EEPROM失败,可能EEPROM损坏或没有连接", Icon::None, Window::Identity);
    });
}

TEST_F(Identity, FailedReadEndsTheDialogAndFreesTheButtonWhileOpen)
{
    // At set-up (byte 5) and from the read button (byte 40 in all).
    for (int failingCall : {5, 40}) {
        SCOPED_TRACE(failingCall);
        Open(0, "fault TZ810mReadI2C = call " + std::to_string(failingCall));
        TypeBoxes({"a", "b", "c", "d", "e"});
        Run([&] {
            TypeBoxes({"a", "b", "c", "d", "e"});
            IdentityDialogCommand(s, IDC_EEPROM_READ);
        });
        EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C"), size_t(failingCall));
        ExpectOnlyMessage(kReadFailed, Icon::None, Window::Identity);
        EXPECT_EQ(port.ended, (Ended{{Window::Identity, 0}}));
        EXPECT_TRUE(port.controls[IDC_IDENTITY].enabled);
        EXPECT_EQ(Shown(), (Strings{"a", "b", "c", "d", "e"}));
    }
}

// A read resuming after its dialog was ended neither ends a newer one nor frees the button.
TEST_F(Identity, FailedReadOfAnEndedDialogLeavesTheNewOneAlone)
{
    Open(0, "fault TZ810mReadI2C = call 5\n");
    bool secondUp = false;
    port.onMessage = [&](const FakeMessage &) {
        if (secondUp)
            return;
        Click(IDC_CLOSE);  // ends this dialog
        Click(IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        secondUp = true;
        IdentityDialogInit(s);  // a second dialog, whose reads all succeed
    };
    port.onRunDialog = [&](Window) {
        IdentityDialogInit(s);
    };
    Click(IDC_IDENTITY);
    ASSERT_TRUE(secondUp);
    EXPECT_EQ(port.messages.front().text, kReadFailed);
    EXPECT_EQ(port.ended, (Ended{{Window::Identity, 1}}));
    EXPECT_FALSE(port.controls[IDC_IDENTITY].enabled);
}
}  // namespace
