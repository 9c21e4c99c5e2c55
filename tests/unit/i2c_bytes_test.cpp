// I2C byte panel against the simulated bench: byte addresses and data as
// typed, device address 0x50 on every call, the order of the input checks
// and every message.
#include "block_fixture.h"

#include "messages.h"
#include "panels.h"

namespace {

class I2cBytes : public blocktest::Bench {
protected:
    // The open itself makes no I2C call.
    void OpenCard(int index, const std::string &config = "")
    {
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, blocktest::BindSimulator));
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        DispatchCommand(s, IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
        ASSERT_EQ(tzsim::CountCalls("TZ810mReadI2C") + tzsim::CountCalls("TZ810mWriteI2C"), 0u);
        port.messages.clear();
        tzsim::ClearCalls();
    }
    void Type(const std::string &address, const std::string &data)
    {
        port.c(IDC_I2C_ADDR).text = address;
        port.c(IDC_I2C_DATA).text = data;
    }
};

TEST_F(I2cBytes, ReadShowsTheEepromByteAtTheTypedAddress)
{
    OpenCard(1);  // the TZ810; its factory VID is 7A5D
    tzsim::SetEepromByte(1, 0x0F, 0x0A);
    tzsim::SetEepromByte(1, 0xAB, 0xC4);
    struct Case {
        const char *typed;
        UCHAR address;
        const char *shown;
    } cases[] = {{"4", 0x04, "5D"},  {"5", 0x05, "7A"}, {"0", 0x00, "78"},
                 {"f", 0x0F, "0A"},  {"0F", 0x0F, "0A"}, {"ab", 0xAB, "C4"},
                 {"ABx", 0xAB, "C4"}};  // no more than two characters are looked at
    for (const Case &c : cases) {
        tzsim::ClearCalls();
        Type(c.typed, "");
        I2cRead(s);
        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 1u) << c.typed;
        EXPECT_EQ(calls[0].name, "TZ810mReadI2C");
        EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{1, 0x50, c.address})) << c.typed;
        EXPECT_EQ(port.text(IDC_I2C_DATA), c.shown) << c.typed;
        EXPECT_EQ(port.text(IDC_I2C_ADDR), c.typed);
    }
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(I2cBytes, ReadRefusesBadCharactersAndTheEmptyAddressWithoutACall)
{
    OpenCard(0);
    Type("1z", "33");
    I2cRead(s);
    ExpectOnlyMessage(kBadCharacterMessage, Icon::Error);

    port.messages.clear();
    Type("", "33");
    I2cRead(s);
    ExpectOnlyMessage("请输入地址!", Icon::None);

    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_EQ(port.text(IDC_I2C_DATA), "33");
}

TEST_F(I2cBytes, FailedReadKeepsTheDataBox)
{
    OpenCard(0, "eeprom 0 = absent\n");
    Type("10", "44");
    I2cRead(s);
    ExpectOnlyMessage("读数据失败!", Icon::Error);
    EXPECT_EQ(port.text(IDC_I2C_DATA), "44");
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadI2C"), 1u);
}

TEST_F(I2cBytes, WriteStoresTheTypedByteAtTheTypedAddress)
{
    OpenCard(1);
    struct Case {
        const char *address, *data;
        UCHAR at, value;
    } cases[] = {{"20", "7", 0x20, 0x07}, {"f", "a5", 0x0F, 0xA5}, {"FF", "C3", 0xFF, 0xC3}};
    for (const Case &c : cases) {
        Reset();
        Type(c.address, c.data);
        I2cWrite(s);
        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 1u) << c.address;  // neither read back nor repeated
        EXPECT_EQ(calls[0].name, "TZ810mWriteI2C");
        EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{1, 0x50, c.at, c.value}));
        ExpectOnlyMessage("写数据成功!", Icon::None);
        EXPECT_EQ(tzsim::EepromByte(1, c.at), c.value);
        EXPECT_EQ(port.text(IDC_I2C_ADDR), c.address);
    }
    EXPECT_TRUE(port.sleeps.empty());
}

TEST_F(I2cBytes, WriteChecksBothBoxesForCharactersBeforeEmptiness)
{
    OpenCard(0);
    struct Case {
        const char *address, *data, *message;
        Icon icon;
    } cases[] = {
        {"g", "", kBadCharacterMessage, Icon::Error},
        {"", "+", kBadCharacterMessage, Icon::Error},
        {"10", "0x", kBadCharacterMessage, Icon::Error},
        {"", "12", "请输入地址和数据!", Icon::None},
        {"10", "", "请输入地址和数据!", Icon::None},
    };
    for (const Case &c : cases) {
        port.messages.clear();
        Type(c.address, c.data);
        I2cWrite(s);
        SCOPED_TRACE(std::string(c.address) + "/" + c.data);
        ExpectOnlyMessage(c.message, c.icon);
    }
    EXPECT_TRUE(tzsim::Calls().empty());
}

TEST_F(I2cBytes, RefusedWriteSaysSoWithTheErrorIcon)
{
    OpenCard(0, "fault TZ810mWriteI2C = always\n");
    const UCHAR before = tzsim::EepromByte(0, 0x30);
    Type("30", "01");
    I2cWrite(s);
    ExpectOnlyMessage("写数据失败!", Icon::Error);
    EXPECT_EQ(tzsim::EepromByte(0, 0x30), before);
}

} // namespace
