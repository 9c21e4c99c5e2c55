// The configuration-space and I2C byte panels end to end: typed through the
// hex-key filter or pasted, read and written on the simulated card, with
// every message box as the user sees it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "resource.h"

namespace {

using e2e::Narrow;
using e2e::TraceCall;

const char kBadCharacters[] = "您输入的字符有误，请输入0~9,a~f,A~F之间的十六进制数!";

class Panels : public testing::Test {
protected:
    void Start(const std::string &config, int index)
    {
        ASSERT_TRUE(app.Launch(config)) << app.Error();
        app.Select(IDC_DEVICE_COMBO, index);
        Do(IDC_OPEN, "open");
        ASSERT_FALSE(app.Enabled(IDC_OPEN)) << "device " << index << " did not open";
    }
    void Do(int id, const char *what)
    {
        app.Click(id);
        ASSERT_TRUE(app.Settle()) << "the program stopped answering after " << what;
    }
    // Clicks `id` with the two boxes holding these texts (pasted, so any
    // character gets in) and returns the library calls the click made.
    std::vector<TraceCall> Click(int id, int addressBox, const wchar_t *address, int dataBox,
                                 const wchar_t *data)
    {
        app.SetText(addressBox, address);
        app.SetText(dataBox, data);
        size_t before = app.Trace().size();
        app.Click(id);
        EXPECT_TRUE(app.Settle());
        std::vector<TraceCall> calls = app.Trace();
        return std::vector<TraceCall>(calls.begin() + before, calls.end());
    }
    void ExpectBox(const std::string &text, bool icon)
    {
        e2e::MessageBoxInfo box = app.WaitMessageBox();
        ASSERT_TRUE(box) << "no message box appeared; expected \"" << text << "\"";
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.hasIcon, icon) << "icon of \"" << text << "\"";
        EXPECT_EQ(box.owner, app.Main()) << "owner of \"" << text << "\"";
        ASSERT_TRUE(app.PressOk(box)) << "the box did not close";
    }
    void ExpectNoBox()
    {
        ASSERT_TRUE(app.Settle());
        EXPECT_TRUE(app.MessageBoxes().empty());
    }
    std::string Text(int id) const { return Narrow(app.Text(id)); }

    e2e::TzDebug app;
};

TEST_F(Panels, ConfigurationSpaceReadAndWrite)
{
    Start("", 1);  // the TZ810

    // Typed through the filter: the letter g never reaches the box.
    app.SetText(IDC_CFG_ADDR, L"");
    app.Type(IDC_CFG_ADDR, L"g2");
    size_t before = app.Trace().size();
    Do(IDC_CFG_READ, "read");
    ExpectNoBox();
    EXPECT_EQ(Text(IDC_CFG_ADDR), "2");
    EXPECT_EQ(Text(IDC_CFG_DATA), "30");
    auto reads = e2e::CallsNamed(app.Trace(), "TZ810mReadConfig", before);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].args, (std::vector<uint32_t>{1, 2}));

    auto calls = Click(IDC_CFG_WRITE, IDC_CFG_ADDR, L"4f", IDC_CFG_DATA, L"a");
    ExpectBox("写数据成功!", false);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "TZ810mWriteConfig");
    EXPECT_EQ(calls[0].args, (std::vector<uint32_t>{1, 0x4F, 0x0A}));
    calls = Click(IDC_CFG_READ, IDC_CFG_ADDR, L"4F", IDC_CFG_DATA, L"");
    ExpectNoBox();
    EXPECT_EQ(Text(IDC_CFG_DATA), "0A");
    EXPECT_EQ(Text(IDC_CFG_ADDR), "4F");

    // Refusals, none of which reaches the library.
    EXPECT_TRUE(Click(IDC_CFG_READ, IDC_CFG_ADDR, L"", IDC_CFG_DATA, L"0A").empty());
    ExpectBox("请输入地址!", false);
    EXPECT_TRUE(Click(IDC_CFG_READ, IDC_CFG_ADDR, L"x", IDC_CFG_DATA, L"0A").empty());
    ExpectBox(kBadCharacters, true);
    EXPECT_TRUE(Click(IDC_CFG_WRITE, IDC_CFG_ADDR, L"#", IDC_CFG_DATA, L"").empty());
    ExpectBox(kBadCharacters, true);
    EXPECT_TRUE(Click(IDC_CFG_WRITE, IDC_CFG_ADDR, L"40", IDC_CFG_DATA, L"").empty());
    ExpectBox("请输入地址和数据!", false);
    EXPECT_EQ(Text(IDC_CFG_DATA), "");
}

TEST_F(Panels, I2cBytesReadAndWrite)
{
    Start("", 0);

    auto calls = Click(IDC_I2C_READ, IDC_I2C_ADDR, L"5", IDC_I2C_DATA, L"");
    ExpectNoBox();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<uint32_t>{0, 0x50, 5}));
    EXPECT_EQ(Text(IDC_I2C_DATA), "7A");  // high byte of the VID

    calls = Click(IDC_I2C_WRITE, IDC_I2C_ADDR, L"c4", IDC_I2C_DATA, L"7");
    ExpectBox("写数据成功!", false);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "TZ810mWriteI2C");
    EXPECT_EQ(calls[0].args, (std::vector<uint32_t>{0, 0x50, 0xC4, 0x07}));
    Click(IDC_I2C_READ, IDC_I2C_ADDR, L"C4", IDC_I2C_DATA, L"");
    ExpectNoBox();
    EXPECT_EQ(Text(IDC_I2C_DATA), "07");
    EXPECT_EQ(Text(IDC_I2C_ADDR), "C4");

    EXPECT_TRUE(Click(IDC_I2C_READ, IDC_I2C_ADDR, L"", IDC_I2C_DATA, L"").empty());
    ExpectBox("请输入地址!", false);
    EXPECT_TRUE(Click(IDC_I2C_WRITE, IDC_I2C_ADDR, L"z", IDC_I2C_DATA, L"").empty());
    ExpectBox(kBadCharacters, true);
    EXPECT_TRUE(Click(IDC_I2C_WRITE, IDC_I2C_ADDR, L"", IDC_I2C_DATA, L"12").empty());
    ExpectBox("请输入地址和数据!", false);
}

TEST_F(Panels, LibraryFailuresAreReportedWithTheErrorIcon)
{
    // Reads 1-3 of configuration space are the enumeration's and the open's.
    Start("fault TZ810mReadConfig = from 4\n"
          "fault TZ810mWriteConfig = always\n"
          "fault TZ810mReadI2C = always\n"
          "fault TZ810mWriteI2C = always\n",
          0);
    EXPECT_EQ(Click(IDC_CFG_READ, IDC_CFG_ADDR, L"0", IDC_CFG_DATA, L"5A").size(), 1u);
    ExpectBox("读数据失败!", true);
    EXPECT_EQ(Text(IDC_CFG_DATA), "5A");
    EXPECT_EQ(Click(IDC_CFG_WRITE, IDC_CFG_ADDR, L"40", IDC_CFG_DATA, L"1").size(), 1u);
    ExpectBox("写数据失败!", true);
    EXPECT_EQ(Click(IDC_I2C_READ, IDC_I2C_ADDR, L"0", IDC_I2C_DATA, L"5A").size(), 1u);
    ExpectBox("读数据失败!", true);
    EXPECT_EQ(Text(IDC_I2C_DATA), "5A");
    EXPECT_EQ(Click(IDC_I2C_WRITE, IDC_I2C_ADDR, L"40", IDC_I2C_DATA, L"1").size(), 1u);
    ExpectBox("写数据失败!", true);
}

} // namespace
