// The two single-byte panels, I2C EEPROM and configuration space: refusals
// and their order, the calls they make, what they show and report.
#include "block_fixture.h"

#include "messages.h"

namespace {

using blocktest::Args;
using blocktest::CallsNamed;

class BytePanels : public blocktest::Bench {
protected:
    void Do(int button, const char *address, const char *data)
    {
        const bool i2c = button == IDC_I2C_READ || button == IDC_I2C_WRITE;
        Type(i2c ? IDC_I2C_ADDR : IDC_CFG_ADDR, address);
        Type(i2c ? IDC_I2C_DATA : IDC_CFG_DATA, data);
        Reset();
        Click(button);
    }
};

TEST_F(BytePanels, InputIsRefusedInOrderBeforeAnyCall)
{
    Open(1);
    const char *const bad = kBadCharacterMessage;
    const struct {
        int button;
        const char *address, *data, *message;
        Icon icon;
    } rows[] = {
        {IDC_I2C_READ, "g", "", bad, Icon::Error},
        {IDC_I2C_READ, "", "zz", "请输入地址!", Icon::None},
        {IDC_I2C_WRITE, "x", "yy", bad, Icon::Error},   // the address first
        {IDC_I2C_WRITE, "", "yy", bad, Icon::Error},    // characters before emptiness
        {IDC_I2C_WRITE, "", "12", "请输入地址和数据!", Icon::None},
        {IDC_I2C_WRITE, "12", "", "请输入地址和数据!", Icon::None},
        {IDC_CFG_READ, "-1", "", bad, Icon::Error},
        {IDC_CFG_READ, "", "", "请输入地址!", Icon::None},
        {IDC_CFG_WRITE, "1:", "zz", bad, Icon::Error},
        {IDC_CFG_WRITE, "", "G", bad, Icon::Error},
        {IDC_CFG_WRITE, "", "12", "请输入地址和数据!", Icon::None},
        {IDC_CFG_WRITE, "40", "", "请输入地址和数据!", Icon::None}};
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.button << " " << r.address << "/" << r.data);
        Do(r.button, r.address, r.data);
        ExpectRefused(r.message, r.icon);
    }
}

TEST_F(BytePanels, CallsWithTheCardIndexAndShowTwoDigits)
{
    // The TZ810 at index 1. Pasted text longer than the box holds: only
    // its first two characters count.
    Open(1);
    tzsim::SetEepromByte(1, 0x9C, 0x0A);
    Do(IDC_I2C_READ, "9c", "");
    EXPECT_EQ(CallsNamed("TZ810mReadI2C").at(0).args, (Args{1, 0x50, 0x9C}));
    EXPECT_EQ(port.text(IDC_I2C_DATA), "0A");
    EXPECT_TRUE(port.messages.empty());

    Do(IDC_I2C_WRITE, "5", "a5x");
    EXPECT_EQ(CallsNamed("TZ810mWriteI2C").at(0).args, (Args{1, 0x50, 0x05, 0xA5}));
    EXPECT_EQ(tzsim::EepromByte(1, 0x05), 0xA5);
    ExpectOnlyMessage("写数据成功!", Icon::None);
    Do(IDC_I2C_WRITE, "f1", "123");
    EXPECT_EQ(CallsNamed("TZ810mWriteI2C").at(0).args, (Args{1, 0x50, 0xF1, 0x12}));

    Do(IDC_CFG_READ, "2", "");
    EXPECT_EQ(CallsNamed("TZ810mReadConfig").at(0).args, (Args{1, 0x02}));
    EXPECT_EQ(port.text(IDC_CFG_DATA), "30");
    Do(IDC_CFG_READ, "3c5", "");
    EXPECT_EQ(CallsNamed("TZ810mReadConfig").at(0).args, (Args{1, 0x3C}));
    EXPECT_EQ(port.text(IDC_CFG_DATA), "11");

    Do(IDC_CFG_WRITE, "404", "5a7");
    EXPECT_EQ(CallsNamed("TZ810mWriteConfig").at(0).args, (Args{1, 0x40, 0x5A}));
    EXPECT_EQ(tzsim::ConfigByte(1, 0x40), 0x5A);
    ExpectOnlyMessage("写数据成功!", Icon::None);
    // A read-only byte takes the write without changing; nothing reads it back.
    Do(IDC_CFG_WRITE, "0", "FF");
    ExpectOnlyMessage("写数据成功!", Icon::None);
    EXPECT_EQ(tzsim::Calls().size(), 1u);
}

TEST_F(BytePanels, LibraryFailuresAreReportedWithTheErrorIcon)
{
    // The enumeration and the open made the first three configuration reads.
    Open(0, "fault TZ810mReadConfig = call 4\nfault TZ810mWriteConfig = always\n"
            "eeprom 0 = absent");
    const struct {
        int button;
        const char *message;
        int dataBox;
    } rows[] = {{IDC_CFG_READ, "读数据失败!", IDC_CFG_DATA},
                {IDC_CFG_WRITE, "写数据失败!", IDC_CFG_DATA},
                {IDC_I2C_READ, "读数据失败!", IDC_I2C_DATA},
                {IDC_I2C_WRITE, "写数据失败!", IDC_I2C_DATA}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.button);
        Do(r.button, "10", "77");
        EXPECT_EQ(tzsim::Calls().size(), 1u);
        ExpectOnlyMessage(r.message, Icon::Error);
        EXPECT_EQ(port.text(r.dataBox), "77");
    }
}

} // namespace
