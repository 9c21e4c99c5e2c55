// Configuration-space panel against the simulated bench: offsets and data
// as typed, the order of the input checks, and every message.
#include "block_fixture.h"

#include "messages.h"
#include "panels.h"

namespace {

// Default bench: a TZ820 at 0, a TZ810 at 1.
class ConfigSpace : public blocktest::Bench {
protected:
    void OpenCard(int index, const std::string &config = "") { Open(index, config); }
    void Type(const std::string &address, const std::string &data)
    {
        port.c(IDC_CFG_ADDR).text = address;
        port.c(IDC_CFG_DATA).text = data;
    }
};

TEST_F(ConfigSpace, ReadShowsTheByteAtTheTypedOffsetAsTwoUpperCaseDigits)
{
    OpenCard(1);  // the TZ810: every call must carry index 1
    tzsim::SetConfigByte(1, 0x4A, 0x0A);
    tzsim::SetConfigByte(1, 0xFF, 0xFF);
    struct Case {
        const char *typed;
        ULONG offset;
        const char *shown;
    } cases[] = {{"2", 0x02, "30"},  {"02", 0x02, "30"}, {"4a", 0x4A, "0A"},
                 {"4A", 0x4A, "0A"}, {"ff", 0xFF, "FF"}, {"a", 0x0A, "80"},
                 {"02zz", 0x02, "30"}};  // no more than two characters are looked at
    for (const Case &c : cases) {
        tzsim::ClearCalls();
        Type(c.typed, "xx");
        ConfigRead(s);
        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 1u) << c.typed;
        EXPECT_EQ(calls[0].name, "TZ810mReadConfig");
        EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{1, c.offset})) << c.typed;
        EXPECT_EQ(port.text(IDC_CFG_DATA), c.shown) << c.typed;
        EXPECT_EQ(port.text(IDC_CFG_ADDR), c.typed);
    }
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(ConfigSpace, ReadRefusesBadCharactersBeforeAnEmptyBoxAndCallsNothing)
{
    OpenCard(0);
    Type("g1", "55");
    ConfigRead(s);
    ExpectOnlyMessage(kBadCharacterMessage, Icon::Error);

    port.messages.clear();
    Type("", "55");
    ConfigRead(s);
    ExpectOnlyMessage("请输入地址!", Icon::None);

    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_EQ(port.text(IDC_CFG_DATA), "55");
}

TEST_F(ConfigSpace, FailedReadKeepsTheDataBox)
{
    // Calls 1-3 are the chip-type reads of the enumeration (two cards) and
    // of the open.
    OpenCard(0, "fault TZ810mReadConfig = call 4\n");
    Type("3C", "5A");
    ConfigRead(s);
    ExpectOnlyMessage("读数据失败!", Icon::Error);
    EXPECT_EQ(port.text(IDC_CFG_DATA), "5A");
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadConfig"), 1u);
}

TEST_F(ConfigSpace, WriteTakesTheOffsetAsTypedAndTheFirstTwoDataDigits)
{
    OpenCard(1);
    struct Case {
        const char *address, *data;
        ULONG offset;
        UCHAR value;
    } cases[] = {{"40", "5", 0x40, 0x05}, {"41", "a5", 0x41, 0xA5},
                 {"f", "A5", 0x0F, 0xA5}, {"3c", "0b", 0x3C, 0x0B}};
    for (const Case &c : cases) {
        Reset();
        Type(c.address, c.data);
        ConfigWrite(s);
        auto calls = tzsim::Calls();
        ASSERT_EQ(calls.size(), 1u) << c.address;
        EXPECT_EQ(calls[0].name, "TZ810mWriteConfig");
        EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{1, c.offset, c.value})) << c.address;
        ExpectOnlyMessage("写数据成功!", Icon::None);
        EXPECT_EQ(port.text(IDC_CFG_ADDR), c.address);
    }
    EXPECT_EQ(tzsim::ConfigByte(1, 0x40), 0x05);
    EXPECT_EQ(tzsim::ConfigByte(1, 0x41), 0xA5);
    EXPECT_EQ(tzsim::ConfigByte(1, 0x3C), 0x0B);
}

TEST_F(ConfigSpace, WriteToAReadOnlyByteIsStillASuccessAndIsNotReadBack)
{
    OpenCard(0);
    Type("02", "99");
    ConfigWrite(s);
    ExpectOnlyMessage("写数据成功!", Icon::None);
    EXPECT_EQ(tzsim::ConfigByte(0, 0x02), 0x34);
    EXPECT_EQ(tzsim::CountCalls("TZ810mReadConfig"), 0u);
    EXPECT_EQ(port.text(IDC_CFG_DATA), "99");
}

TEST_F(ConfigSpace, WriteChecksBothBoxesForCharactersBeforeEmptiness)
{
    OpenCard(0);
    struct Case {
        const char *address, *data, *message;
        Icon icon;
    } cases[] = {
        {"x", "", kBadCharacterMessage, Icon::Error},   // address first, even with data empty
        {"", "q", kBadCharacterMessage, Icon::Error},   // data characters before the empty address
        {"40", "-1", kBadCharacterMessage, Icon::Error},
        {"", "12", "请输入地址和数据!", Icon::None},
        {"40", "", "请输入地址和数据!", Icon::None},
        {"", "", "请输入地址和数据!", Icon::None},
    };
    for (const Case &c : cases) {
        port.messages.clear();
        Type(c.address, c.data);
        ConfigWrite(s);
        SCOPED_TRACE(std::string(c.address) + "/" + c.data);
        ExpectOnlyMessage(c.message, c.icon);
    }
    EXPECT_TRUE(tzsim::Calls().empty());
}

TEST_F(ConfigSpace, RefusedWriteSaysSoWithTheErrorIcon)
{
    OpenCard(0, "fault TZ810mWriteConfig = always\n");
    Type("40", "12");
    ConfigWrite(s);
    ExpectOnlyMessage("写数据失败!", Icon::Error);
    EXPECT_EQ(tzsim::CountCalls("TZ810mWriteConfig"), 1u);
}

} // namespace
