// SPI panel: the mode codes, the flash identification made at open, and the
// flash read, write and erase with their file dialogs and file results.
#include <cstring>

#include "block_fixture.h"
#include "panels.h"

namespace {

using blocktest::Args;
using blocktest::CallNames;
using blocktest::CallsNamed;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;
using Filters = std::vector<std::pair<std::string, std::string>>;

const char kImage[] = "/bench/images/board.txt";

Bytes Pattern(std::size_t size)
{
    Bytes v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + 3);
    return v;
}

// A flash that answers the identification with the bytes of the test.
UCHAR g_reply[4];
BOOL TZAPI ReplyingStream(ULONG, ULONG, PVOID, PULONG, PVOID reply)
{
    std::memcpy(reply, g_reply, sizeof g_reply);
    return 1;
}

class SpiFlash : public blocktest::Bench {};

TEST_F(SpiFlash, ModeCodeFollowsBothCombosWithFallbackTwo)
{
    Open(1);
    const struct {
        int mode, clock;
        ULONG code;
    } rows[] = {{0, 0, 1},  {0, 1, 0},  {0, -1, 2}, {1, 0, 3}, {1, 1, 2},
                {1, -1, 2}, {-1, 0, 2}, {-1, 1, 2}, {2, 0, 2}, {0, 2, 2}};
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.mode << "/" << r.clock);
        port.c(IDC_SPI_MODE).selection = r.mode;
        port.c(IDC_SPI_CLOCK).selection = r.clock;
        Reset();
        Click(IDC_SPI_SET);
        EXPECT_EQ(CallsNamed("TZ810SetStream").at(0).args, (Args{1, r.code}));
        ExpectOnlyMessage("设置SPI成功", Icon::None);
    }
    Open(1, "fault TZ810SetStream = always");
    Click(IDC_SPI_SET);
    ExpectOnlyMessage("设置SPI失败", Icon::None);
}

TEST_F(SpiFlash, IdentificationAsksForTheIdAndChecksThreeBytesOfTheReply)
{
    Boot();
    port.SelectComboEntry(IDC_DEVICE_COMBO, 1);
    Click(IDC_OPEN);
    const auto spi = CallsNamed("TZ810StreamSPI");
    ASSERT_EQ(spi.size(), 1u);
    EXPECT_EQ(spi[0].args, (Args{1, 4, 4}));
    EXPECT_EQ(spi[0].data, (Bytes{0x90, 0, 0, 0}));

    const struct {
        UCHAR reply[4];
        const char *status;
    } rows[] = {{{0xBF, 0x48, 0xBF, 0x00}, "FLASH状态正常"}, {{0x00, 0x48, 0xBF, 0}, "FLASH状态异常"},
                {{0xBF, 0x00, 0xBF, 0}, "FLASH状态异常"},    {{0xBF, 0x48, 0x00, 0}, "FLASH状态异常"},
                {{0xFF, 0xFF, 0xFF, 0xFF}, "FLASH状态异常"}};
    s.lib.TZ810StreamSPI = ReplyingStream;
    for (const auto &r : rows) {
        std::memcpy(g_reply, r.reply, sizeof g_reply);
        IdentifyFlash(s);
        EXPECT_EQ(port.text(IDC_FLASH_STATUS), r.status) << int(r.reply[0]) << int(r.reply[2]);
    }
    // A failed call leaves the zeroed reply.
    Open(0, "fault TZ810StreamSPI = always");
    EXPECT_EQ(port.text(IDC_FLASH_STATUS), "FLASH状态异常");
    EXPECT_TRUE(port.enabled(IDC_FLASH_ERASE));
}

TEST_F(SpiFlash, ReadSavesTheWholeFlashAfterEveryChunkWasRead)
{
    Open(1);
    const Bytes flash = Pattern(0x10000);
    for (unsigned a = 0; a < 0x10000; ++a)
        tzsim::SetFlashByte(a, flash[a]);
    port.fileAnswers = {std::nullopt, std::string(kImage)};
    Click(IDC_FLASH_READ);  // cancelled
    EXPECT_TRUE(tzsim::Calls().empty());
    EXPECT_TRUE(port.messages.empty());
    Click(IDC_FLASH_READ);
    ASSERT_EQ(port.fileChoices.size(), 2u);
    const FileChoice &c = port.fileChoices[1];
    EXPECT_TRUE(c.save);
    EXPECT_EQ(c.owner, Window::None);
    EXPECT_EQ(c.title, "保存文件");
    EXPECT_EQ(c.filters, (Filters{{"Images(*.txt)", "*.txt;"}, {"All Files(*.*)", "*.*"}}));
    EXPECT_EQ(c.defaultExtension, "txt");
    EXPECT_TRUE(c.startInCurrentFolder);
    EXPECT_TRUE(c.overwritePrompt);
    EXPECT_FALSE(c.readOnlyBox);

    const auto reads = CallsNamed("TZ780mReadFlash");
    ASSERT_EQ(reads.size(), 16u);
    for (ULONG k = 0; k < 16; ++k)
        EXPECT_EQ(reads[k].args, (Args{0, k * 0x1000, 0x1000}));
    EXPECT_TRUE(files.files[kImage] == flash);
    ExpectOnlyMessage("读FLASH成功", Icon::None);
}

