// Faults found in review, one test each.
#include "block_fixture.h"
#include "messages.h"
#include "panels.h"

namespace {
using blocktest::CallsNamed;

class Mends : public blocktest::Bench {};

// A base the last open could not read is never used: every handler through it refuses.
TEST_F(Mends, NoBaseTheOpenCouldNotRead)
{
    // Card 1 is opened first, so its base is what a failed read leaves behind.
    Open(1, "fault TZ810mGetIoBaseAddr = call 2\nfault TZ820mGetMemBaseAddr = always\n");
    Click(IDC_CLOSE);
    Reset();
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
    Click(IDC_OPEN);
    ASSERT_TRUE(s.conn.open);
    EXPECT_EQ(port.messages.size(), 2u);  // the two base failures, nothing of the pulse
    EXPECT_TRUE(CallsNamed("TZ810mReadIoByte").empty() && CallsNamed("TZ810mWriteIoByte").empty());
    EXPECT_EQ(port.text(IDC_PULSE_NOW), "");

    const struct {
        int button, addressType;
        const char *message;
    } rows[] = {{IDC_PULSE_SET, 0, kIoBaseFailed},  {IDC_IO_READ, 0, kIoBaseFailed},
                {IDC_IO_WRITE, 0, kIoBaseFailed},   {IDC_LEVEL_TEST, 0, kIoBaseFailed},
                {IDC_EDGE_TEST, 0, kIoBaseFailed},  {IDC_MEM_READ, 0, kMemBaseFailed},
                {IDC_MEM_WRITE, 0, kMemBaseFailed}, {IDC_IO_READ, 1, nullptr}};  // direct: served

    for (const auto &row : rows) {
        SCOPED_TRACE(row.button);
        for (int box : {IDC_IO_ADDR, IDC_IO_LENGTH, IDC_MEM_ADDR, IDC_MEM_LENGTH})
            Type(box, "10");
        Type(IDC_IO_DATA, "AB");
        Type(IDC_MEM_DATA, "AB");
        port.SelectComboEntry(IDC_IO_ADDR_TYPE, row.addressType);
        Reset();
        Click(row.button);
        if (row.message)
            ExpectRefused(row.message);
        else
            EXPECT_TRUE(OnlyBlockCall().args[2] == 0x10u && port.messages.empty());
    }
    // The 32-bit switch keeps silent and leaves register and list alone.
    const auto entries = port.c(IDC_MEM_WIDTH).entries;
    port.SetChecked(IDC_MEM_32BIT, false);
    Reset();
    Click(IDC_MEM_32BIT);
    EXPECT_TRUE(tzsim::Calls().empty() && port.messages.empty());
    EXPECT_EQ(port.c(IDC_MEM_WIDTH).entries, entries);
    // The next open that reads the base clears the condition.
    Click(IDC_CLOSE);
    Click(IDC_OPEN);
    Reset();
    Click(IDC_PULSE_SET);
    ASSERT_EQ(CallsNamed("TZ810mWriteIoByte").size(), 1u);
    EXPECT_EQ(CallsNamed("TZ810mWriteIoByte")[0].args[1], blocktest::kIoBase0 + 0xFA);
}

TEST_F(Mends, Tz820WhoseReopenFailsStaysClosed)
{
    // 16 enumeration opens; the 17th is the open, the 18th the re-open with the MEM window.
    Boot("fault TZ810mOpenDevice = call 18\n");
    const auto before = port.controls;
    Click(IDC_OPEN);
    ExpectOnlyMessage("无法打开设备0,请确保设备已经插入", Icon::Error);
    EXPECT_FALSE(s.conn.open || s.conn.chip != board::Chip::Unknown);
    EXPECT_EQ(blocktest::CallNames(),
              (std::vector<std::string>{"TZ810mOpenDevice", "TZ810mReadConfig", "TZ810mCloseDevice",
                                        "TZ810mOpenDevice"}));
    for (const auto &[id, control] : before)
        EXPECT_TRUE(port.enabled(id) == control.enabled && port.text(id) == control.text &&
                    port.c(id).checked == control.checked)
            << id;
    // Nothing of the failed attempt lingers: the next open is a whole one.
    Click(IDC_OPEN);
    EXPECT_TRUE(s.conn.open && s.conn.chip == board::Chip::TZ820);
    EXPECT_EQ(CallsNamed("TZ810mSetIntRoutine").size(), 1u);
}

// Flash only clears bits, so a write over unerased flash is complete only when it reads back.
TEST_F(Mends, FlashWriteCompleteOnlyWhenItReadsBack)
{
    std::vector<std::uint8_t> image(0x1801);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);

    const struct {  // clearedByte: set to 0 before the write, -1 none
        const char *config;
        int clearedByte;
        std::size_t size, reads;
        const char *message;
        Icon icon;
    } rows[] = {
        {"", -1, image.size(), 2, "写FLASH完成", Icon::None},
        {"", 0x1800, image.size(), 2, "写FLASH失败", Icon::Error},
        {"", 0x0FFF, image.size(), 1, "写FLASH失败", Icon::Error},
        {"fault TZ780mReadFlash = call 2\n", -1, image.size(), 2, "写FLASH失败", Icon::Error},
        {"", 0, 0, 0, "写FLASH完成", Icon::None}};

    for (const auto &row : rows) {
        SCOPED_TRACE(row.clearedByte);
        Open(0, row.config);
        if (row.clearedByte >= 0)
            tzsim::SetFlashByte(static_cast<unsigned>(row.clearedByte), 0x00);
        files.files["/img.bin"].assign(image.begin(), image.begin() + row.size);
        port.fileAnswers = {std::string("/img.bin")};
        Click(IDC_FLASH_WRITE);
        ExpectOnlyMessage(row.message, row.icon);
        const auto reads = CallsNamed("TZ780mReadFlash");
        ASSERT_EQ(reads.size(), row.reads);
        for (std::size_t k = 0; k < reads.size(); ++k)  // chunks of 0x1000, the last one short
            EXPECT_EQ(
                reads[k].args,
                (blocktest::Args{0, ULONG(k * 0x1000),
                                 ULONG(std::min<std::size_t>(0x1000, row.size - k * 0x1000))}));
        EXPECT_TRUE(CallsNamed("TZ780mEarseFlash").empty());
    }
}

// A handler resuming after its dialog was ended neither ends a newer one nor frees the button.
TEST_F(Mends, FailedIdentityReadOfAnEndedDialogLeavesTheNewOneAlone)
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
    EXPECT_EQ(port.messages.front().text, "读EEPROM失败,可能EEPROM损坏或没有连接");
    EXPECT_EQ(port.ended, (std::vector<std::pair<Window, int>>{{Window::Identity, 1}}));
    EXPECT_FALSE(port.enabled(IDC_IDENTITY));
}
}  // namespace
