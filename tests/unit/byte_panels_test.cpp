// I2C EEPROM and configuration space panels: refusals, calls, what they show and report.
#include "card_session.h"
#include "hex_box.h"

namespace {
using cardtest::Args, cardtest::CallsNamed;

class BytePanels : public cardtest::CardSession {
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
    const char *const bad = kBadCharacterMessage, *const noAddress = "请输入地址!",
                      *const noBoth = "请输入地址和数据!";

    const struct {
        int button;
        const char *address, *data, *message;
    } rows[] = {
        {IDC_I2C_READ, "g", "", bad},      {IDC_I2C_READ, "", "zz", noAddress},
        {IDC_I2C_WRITE, "x", "yy", bad},   {IDC_I2C_WRITE, "", "yy", bad},  // characters first
        {IDC_I2C_WRITE, "", "12", noBoth}, {IDC_I2C_WRITE, "12", "", noBoth},
        {IDC_CFG_READ, "-1", "", bad},     {IDC_CFG_READ, "", "", noAddress},
        {IDC_CFG_WRITE, "1:", "zz", bad},  {IDC_CFG_WRITE, "", "G", bad},
        {IDC_CFG_WRITE, "", "12", noBoth}, {IDC_CFG_WRITE, "40", "", noBoth}};

    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.button << " " << r.address << "/" << r.data);
        Do(r.button, r.address, r.data);
        ExpectRefused(r.message, r.message == bad ? Icon::Error : Icon::None);
    }
}

TEST_F(BytePanels, CallsWithTheCardIndexAndShowTwoDigits)
{
    // The TZ810 at index 1; of longer pasted text only the first two characters count.
    Open(1);
    tzsim::SetEepromByte(1, 0x9C, 0x0A);

    // clang-format off
    const struct {
        int button;
        const char *address, *data, *trace;
        const char *shown;  // the data box after a read, the message after a write
    } rows[] = {
        {IDC_I2C_READ, "9c", "", "TZ810mReadI2C(1,50,9c)", "0A"},
        {IDC_I2C_WRITE, "5", "a5x", "TZ810mWriteI2C(1,50,5,a5)", "写数据成功!"},
        {IDC_I2C_WRITE, "f1", "123", "TZ810mWriteI2C(1,50,f1,12)", "写数据成功!"},
        {IDC_CFG_READ, "2", "", "TZ810mReadConfig(1,2)", "30"},
        {IDC_CFG_READ, "3c5", "", "TZ810mReadConfig(1,3c)", "11"},
        {IDC_CFG_WRITE, "404", "5a7", "TZ810mWriteConfig(1,40,5a)", "写数据成功!"},
        // a read-only byte takes the write without changing; nothing reads it back
        {IDC_CFG_WRITE, "0", "FF", "TZ810mWriteConfig(1,0,ff)", "写数据成功!"},
    };

    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(r.address);
        Do(r.button, r.address, r.data);
        EXPECT_EQ(cardtest::Trace(), r.trace);
        if (r.button == IDC_I2C_READ || r.button == IDC_CFG_READ)
            EXPECT_EQ(port.Text(r.button == IDC_I2C_READ ? IDC_I2C_DATA : IDC_CFG_DATA), r.shown);
        else
            ExpectOnlyMessage(r.shown, Icon::None);
    }
    EXPECT_EQ(tzsim::EepromByte(1, 0x05), 0xA5);
    EXPECT_EQ(tzsim::ConfigByte(1, 0x40), 0x5A);
}

TEST_F(BytePanels, LibraryFailuresAreReportedWithTheErrorIcon)
{
    // The enumeration and the open made the first three configuration reads.
    Open(0, "fault TZ810mReadConfig = call 4\nfault TZ810mWriteConfig = always\neeprom 0 = absent");
    for (const auto &[button, message, box] :
         {std::tuple{IDC_CFG_READ, "读数据失败!", IDC_CFG_DATA},
          {IDC_CFG_WRITE, "写数据失败!", IDC_CFG_DATA},
          {IDC_I2C_READ, "读数据失败!", IDC_I2C_DATA},
          {IDC_I2C_WRITE, "写数据失败!", IDC_I2C_DATA}}) {
        Do(button, "10", "77");
        EXPECT_EQ(tzsim::Calls().size(), 1u) << button;
        ExpectOnlyMessage(message, Icon::Error);
        EXPECT_EQ(port.Text(box), "77");
    }
}
}  // namespace