TEST_F(SpiFlash, FailedReadOrFileIsReported)
{
    const struct {
        const char *config;
        FilePort::WriteResult result;
        const char *message;  // null: none
        size_t chunks;
    } rows[] = {{"fault TZ780mReadFlash = call 5", FilePort::WriteResult::Ok, "读FLASH失败", 5},
                {"", FilePort::WriteResult::CreateFailed, nullptr, 16},
                {"", FilePort::WriteResult::WriteFailed, "写文件失败", 16}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.config);
        Open(0, r.config);
        files.files[kImage] = {1, 2, 3};
        files.forceWrite = r.result == FilePort::WriteResult::Ok
                               ? std::nullopt
                               : std::optional<FilePort::WriteResult>(r.result);
        port.fileAnswers = {std::string(kImage)};
        Click(IDC_FLASH_READ);
        EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), r.chunks);
        EXPECT_EQ(files.files[kImage], (Bytes{1, 2, 3}));
        if (r.message)
            ExpectOnlyMessage(r.message, Icon::Error);
        else
            EXPECT_TRUE(port.messages.empty());
    }
}

TEST_F(SpiFlash, WriteTakesTheChosenOrRememberedImage)
{
    Open(1);
    port.fileAnswers = {std::nullopt};
    Click(IDC_FLASH_WRITE);  // nothing chosen yet
    ExpectRefused("请打开文件");
    const FileChoice &c = port.fileChoices[0];
    EXPECT_FALSE(c.save);
    EXPECT_EQ(c.owner, Window::Main);
    EXPECT_EQ(c.title, "选择即将写入的目标文件");
    EXPECT_EQ(c.filters, (Filters{{"Images(*.TXT)", "*.txt; "}, {"All Files(*.*)", "*.*"}}));
    EXPECT_EQ(c.defaultExtension, "");
    EXPECT_FALSE(c.startInCurrentFolder);
    EXPECT_FALSE(c.overwritePrompt);
    EXPECT_TRUE(c.readOnlyBox);

    const Bytes full = Pattern(0x10000);
    files.files = {{"a.txt", {0x61, 0x62, 0x63}}, {"full.bin", full}, {"empty.bin", {}},
                   {"over.bin", Bytes(0x10001, 0x5A)}};
    const struct {
        std::optional<std::string> choice;
        const Bytes *written;  // null: refused
    } rows[] = {{"a.txt", &files.files["a.txt"]},   {std::nullopt, &files.files["a.txt"]},
                {"full.bin", &full},                {"empty.bin", &files.files["empty.bin"]},
                {"over.bin", nullptr}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.choice.value_or("(cancelled)"));
        Reset();
        port.fileAnswers = {r.choice};
        Click(IDC_FLASH_WRITE);
        if (!r.written) {
            ExpectRefused("只能打开小于64K的文件");
            continue;
        }
        const auto writes = CallsNamed("TZ780mWriteFlash");
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].args, (Args{0, 0, ULONG(r.written->size())}));
        EXPECT_TRUE(writes[0].data == *r.written);
        ExpectOnlyMessage("写FLASH完成", Icon::None);
    }
    EXPECT_EQ(s.imagePath, "over.bin");
}

TEST_F(SpiFlash, FileAndLibraryFailuresOfTheWriteAreReported)
{
    Open(0, "fault TZ780mWriteFlash = always");
    files.files["a.txt"] = {1};
    s.imagePath = "a.txt";
    const struct {
        std::optional<FilePort::ReadResult> result;
        const char *message;
    } rows[] = {{FilePort::ReadResult::OpenFailed, "创建/打开文件出错"},
                {FilePort::ReadResult::SizeFailed, "获取文件的大小错误"},
                {FilePort::ReadResult::TooLarge, "只能打开小于64K的文件"},
                {FilePort::ReadResult::AllocFailed, "分配缓冲区错误"},
                {FilePort::ReadResult::ReadFailed, "读文件出错"},
                {std::nullopt, "写FLASH失败"}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.message);
        Reset();
        files.forceRead = r.result;
        Click(IDC_FLASH_WRITE);
        EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), r.result ? 0u : 1u);
        ExpectOnlyMessage(r.message, Icon::Error);
    }
}

TEST_F(SpiFlash, EraseUnlocksThenErasesTheWholeFlash)
{
    const struct {
        const char *config;
        const char *message;
        Icon icon;
    } rows[] = {{"", "擦除FLASH成功", Icon::None},
                {"fault TZ780mLockFlash = always", "擦除FLASH成功", Icon::None},
                {"fault TZ780mEarseFlash = always", "擦除FLASH失败", Icon::Error}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.config);
        Open(1, r.config);
        tzsim::SetFlashByte(0xFFFF, 0x12);
        Click(IDC_FLASH_ERASE);
        EXPECT_EQ(CallNames(), (Strings{"TZ780mLockFlash", "TZ780mEarseFlash"}));
        EXPECT_EQ(CallsNamed("TZ780mLockFlash")[0].args, (Args{0, 0}));
        EXPECT_EQ(CallsNamed("TZ780mEarseFlash")[0].args, (Args{0, 0, 0x10000}));
        ExpectOnlyMessage(r.message, r.icon);
    }
    EXPECT_EQ(tzsim::FlashByte(0xFFFF), 0x12);
}

} // namespace
