// SPI panel against the simulated bench: mode codes, the flash
// identification at open, and the flash read, write and erase with their
// file dialogs and file results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block_fixture.h"

namespace {

using blocktest::BindSimulator;
using blocktest::CallsNamed;

// Keeps the order in which controls were switched.
class RecordingPort : public FakePort {
public:
    std::vector<std::pair<int, bool>> enables;
    void Enable(int id, bool on) override
    {
        enables.push_back({id, on});
        FakePort::Enable(id, on);
    }
};

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

const char kImage[] = "/bench/images/board.txt";

class SpiFlash : public ::testing::Test {
protected:
    RecordingPort port;
    FakeFiles files;
    Session s{port, files};

    void TearDown() override { tzsim::Reset(); }

    void Boot(const std::string &config)
    {
        tzsim::Reset(config);
        ASSERT_TRUE(InitialiseMainDialog(s, BindSimulator));
    }
    void OpenCard(int index)
    {
        port.SelectComboEntry(IDC_DEVICE_COMBO, index);
        port.enables.clear();
        DispatchCommand(s, IDC_OPEN);
        ASSERT_TRUE(s.conn.open);
    }
    // Opens a card and forgets what the open did.
    void Start(const std::string &config = "", int index = 0)
    {
        Boot(config);
        OpenCard(index);
        port.messages.clear();
        tzsim::ClearCalls();
    }
    void Press(int id) { DispatchCommand(s, id); }
    void ExpectOnlyMessage(const std::string &text, Icon icon)
    {
        ASSERT_EQ(port.messages.size(), 1u) << "last: " << port.messages.back().text;
        EXPECT_EQ(port.messages[0].text, text);
        EXPECT_EQ(port.messages[0].icon, icon) << text;
        EXPECT_EQ(port.messages[0].owner, Window::Main) << text;
    }
};

// --------------------------------------------------------------- SPI set-up

TEST_F(SpiFlash, ModeCodeFollowsBothCombosWithFallbackTwo)
{
    Start();
    struct Row {
        int mode, clock, code;
    };
    const Row rows[] = {{0, 0, 1},  {0, 1, 0},  {0, -1, 2}, {1, 0, 3},
                        {1, 1, 2},  {1, -1, 2}, {-1, 0, 2}, {-1, 1, 2}, {-1, -1, 2}};
    for (const Row &r : rows) {
        port.c(IDC_SPI_MODE).selection = r.mode;
        port.c(IDC_SPI_CLOCK).selection = r.clock;
        port.messages.clear();
        tzsim::ClearCalls();
        Press(IDC_SPI_SET);
        auto calls = CallsNamed("TZ810SetStream");
        ASSERT_EQ(calls.size(), 1u) << r.mode << "/" << r.clock;
        EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0, std::uint32_t(r.code)}))
            << "mode " << r.mode << " clock " << r.clock;
        ExpectOnlyMessage("设置SPI成功", Icon::None);
    }
}

TEST_F(SpiFlash, RefusedSetUpIsAPlainBoxOnTheOpenCard)
{
    Start("fault TZ810SetStream = always", 1);
    Press(IDC_SPI_SET);
    auto calls = CallsNamed("TZ810SetStream");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], 1u);
    ExpectOnlyMessage("设置SPI失败", Icon::None);
}

// ------------------------------------------------------- identification

TEST_F(SpiFlash, OpenAsksTheFlashForItsIdAndEnablesTheButtonsInOrder)
{
    Boot("");
    OpenCard(1);

    auto spi = CallsNamed("TZ810StreamSPI");
    ASSERT_EQ(spi.size(), 1u);
    EXPECT_EQ(spi[0].args, (std::vector<std::uint32_t>{1, 4, 4}));
    EXPECT_EQ(spi[0].data, (std::vector<std::uint8_t>{0x90, 0, 0, 0}));
    EXPECT_EQ(port.text(IDC_FLASH_STATUS), "FLASH状态正常");

    // The flash buttons come last, in the order read, write, erase.
    ASSERT_GE(port.enables.size(), 3u);
    std::vector<std::pair<int, bool>> tail(port.enables.end() - 3, port.enables.end());
    EXPECT_EQ(tail, (std::vector<std::pair<int, bool>>{
                        {IDC_FLASH_READ, true}, {IDC_FLASH_WRITE, true}, {IDC_FLASH_ERASE, true}}));
}

