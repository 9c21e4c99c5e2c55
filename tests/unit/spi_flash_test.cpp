// SPI panel: mode codes, flash identification at open, flash read, write and erase.
#include <cstring>
#include "card_session.h"
#include "panels.h"

namespace {
using cardtest::Args, cardtest::CallsNamed, cardtest::Strings;
using Bytes = std::vector<std::uint8_t>;

// A file dialog's set-up in one line.
std::string Described(const FileChoice &c)
{
    std::string out = std::string(c.save ? "save" : "open") + " owner " +
                      std::to_string(int(c.owner)) + " " + c.title;
    for (const auto &[name, pattern] : c.filters)
        out += " [" + name + "|" + pattern + "]";
    return out + " ." + c.defaultExtension + (c.startInCurrentFolder ? " here" : "") +
           (c.overwritePrompt ? " ask" : "") + (c.readOnlyBox ? " ro" : "");
}

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

class SpiFlash : public cardtest::CardSession {};

TEST_F(SpiFlash, ModeCodeFollowsBothCombosWithFallbackTwo)
{
    Open(1);
    // mode, clock selection -> code
    for (const auto &[mode, clock, code] : {std::tuple{0, 0, 1u},
                                            {0, 1, 0u},
                                            {0, -1, 2u},
                                            {1, 0, 3u},
                                            {1, 1, 2u},
                                            {-1, 0, 2u},
                                            {2, 0, 2u},
                                            {0, 2, 2u}}) {
        port.controls[IDC_SPI_MODE].selection = mode;
        port.controls[IDC_SPI_CLOCK].selection = clock;
        Reset();
        Click(IDC_SPI_SET);
        EXPECT_EQ(CallsNamed("TZ810SetStream").at(0).args, (Args{1, code})) << mode << "/" << clock;
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
    s.lib.TZ810StreamSPI = ReplyingStream;
    for (std::uint32_t reply : {0x00BF48BFu, 0x00BF4800u, 0x00BF00BFu, 0x000048BFu, 0xFFFFFFFFu}) {
        std::memcpy(g_reply, &reply, sizeof g_reply);  // first byte lowest
        IdentifyFlash(s);
        EXPECT_EQ(port.Text(IDC_FLASH_STATUS),
                  reply == 0x00BF48BF ? "FLASH状态正常" : "FLASH状态异常")
            << reply;
    }
    // A failed call leaves the zeroed reply.
    Open(0, "fault TZ810StreamSPI = always");
    EXPECT_EQ(port.Text(IDC_FLASH_STATUS), "FLASH状态异常");
    EXPECT_TRUE(port.controls[IDC_FLASH_ERASE].enabled);
}

TEST_F(SpiFlash, ReadSavesTheWholeFlashAfterEveryChunkWasRead)
{
    Open(1);
    const Bytes flash = Pattern(0x10000);
    for (unsigned a = 0; a < 0x10000; ++a)
        tzsim::SetFlashByte(a, flash[a]);
    port.fileAnswers = {std::nullopt, std::string(kImage)};
    Click(IDC_FLASH_READ);  // cancelled
    EXPECT_EQ(cardtest::Trace(), "");
    EXPECT_EQ(port.messages.size(), 0u);
    Click(IDC_FLASH_READ);
    EXPECT_EQ(Described(port.fileChoices.at(1)),
              "save owner 0 保存文件 [Images(*.txt)|*.txt;] [All Files(*.*)|*.*] .txt here ask");
    const auto reads = CallsNamed("TZ780mReadFlash");
    ASSERT_EQ(reads.size(), 16u);
    for (ULONG k = 0; k < 16; ++k)
        EXPECT_EQ(reads[k].args, (Args{0, k * 0x1000, 0x1000}));
    EXPECT_EQ(files.files[kImage], flash);
    ExpectOnlyMessage("读FLASH成功", Icon::None);
}

TEST_F(SpiFlash, FailedReadOrFileIsReported)
{
    using W = FilePort::WriteResult;
    // A file that cannot be created ends the read without a word.
    for (const auto &[config, result, message, chunks] :
         {std::tuple{"fault TZ780mReadFlash = call 5", W::Ok, "读FLASH失败", 5u},
          {"", W::CreateFailed, "", 16u},
          {"", W::WriteFailed, "写文件失败", 16u}}) {
        Open(0, config);
        files.files[kImage] = {1, 2, 3};
        files.forceWrite = result == W::Ok ? std::nullopt : std::optional<W>(result);
        port.fileAnswers = {std::string(kImage)};
        Click(IDC_FLASH_READ);
        EXPECT_EQ(tzsim::CountCalls("TZ780mReadFlash"), chunks);
        EXPECT_EQ(files.files[kImage], (Bytes{1, 2, 3}));
        EXPECT_EQ(port.messages.size(), *message ? 1u : 0u) << message;
        if (*message)
            ExpectOnlyMessage(message, Icon::Error);
    }
}

TEST_F(SpiFlash, WriteTakesTheChosenOrRememberedImage)
{
    Open(1);
    port.fileAnswers = {std::nullopt};
    Click(IDC_FLASH_WRITE);  // nothing chosen yet
    ExpectRefused("请打开文件");
    EXPECT_EQ(
        Described(port.fileChoices.at(0)),
        "open owner 1 选择即将写入的目标文件 [Images(*.TXT)|*.txt; ] [All Files(*.*)|*.*] . ro");
    // Starts as a.txt, so that it can go over it unerased.
    Bytes full = Pattern(0x10000);
    std::copy_n("abc", 3, full.begin());
    files.files = {{"a.txt", {0x61, 0x62, 0x63}},
                   {"full.bin", full},
                   {"empty.bin", {}},
                   {"over.bin", Bytes(0x10001, 0x5A)}};

    const struct {  // written null: refused
        std::optional<std::string> choice;
        const Bytes *written;
    } rows[] = {{"a.txt", &files.files["a.txt"]},
                {std::nullopt, &files.files["a.txt"]},
                {"full.bin", &full},
                {"empty.bin", &files.files["empty.bin"]},
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
        EXPECT_EQ(writes[0].data, *r.written);
        ExpectOnlyMessage("写FLASH完成", Icon::None);
    }
    EXPECT_EQ(s.imagePath, "over.bin");
}

// Flash only clears bits, so a write over unerased flash is complete only when it reads back.
TEST_F(SpiFlash, WriteCompleteOnlyWhenItReadsBack)
{
    const Bytes image = Pattern(0x1801);

    // clang-format off
    const struct {
        const char *config;
        int clearedByte;  // set to 0 before the write, -1 none
        std::size_t size, reads;
        const char *message;
        Icon icon;
    } rows[] = {
        {"", -1, image.size(), 2, "写FLASH完成", Icon::None},
        {"", 0x1800, image.size(), 2, "写FLASH失败", Icon::Error},
        {"", 0x0FFF, image.size(), 1, "写FLASH失败", Icon::Error},
        {"fault TZ780mReadFlash = call 2\n", -1, image.size(), 2, "写FLASH失败", Icon::Error},
        {"", 0, 0, 0, "写FLASH完成", Icon::None},
    };

    // clang-format on
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.config << row.clearedByte << " " << row.size);
        Open(0, row.config);
        if (row.clearedByte >= 0)
            tzsim::SetFlashByte(static_cast<unsigned>(row.clearedByte), 0x00);
        files.files[kImage].assign(image.begin(), image.begin() + row.size);
        port.fileAnswers = {std::string(kImage)};
        Click(IDC_FLASH_WRITE);
        ExpectOnlyMessage(row.message, row.icon);
        const auto reads = CallsNamed("TZ780mReadFlash");
        ASSERT_EQ(reads.size(), row.reads);
        for (std::size_t k = 0; k < reads.size(); ++k) {
            // chunks of 0x1000, the last one short
            const std::size_t chunk = std::min<std::size_t>(0x1000, row.size - k * 0x1000);
            EXPECT_EQ(reads[k].args, (Args{0, ULONG(k * 0x1000), ULONG(chunk)}));
        }
        EXPECT_EQ(tzsim::CountCalls("TZ780mEarseFlash"), 0u);
    }
}

