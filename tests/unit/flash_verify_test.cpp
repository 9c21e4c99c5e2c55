// A flash write is complete only when the flash reads back as the image:
// NOR flash only clears bits, so a write over flash that was not erased
// succeeds and still leaves other bytes.
#include "block_fixture.h"

namespace {

using blocktest::Bench;
using blocktest::CallsNamed;

class FlashVerify : public Bench {};

TEST_F(FlashVerify, WriteReportsCompleteOnlyWhenTheFlashReadsBackAsTheImage)
{
    std::vector<std::uint8_t> image(0x1801);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);

    const struct Row {
        const char *name;
        std::string config;
        int clearedByte;     // flash byte set to 0 before the write, -1 none
        std::size_t size;    // bytes of the image written
        std::size_t reads;   // read-back calls made
        const char *message;
        Icon icon;
    } rows[] = {
        {"erased flash", "", -1, image.size(), 2, "写FLASH完成", Icon::None},
        {"last byte not erased", "", 0x1800, image.size(), 2, "写FLASH失败", Icon::Error},
        {"first chunk not erased", "", 0x0FFF, image.size(), 1, "写FLASH失败", Icon::Error},
        {"read-back refused", "fault TZ780mReadFlash = call 2\n", -1, image.size(), 2,
         "写FLASH失败", Icon::Error},
        {"empty image", "", 0, 0, 0, "写FLASH完成", Icon::None},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Open(0, row.config);
        if (row.clearedByte >= 0)
            tzsim::SetFlashByte(static_cast<unsigned>(row.clearedByte), 0x00);
        files.files["/img.bin"].assign(image.begin(), image.begin() + row.size);
        port.fileAnswers = {std::string("/img.bin")};
        Reset();
        Click(IDC_FLASH_WRITE);

        ExpectOnlyMessage(row.message, row.icon);
        ASSERT_EQ(CallsNamed("TZ780mWriteFlash").size(), 1u);
        const auto reads = CallsNamed("TZ780mReadFlash");
        ASSERT_EQ(reads.size(), row.reads);
        // The flash read's chunks: unit 0, 0x1000 bytes, the last one short.
        for (std::size_t k = 0; k < reads.size(); ++k) {
            EXPECT_EQ(reads[k].args[0], 0u);
            EXPECT_EQ(reads[k].args[1], k * 0x1000);
            EXPECT_EQ(reads[k].args[2], std::min<std::size_t>(0x1000, row.size - k * 0x1000));
        }
        EXPECT_TRUE(CallsNamed("TZ780mEarseFlash").empty());
        Click(IDC_CLOSE);
    }
}

} // namespace