TEST_F(SpiFlash, UnidentifiedFlashIsMarkedButTheButtonsStillWork)
{
    // No flash on the bus, and an exchange that fails without touching the
    // reply: neither may read as the flash's answer.
    for (const char *config : {"flash = absent", "fault TZ810StreamSPI = always"}) {
        Start(config);
        EXPECT_EQ(port.text(IDC_FLASH_STATUS), "FLASH状态异常") << config;
        for (int id : {IDC_FLASH_READ, IDC_FLASH_WRITE, IDC_FLASH_ERASE})
            EXPECT_TRUE(port.enabled(id)) << config << " " << id;
        DispatchCommand(s, IDC_CLOSE);
        EXPECT_EQ(port.text(IDC_FLASH_STATUS), "");
    }
}

// ---------------------------------------------------------------- flash read

TEST_F(SpiFlash, ReadSavesTheWholeFlashThroughTheSaveDialog)
{
    Start("", 1);
    auto flash = Bytes(0x10000, 3);
    for (unsigned a = 0; a < flash.size(); ++a)
        tzsim::SetFlashByte(a, flash[a]);
    port.fileAnswers.push_back(std::string(kImage));
    Press(IDC_FLASH_READ);

    ASSERT_EQ(port.fileChoices.size(), 1u);
    const FileChoice &c = port.fileChoices[0];
    EXPECT_TRUE(c.save);
    EXPECT_EQ(c.owner, Window::None);
    EXPECT_EQ(c.title, "保存文件");
    EXPECT_EQ(c.filters, (std::vector<std::pair<std::string, std::string>>{
                             {"Images(*.txt)", "*.txt;"}, {"All Files(*.*)", "*.*"}}));
    EXPECT_EQ(c.defaultExtension, "txt");
    EXPECT_TRUE(c.startInCurrentFolder);
    EXPECT_TRUE(c.overwritePrompt);
    EXPECT_FALSE(c.readOnlyBox);

    // Sixteen chunks in ascending order, the flash as unit 0 whatever the
    // device index.
    auto reads = CallsNamed("TZ780mReadFlash");
    ASSERT_EQ(reads.size(), 16u);
    for (std::uint32_t k = 0; k < 16; ++k)
        EXPECT_EQ(reads[k].args, (std::vector<std::uint32_t>{0, k * 0x1000, 0x1000})) << k;
    EXPECT_EQ(files.files[kImage], flash);
    ExpectOnlyMessage("读FLASH成功", Icon::None);
}

TEST_F(SpiFlash, CancelledSaveDialogTouchesNothing)
{
    Start();
    Press(IDC_FLASH_READ);  // no answer queued: a cancel
    EXPECT_EQ(port.fileChoices.size(), 1u);
    EXPECT_TRUE(port.messages.empty());
    EXPECT_TRUE(files.files.empty());
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 0u);
}

TEST_F(SpiFlash, FailedChunkLeavesFilesAsTheyWere)
{
    Start("fault TZ780mReadFlash = call 5");
    const std::vector<std::uint8_t> earlier = {'o', 'l', 'd'};
    files.files[kImage] = earlier;
    port.fileAnswers.push_back(std::string(kImage));
    port.fileAnswers.push_back(std::string("/bench/images/new.txt"));

    Press(IDC_FLASH_READ);
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 5u);
    ExpectOnlyMessage("读FLASH失败", Icon::Error);
    EXPECT_EQ(files.files[kImage], earlier);

    // A new name is not created either. The fault hit only the fifth call:
    // this read goes through.
    port.messages.clear();
    Press(IDC_FLASH_READ);
    EXPECT_EQ(files.files.count("/bench/images/new.txt"), 1u);
    ExpectOnlyMessage("读FLASH成功", Icon::None);
}

