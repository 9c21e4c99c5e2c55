// Identity EEPROM dialog against the simulated bench: set-up, the block
// layout both ways, the byte-by-byte write with its pauses, refusals, the
// three ways the dialog ends, and the identity the card takes from the
// EEPROM at the next power-up.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>

#include "block_fixture.h"
#include "messages.h"
#include "panels.h"

namespace {

using blocktest::BindSimulator;

const char kReadFailed[] = "读EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteFailed[] = "写EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteDone[] = "写EEPROM完成";
const int kBoxes[] = {IDC_VID, IDC_DID, IDC_RID, IDC_SVID, IDC_SID};

// Notes, at each pause, how many bytes the library had been asked to write.
class PausePort : public FakePort {
public:
    std::vector<std::size_t> writesAtPause;
    void Sleep(unsigned ms) override
    {
        FakePort::Sleep(ms);
        writesAtPause.push_back(tzsim::CountCalls("TZ810mWriteI2C"));
    }
};

class IdentityDialog : public ::testing::Test {
protected:
    PausePort port;
    FakeFiles files;
    Session s{port, files};

    void Start(const std::string &config = "")
    {
        // A fresh start of the program: nothing survives but the state file.
        port = PausePort();
        s.conn = Connection();
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
    }
    void OpenCard(int index, const std::string &config = "")
    {
        Start(config);
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        DispatchCommand(s, IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        port.messages.clear();
        tzsim::ClearCalls();
    }
    // Opens the dialog from the main dialog's button; `whileShown` runs in
    // its modal loop, unless the initialisation already ended it.
    void RunDialog(const std::function<void()> &whileShown = {})
    {
        port.onRunDialog = [&](Window w) {
            ASSERT_EQ(w, Window::Identity);
            IdentityDialogInit(s);
            if (port.IsShown(Window::Identity) && whileShown)
                whileShown();
        };
        DispatchCommand(s, IDC_IDENTITY);
        port.onRunDialog = nullptr;
    }
    void TypeIdentity(const char *vid, const char *did, const char *rid, const char *svid,
                      const char *sid)
    {
        port.c(IDC_VID).text = vid;
        port.c(IDC_DID).text = did;
        port.c(IDC_RID).text = rid;
        port.c(IDC_SVID).text = svid;
        port.c(IDC_SID).text = sid;
    }
    std::vector<std::string> Shown()
    {
        std::vector<std::string> out;
        for (int id : kBoxes)
            out.push_back(port.text(id));
        return out;
    }
    void FillEeprom(int index, UCHAR value)
    {
        for (unsigned a = 0; a < 256; ++a)
            tzsim::SetEepromByte(index, a, value);
    }
    void ExpectOnlyMessage(Window owner, const std::string &text, Icon icon)
    {
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.lastMessage().owner, owner);
        EXPECT_EQ(port.lastMessage().text, text);
        EXPECT_EQ(port.lastMessage().icon, icon);
    }
};

using Ended = std::vector<std::pair<Window, int>>;

TEST_F(IdentityDialog, OpeningSetsUpTheBoxesAndShowsTheBlockHighByteFirst)
{
    OpenCard(1);
    const UCHAR bytes[][2] = {{0x04, 0x21}, {0x05, 0x43}, {0x06, 0x65}, {0x07, 0x87},
                              {0x08, 0x0A}, {0x0C, 0xB1}, {0x0D, 0x02}, {0x0E, 0xF3},
                              {0x0F, 0xE4},
                              // the fixed bytes are read but not checked
                              {0x00, 0x00}, {0x0B, 0xEE}, {0x1F, 0x99}};
    for (const auto &b : bytes)
        tzsim::SetEepromByte(1, b[0], b[1]);

    bool sawDialog = false;
    RunDialog([&] {
        sawDialog = true;
        EXPECT_FALSE(port.enabled(IDC_IDENTITY));
        EXPECT_EQ(port.c(IDC_VID).limit, 4);
        EXPECT_EQ(port.c(IDC_DID).limit, 4);
        EXPECT_EQ(port.c(IDC_RID).limit, 2);
        EXPECT_EQ(port.c(IDC_SVID).limit, 4);
        EXPECT_EQ(port.c(IDC_SID).limit, 4);
    });
    ASSERT_TRUE(sawDialog);
    EXPECT_EQ(port.dialogsRun, std::vector<Window>{Window::Identity});
    EXPECT_EQ(port.hexFilterOrder.size(), 15u);  // ten boxes of the main dialog first
    EXPECT_EQ(std::vector<int>(port.hexFilterOrder.end() - 5, port.hexFilterOrder.end()),
              (std::vector<int>{IDC_DID, IDC_VID, IDC_RID, IDC_SID, IDC_SVID}));
    EXPECT_EQ(Shown(), (std::vector<std::string>{"4321", "8765", "0A", "02B1", "E4F3"}));

    auto calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 32u);
    for (std::uint32_t a = 0; a < 32; ++a) {
        EXPECT_EQ(calls[a].name, "TZ810mReadI2C");
        EXPECT_EQ(calls[a].args, (std::vector<std::uint32_t>{1, 0x50, a}));
    }
    EXPECT_TRUE(port.messages.empty());
    EXPECT_TRUE(port.sleeps.empty());
    EXPECT_TRUE(port.ended.empty());
}