TEST_F(SpiFlash, FileAndLibraryFailuresOfTheWriteAreReported)
{
    Open(0, "fault TZ780mWriteFlash = always");
    files.files["a.txt"] = {1};
    s.imagePath = "a.txt";
    using R = FilePort::ReadResult;
    for (const auto &[result, message] :
         {std::pair{std::optional<R>(R::OpenFailed), "创建/打开文件出错"},
          {R::SizeFailed, "获取文件的大小错误"},
          {R::TooLarge, "只能打开小于64K的文件"},
          {R::AllocFailed, "分配缓冲区错误"},
          {R::ReadFailed, "读文件出错"},
          {std::nullopt, "写FLASH失败"}}) {
        Reset();
        files.forceRead = result;
        Click(IDC_FLASH_WRITE);
        EXPECT_EQ(tzsim::CountCalls("TZ780mWriteFlash"), result ? 0u : 1u);
        ExpectOnlyMessage(message, Icon::Error);
    }
}

TEST_F(SpiFlash, EraseUnlocksThenErasesTheWholeFlash)
{
    for (const auto &[config, message, icon] :
         {std::tuple{"", "擦除FLASH成功", Icon::None},
          {"fault TZ780mLockFlash = always", "擦除FLASH成功", Icon::None},
          {"fault TZ780mEarseFlash = always", "擦除FLASH失败", Icon::Error}}) {
        Open(1, config);
        tzsim::SetFlashByte(0xFFFF, 0x12);
        Click(IDC_FLASH_ERASE);
        EXPECT_EQ(cardtest::Trace(), "TZ780mLockFlash(0,0) TZ780mEarseFlash(0,0,10000)");
        ExpectOnlyMessage(message, icon);
    }
    EXPECT_EQ(tzsim::FlashByte(0xFFFF), 0x12);
}
}  // namespace