TEST_F(SpiFlash, FileFailuresAfterAGoodRead)
{
    Start();
    // Cannot be created: silence. Failed or short write: the error box.
    files.forceWrite = FilePort::WriteResult::CreateFailed;
    port.fileAnswers.push_back(std::string(kImage));
    Press(IDC_FLASH_READ);
    EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), 16u);
    EXPECT_TRUE(port.messages.empty());

    files.forceWrite = FilePort::WriteResult::WriteFailed;
    port.fileAnswers.push_back(std::string(kImage));
    Press(IDC_FLASH_READ);
    ExpectOnlyMessage("写文件失败", Icon::Error);
}

// --------------------------------------------------------------- flash write

TEST_F(SpiFlash, WriteSendsTheFileFromAddressZeroWithoutErasing)
{
    Start("", 1);
    files.files[kImage] = {'a', 'b', 'c'};
    port.fileAnswers.push_back(std::string(kImage));
    Press(IDC_FLASH_WRITE);

    ASSERT_EQ(port.fileChoices.size(), 1u);
    const FileChoice &c = port.fileChoices[0];
    EXPECT_FALSE(c.save);
    EXPECT_EQ(c.owner, Window::Main);
    EXPECT_EQ(c.title, "选择即将写入的目标文件");
    EXPECT_EQ(c.filters, (std::vector<std::pair<std::string, std::string>>{
                             {"Images(*.TXT)", "*.txt; "}, {"All Files(*.*)", "*.*"}}));
    EXPECT_EQ(c.defaultExtension, "");
    EXPECT_FALSE(c.startInCurrentFolder);
    EXPECT_FALSE(c.overwritePrompt);
    EXPECT_TRUE(c.readOnlyBox);

    auto writes = CallsNamed("TZ780mWriteFlash");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].args, (std::vector<std::uint32_t>{0, 0, 3}));
    EXPECT_EQ(writes[0].data, (std::vector<std::uint8_t>{0x61, 0x62, 0x63}));
    EXPECT_EQ(tzsim::CountCalls("TZ780mEarseFlash"), 0u);
    EXPECT_EQ(tzsim::FlashByte(2), 0x63);
    EXPECT_EQ(tzsim::FlashByte(3), 0xFF);
    ExpectOnlyMessage("写FLASH完成", Icon::None);
}

TEST_F(SpiFlash, SizeBoundIsSixtyFourKilobytesInclusive)
{
    Start();
    struct Case {
        std::size_t size;
        const char *message;
        Icon icon;
        bool written;
    };
    const Case cases[] = {{0x10000, "写FLASH完成", Icon::None, true},
                          {0x10001, "只能打开小于64K的文件", Icon::Error, false},
                          {0, "写FLASH完成", Icon::None, true}};
    for (const Case &k : cases) {
        files.files[kImage] = Bytes(k.size, 1);
        port.fileAnswers.push_back(std::string(kImage));
        port.messages.clear();
        tzsim::ClearCalls();
        Press(IDC_FLASH_WRITE);
        ExpectOnlyMessage(k.message, k.icon);
        auto writes = CallsNamed("TZ780mWriteFlash");
        ASSERT_EQ(writes.size(), k.written ? 1u : 0u) << k.size;
        if (k.written) {
            EXPECT_EQ(writes[0].args, (std::vector<std::uint32_t>{0, 0, std::uint32_t(k.size)}));
            EXPECT_EQ(writes[0].data, files.files[kImage]);
            EXPECT_EQ(writes[0].result, 1u) << "the library refused length " << k.size;
        }
    }
}