TEST_F(IdentityDialog, ErasedEepromShowsAllDigitsF)
{
    OpenCard(0, "eeprom 0 = blank\n");
    RunDialog();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"FFFF", "FFFF", "FF", "FFFF", "FFFF"}));
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(IdentityDialog, WriteRebuildsTheWholeBlockPausingAfterEveryByte)
{
    OpenCard(0);
    FillEeprom(0, 0x55);
    const UCHAR expected[32] = {0x78, 0,    0,    0,    0x2B, 0x1A, 0xBC, 0x0A,
                                0x07, 0,    0,    0x10, 0x00, 0x00, 0xFF, 0xFF};
    RunDialog([&] {
        TypeIdentity("1A2B", "abc", "7", "0", "FFFF");
        tzsim::ClearCalls();
        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_WRITE));

        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 32u);
        for (std::uint32_t a = 0; a < 32; ++a) {
            EXPECT_EQ(calls[a].name, "TZ810mWriteI2C");
            EXPECT_EQ(calls[a].args, (std::vector<std::uint32_t>{0, 0x50, a, expected[a]})) << a;
            EXPECT_EQ(tzsim::EepromByte(0, a), expected[a]) << a;
        }
        EXPECT_EQ(tzsim::EepromByte(0, 0x20), 0x55);  // past the block: untouched
        EXPECT_EQ(port.sleeps, std::vector<unsigned>(32, 20));
        std::vector<std::size_t> afterEach;
        for (std::size_t n = 1; n <= 32; ++n)
            afterEach.push_back(n);
        EXPECT_EQ(port.writesAtPause, afterEach);
        ExpectOnlyMessage(Window::Identity, kWriteDone, Icon::None);
        // The boxes keep the text as typed.
        EXPECT_EQ(Shown(), (std::vector<std::string>{"1A2B", "abc", "7", "0", "FFFF"}));
        EXPECT_TRUE(port.ended.empty());

        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_READ));
        EXPECT_EQ(Shown(), (std::vector<std::string>{"1A2B", "0ABC", "07", "0000", "FFFF"}));
        EXPECT_FALSE(port.enabled(IDC_IDENTITY));
    });

    // The I2C panel sees the same bytes.
    port.c(IDC_I2C_ADDR).text = "0";
    I2cRead(s);
    EXPECT_EQ(port.text(IDC_I2C_DATA), "78");
    port.c(IDC_I2C_ADDR).text = "0B";
    I2cRead(s);
    EXPECT_EQ(port.text(IDC_I2C_DATA), "10");
}

