// A base address the last open could not read is never used: the open skips
// the pulse register, and every handler that would address the card through
// that base says so and touches nothing.
#include "block_fixture.h"
#include "messages.h"

namespace {

using blocktest::Bench;
using blocktest::CallsNamed;

class BaseAddress : public Bench {};

TEST_F(BaseAddress, HandlersRefuseWithoutTheBaseThisOpenCouldNotRead)
{
    // Card 1 is opened first, so its base is what a failed read leaves behind.
    Open(1, "fault TZ810mGetIoBaseAddr = call 2\nfault TZ820mGetMemBaseAddr = always\n");
    Click(IDC_CLOSE);
    Reset();
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);
    Click(IDC_OPEN);
    ASSERT_TRUE(s.conn.open);
    EXPECT_EQ(port.messages.size(), 2u);  // the two base failures, nothing of the pulse
    EXPECT_TRUE(CallsNamed("TZ810mReadIoByte").empty());
    EXPECT_TRUE(CallsNamed("TZ810mWriteIoByte").empty());
    EXPECT_EQ(port.text(IDC_PULSE_NOW), "");

    const struct {
        int button;
        int addressType;  // 0 offset, 1 direct
        const char *message;  // null: served as usual
    } rows[] = {
        {IDC_PULSE_SET, 0, kIoBaseFailed},  {IDC_IO_READ, 0, kIoBaseFailed},
        {IDC_IO_WRITE, 0, kIoBaseFailed},   {IDC_LEVEL_TEST, 0, kIoBaseFailed},
        {IDC_EDGE_TEST, 0, kIoBaseFailed},  {IDC_MEM_READ, 0, kMemBaseFailed},
        {IDC_MEM_WRITE, 0, kMemBaseFailed}, {IDC_IO_READ, 1, nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.button);
        for (int box : {IDC_IO_ADDR, IDC_IO_LENGTH, IDC_MEM_ADDR, IDC_MEM_LENGTH})
            Type(box, "10");
        Type(IDC_IO_DATA, "AB");
        Type(IDC_MEM_DATA, "AB");
        port.SelectComboEntry(IDC_IO_ADDR_TYPE, row.addressType);
        Reset();
        Click(row.button);
        if (row.message) {
            ExpectRefused(row.message);
        } else {
            EXPECT_EQ(OnlyBlockCall().args[2], 0x10u);
            EXPECT_TRUE(port.messages.empty());
        }
    }

    // The 32-bit switch keeps silent and leaves register and list alone.
    const auto entries = port.c(IDC_MEM_WIDTH).entries;
    port.SetChecked(IDC_MEM_32BIT, false);
    Reset();
    Click(IDC_MEM_32BIT);
    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(port.c(IDC_MEM_WIDTH).entries, entries);

    // The next open that reads the base clears the condition.
    Click(IDC_CLOSE);
    Click(IDC_OPEN);
    Reset();
    Click(IDC_PULSE_SET);
    ASSERT_EQ(CallsNamed("TZ810mWriteIoByte").size(), 1u);
    EXPECT_EQ(CallsNamed("TZ810mWriteIoByte")[0].args[1], blocktest::kIoBase0 + 0xFA);
}

} // namespace