TEST_F(SpiFlash, CancelKeepsTheRememberedImage)
{
    Start();
    // Nothing chosen yet: nothing to write.
    Press(IDC_FLASH_WRITE);
    ExpectOnlyMessage("请打开文件", Icon::Error);
    EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), 0u);

    files.files["/a.bin"] = {0x11};
    files.files["/b.bin"] = {0x22, 0x22};
    port.fileAnswers = {std::string("/a.bin"), std::nullopt, std::string("/b.bin"), std::nullopt};
    std::vector<std::vector<std::uint8_t>> sent;
    for (int press = 0; press < 4; ++press) {
        if (press == 2) {
            // Closing and opening again does not forget it.
            DispatchCommand(s, IDC_CLOSE);
            DispatchCommand(s, IDC_OPEN);
            ASSERT_TRUE(s.conn.open);
            tzsim::ClearCalls();
        }
        Press(IDC_FLASH_WRITE);
        auto writes = CallsNamed("TZ780mWriteFlash");
        ASSERT_FALSE(writes.empty()) << "press " << press;
        sent.push_back(writes.back().data);
    }
    EXPECT_EQ(sent, (std::vector<std::vector<std::uint8_t>>{
                        {0x11}, {0x11}, {0x22, 0x22}, {0x22, 0x22}}));
}

TEST_F(SpiFlash, ImageFileFailuresEachHaveTheirBox)
{
    Start();
    const std::pair<FilePort::ReadResult, const char *> cases[] = {
        {FilePort::ReadResult::OpenFailed, "创建/打开文件出错"},
        {FilePort::ReadResult::SizeFailed, "获取文件的大小错误"},
        {FilePort::ReadResult::TooLarge, "只能打开小于64K的文件"},
        {FilePort::ReadResult::AllocFailed, "分配缓冲区错误"},
        {FilePort::ReadResult::ReadFailed, "读文件出错"},
    };
    for (const auto &k : cases) {
        files.forceRead = k.first;
        port.fileAnswers.push_back(std::string(kImage));
        port.messages.clear();
        Press(IDC_FLASH_WRITE);
        ExpectOnlyMessage(k.second, Icon::Error);
    }
    EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), 0u);
}

TEST_F(SpiFlash, RefusedFlashWriteIsReported)
{
    Start("fault TZ780mWriteFlash = always");
    files.files[kImage] = {1, 2, 3};
    port.fileAnswers.push_back(std::string(kImage));
    Press(IDC_FLASH_WRITE);
    EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), 1u);
    ExpectOnlyMessage("写FLASH失败", Icon::Error);
}

// --------------------------------------------------------------- flash erase

TEST_F(SpiFlash, EraseUnlocksThenClearsTheWholeFlash)
{
    Start("", 1);
    tzsim::SetFlashByte(0, 0x00);
    tzsim::SetFlashByte(0xFFFF, 0x12);
    // Left locked by someone else: the erase must unlock it first.
    ASSERT_TRUE(s.lib.TZ780mLockFlash(0, 1));
    tzsim::ClearCalls();

    Press(IDC_FLASH_ERASE);
    auto calls = tzsim::Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "TZ780mLockFlash");
    EXPECT_EQ(calls[0].args, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(calls[1].name, "TZ780mEarseFlash");
    EXPECT_EQ(calls[1].args, (std::vector<std::uint32_t>{0, 0, 0x10000}));
    EXPECT_EQ(tzsim::FlashByte(0), 0xFF);
    EXPECT_EQ(tzsim::FlashByte(0xFFFF), 0xFF);
    ExpectOnlyMessage("擦除FLASH成功", Icon::None);
}

TEST_F(SpiFlash, RefusedEraseIsAnErrorEvenWhenTheLockFails)
{
    Start("fault TZ780mEarseFlash = always\nfault TZ780mLockFlash = always");
    Press(IDC_FLASH_ERASE);
    EXPECT_EQ(tzsim::CountCalls("TZ780mEarseFlash"), 1u);
    ExpectOnlyMessage("擦除FLASH失败", Icon::Error);
}

} // namespace