TEST_F(IdentityDialog, WriteRefusesAnEmptyOrBadBoxBeforeWritingAnything)
{
    OpenCard(0);
    // Every character the box is read for counts: four of a 16-bit value,
    // two of the RID.
    const std::vector<const char *> badWord = {"", "-", "G1", " 1", "123G"};
    const std::vector<const char *> badByte = {"", "-", "1G", " 1"};
    RunDialog([&] {
        for (std::size_t box = 0; box < 5; ++box) {
            for (const char *text : kBoxes[box] == IDC_RID ? badByte : badWord) {
                TypeIdentity("1A2B", "5834", "01", "1A2B", "0001");
                port.c(kBoxes[box]).text = text;
                port.messages.clear();
                EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_WRITE));
                SCOPED_TRACE(std::to_string(kBoxes[box]) + " '" + text + "'");
                ExpectOnlyMessage(Window::None, kBadCharacterMessage, Icon::Error);
            }
        }
        EXPECT_EQ(tzsim::CountCalls("TZ810mWriteI2C"), 0u);
        EXPECT_TRUE(port.sleeps.empty());
        EXPECT_TRUE(port.ended.empty());
    });
}

TEST_F(IdentityDialog, WriteStopsAtTheFirstRefusedByteKeepingTheEarlierOnes)
{
    // Byte address 0x09 is the tenth write.
    OpenCard(0, "fault TZ810mWriteI2C = call 10\n");
    FillEeprom(0, 0x55);
    RunDialog([&] {
        TypeIdentity("1A2B", "5834", "01", "1A2B", "0001");
        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_WRITE));
        ExpectOnlyMessage(Window::Identity, kWriteFailed, Icon::None);
        EXPECT_EQ(tzsim::CountCalls("TZ810mWriteI2C"), 10u);
        EXPECT_EQ(port.sleeps.size(), 9u);
        EXPECT_TRUE(port.ended.empty());
        EXPECT_FALSE(port.enabled(IDC_IDENTITY));
    });
    const UCHAR written[9] = {0x78, 0, 0, 0, 0x2B, 0x1A, 0x34, 0x58, 0x01};
    for (unsigned a = 0; a < 9; ++a)
        EXPECT_EQ(tzsim::EepromByte(0, a), written[a]) << a;
    for (unsigned a = 9; a < 32; ++a)
        EXPECT_EQ(tzsim::EepromByte(0, a), 0x55) << a;
}

TEST_F(IdentityDialog, FailedReadAtOpeningEndsTheDialogAndGivesTheButtonBack)
{
    OpenCard(0, "fault TZ810mReadI2C = call 5\n");
    TypeIdentity("keep", "keep", "kk", "keep", "keep");
    port.onMessage = [&](const FakeMessage &) { EXPECT_TRUE(port.ended.empty()); };
    bool ranLoop = false;
    RunDialog([&] { ranLoop = true; });
    EXPECT_FALSE(ranLoop);
    ExpectOnlyMessage(Window::Identity, kReadFailed, Icon::None);
    EXPECT_EQ(port.ended, (Ended{{Window::Identity, 0}}));
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C"), 5u);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"keep", "keep", "kk", "keep", "keep"}));
    EXPECT_TRUE(port.enabled(IDC_IDENTITY));
}

TEST_F(IdentityDialog, FailedReadFromTheButtonEndsTheDialogAndGivesTheButtonBack)
{
    // The 33rd read is the first of the button's pass.
    OpenCard(0, "fault TZ810mReadI2C = call 40\n");
    RunDialog([&] {
        TypeIdentity("1111", "2222", "33", "4444", "5555");
        EXPECT_TRUE(IdentityDialogCommand(s, IDC_EEPROM_READ));
        ExpectOnlyMessage(Window::Identity, kReadFailed, Icon::None);
        EXPECT_EQ(port.ended, (Ended{{Window::Identity, 0}}));
        EXPECT_EQ(Shown(), (std::vector<std::string>{"1111", "2222", "33", "4444", "5555"}));
    });
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C"), 40u);
    EXPECT_TRUE(port.enabled(IDC_IDENTITY));
}

TEST_F(IdentityDialog, CancelGivesTheButtonBackAndOtherCommandsAreNotHandled)
{
    OpenCard(0);
    RunDialog([&] {
        tzsim::ClearCalls();
        EXPECT_FALSE(IdentityDialogCommand(s, 1));  // IDOK
        EXPECT_FALSE(IdentityDialogCommand(s, IDC_VID));
        EXPECT_FALSE(IdentityDialogCommand(s, IDC_I2C_READ));
        EXPECT_TRUE(tzsim::Calls().empty());
        EXPECT_TRUE(port.ended.empty());
        EXPECT_FALSE(port.enabled(IDC_IDENTITY));

        EXPECT_TRUE(IdentityDialogCommand(s, 2));  // IDCANCEL
        EXPECT_TRUE(port.enabled(IDC_IDENTITY));
        EXPECT_EQ(port.ended, (Ended{{Window::Identity, 0}}));
    });
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(IdentityDialog, ClosingTheDeviceEndsTheDialogAndALateReadLeavesTheButtonOff)
{
    OpenCard(0);
    RunDialog([&] {
        tzsim::ClearCalls();
        DispatchCommand(s, IDC_CLOSE);
        EXPECT_EQ(port.ended, (Ended{{Window::Identity, 1}}));
        EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C") + tzsim::CountCalls("TZ810mWriteI2C"), 0u);
        // A read still queued behind the close finds the card gone; the
        // button must stay off with the device closed.
        IdentityDialogCommand(s, IDC_EEPROM_READ);
        EXPECT_EQ(port.lastMessage().text, kReadFailed);
        EXPECT_FALSE(port.enabled(IDC_IDENTITY));
    });
    DispatchCommand(s, IDC_OPEN);
    EXPECT_TRUE(port.enabled(IDC_IDENTITY));
}

// The card loads its identity from the EEPROM at power-up only: a DID
// written now shows in configuration space after the next library load.
class IdentityPowerUp : public IdentityDialog {
protected:
    std::string statePath;
    std::string config;
    void SetUp() override
    {
        char dir[] = "/tmp/tzdebug-identity-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        statePath = std::string(dir) + "/state";
        config = "state_file = " + statePath + "\n";
    }
    void TearDown() override
    {
        tzsim::Reset();
        std::remove(statePath.c_str());
        rmdir(statePath.substr(0, statePath.rfind('/')).c_str());
    }
    void WriteIdentity(const char *did)
    {
        RunDialog([&] {
            TypeIdentity("7A5D", did, "02", "1234", "0005");
            IdentityDialogCommand(s, IDC_EEPROM_WRITE);
            IdentityDialogCommand(s, 2);
        });
        ASSERT_EQ(port.lastMessage().text, kWriteDone);
    }
};

TEST_F(IdentityPowerUp, UnrecognisedDeviceIdentifierTakesEffectAtTheNextStart)
{
    OpenCard(0, config);
    WriteIdentity("5899");
    EXPECT_EQ(tzsim::ConfigByte(0, 0x02), 0x34);  // not before the power-up

    Start(config);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x02), 0x99);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x03), 0x58);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x08), 0x02);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x2C), 0x34);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x2F), 0x00);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.lastMessage().text,
              "未能识别您的设备0，如果您更改了设备标识,即设备的配置寄存器中的02H空间，"
              "请将程序中相应的代码更改一下");
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
    DispatchCommand(s, IDC_OPEN);
    EXPECT_FALSE(s.conn.open);
    EXPECT_EQ(port.lastMessage().text,
              "未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
              "请将程序中相应的代码更改一下");
}

TEST_F(IdentityPowerUp, IdentityRestoredBeforeTheNextStartKeepsTheCard)
{
    OpenCard(0, config);
    WriteIdentity("5899");
    WriteIdentity("5834");

    OpenCard(0, config);  // a new start on the same state
    EXPECT_EQ(s.conn.chip, ChipType::TZ820);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x02), 0x34);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x2E), 0x05);
    RunDialog();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"7A5D", "5834", "02", "1234", "0005"}));
}

} // namespace
