// SPI panel: the chip's SPI mode and clock, the flash identification made at
// open, and the 25VF512 flash read into a file, written from a file and
// erased. The four flash calls address the board's one flash as unit 0, not
// by device index.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "panels.h"
#include "resource.h"

namespace {

constexpr std::uint32_t kFlashSize = 0x10000;  // 64 KiB
constexpr std::uint32_t kChunkSize = 0x1000;   // one TZ780mReadFlash call
constexpr ULONG kFlashUnit = 0;

constexpr UCHAR kReadIdCommand = 0x90;
constexpr UCHAR kMakerByte = 0xBF;
constexpr UCHAR kDeviceByte = 0x48;

const char kFlashNormal[] = "FLASH状态正常";
const char kFlashAbnormal[] = "FLASH状态异常";

void Notice(Session &s, const char *text) { s.port.ShowMessage(Window::Main, text, Icon::None); }
void Failure(Session &s, const char *text) { s.port.ShowMessage(Window::Main, text, Icon::Error); }

// Bit 0 picks the 15.6 MHz clock, bit 1 SPI4. Any pair with a missing
// selection falls back to 2.
int SpiModeCode(int modeSelection, int clockSelection)
{
    if (modeSelection == 0 && clockSelection == 0)
        return 1;
    if (modeSelection == 0 && clockSelection == 1)
        return 0;
    if (modeSelection == 1 && clockSelection == 0)
        return 3;
    return 2;
}

} // namespace

void SetSpiMode(Session &s)
{
    int code = SpiModeCode(s.port.ComboSelection(IDC_SPI_MODE), s.port.ComboSelection(IDC_SPI_CLOCK));
    // Both outcomes are plain boxes, the failure too.
    if (s.lib.TZ810SetStream(s.conn.index, static_cast<ULONG>(code)))
        Notice(s, "设置SPI成功");
    else
        Notice(s, "设置SPI失败");
}

void IdentifyFlash(Session &s)
{
    UCHAR command[4] = {kReadIdCommand, 0x00, 0x00, 0x00};
    // Zeros, so a silent bus cannot pass for the flash's answer.
    UCHAR reply[4] = {0, 0, 0, 0};
    ULONG replyLength = sizeof reply;
    // The call's own result says nothing the reply does not.
    s.lib.TZ810StreamSPI(s.conn.index, sizeof command, command, &replyLength, reply);

    bool present = reply[0] == kMakerByte && reply[1] == kDeviceByte && reply[2] == kMakerByte;
    s.port.SetText(IDC_FLASH_STATUS, present ? kFlashNormal : kFlashAbnormal);

    s.port.Enable(IDC_FLASH_READ, true);
    s.port.Enable(IDC_FLASH_WRITE, true);
    s.port.Enable(IDC_FLASH_ERASE, true);
}

void FlashRead(Session &s)
{
    FileChoice choice;
    choice.save = true;
    choice.owner = Window::None;
    choice.title = "保存文件";
    choice.filters = {{"Images(*.txt)", "*.txt;"}, {"All Files(*.*)", "*.*"}};
    choice.defaultExtension = "txt";
    choice.startInCurrentFolder = true;
    choice.overwritePrompt = true;
    std::optional<std::string> path = s.port.ChooseFile(choice);
    if (!path)
        return;

    // The whole flash is read before the file system is touched, so a failed
    // chunk leaves an existing file as it was.
    std::vector<std::uint8_t> image(kFlashSize);
    for (std::uint32_t address = 0; address < kFlashSize; address += kChunkSize) {
        if (!s.lib.TZ780mReadFlash(kFlashUnit, address, image.data() + address, kChunkSize)) {
            Failure(s, "读FLASH失败");
            return;
        }
    }

    switch (s.files.ReplaceFile(*path, image.data(), image.size())) {
    case FilePort::WriteResult::Ok:
        Notice(s, "读FLASH成功");
        break;
    case FilePort::WriteResult::CreateFailed:
        // A file that cannot be created ends the read without a word.
        break;
    case FilePort::WriteResult::WriteFailed:
        Failure(s, "写文件失败");
        break;
    }
}

namespace {

// Step one of the flash write: a confirmed choice replaces the remembered
// image; a cancel keeps it.
void ChooseImageFile(Session &s)
{
    FileChoice choice;
    choice.save = false;
    choice.owner = Window::Main;
    choice.title = "选择即将写入的目标文件";
    choice.filters = {{"Images(*.TXT)", "*.txt; "}, {"All Files(*.*)", "*.*"}};
    choice.readOnlyBox = true;
    if (std::optional<std::string> path = s.port.ChooseFile(choice))
        s.imagePath = *path;
}

// NOR flash only clears bits: a write over flash that was not erased leaves
// the AND of old and new and still succeeds. So the written range is read
// back, in the flash read's chunks, and compared.
bool FlashHolds(Session &s, const std::vector<std::uint8_t> &image)
{
    std::vector<std::uint8_t> chunk(kChunkSize);
    for (std::size_t address = 0; address < image.size(); address += kChunkSize) {
        const std::size_t n = std::min<std::size_t>(kChunkSize, image.size() - address);
        if (!s.lib.TZ780mReadFlash(kFlashUnit, static_cast<ULONG>(address), chunk.data(),
                                   static_cast<ULONG>(n)) ||
            !std::equal(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n),
                        image.begin() + static_cast<std::ptrdiff_t>(address)))
            return false;
    }
    return true;
}

// Step two: the remembered image into the flash from address 0.
void WriteImageFile(Session &s)
{
    if (s.imagePath.empty()) {
        Failure(s, "请打开文件");
        return;
    }

    std::vector<std::uint8_t> image;
    switch (s.files.ReadWholeFile(s.imagePath, kFlashSize, image)) {
    case FilePort::ReadResult::Ok:
        break;
    case FilePort::ReadResult::OpenFailed:
        Failure(s, "创建/打开文件出错");
        return;
    case FilePort::ReadResult::SizeFailed:
        Failure(s, "获取文件的大小错误");
        return;
    case FilePort::ReadResult::TooLarge:
        Failure(s, "只能打开小于64K的文件");
        return;
    case FilePort::ReadResult::AllocFailed:
        Failure(s, "分配缓冲区错误");
        return;
    case FilePort::ReadResult::ReadFailed:
        Failure(s, "读文件出错");
        return;
    }

    // An empty file still hands the library a valid buffer, with length 0.
    std::uint8_t none = 0;
    std::uint8_t *data = image.empty() ? &none : image.data();
    if (s.lib.TZ780mWriteFlash(kFlashUnit, 0, data, static_cast<ULONG>(image.size())) &&
        FlashHolds(s, image))
        Notice(s, "写FLASH完成");
    else
        Failure(s, "写FLASH失败");
}

} // namespace

void FlashWrite(Session &s)
{
    ChooseImageFile(s);
    WriteImageFile(s);
}

void FlashErase(Session &s)
{
    // The lock's answer changes nothing: the erase reports for both.
    s.lib.TZ780mLockFlash(kFlashUnit, 0);
    if (s.lib.TZ780mEarseFlash(kFlashUnit, 0, kFlashSize))
        Notice(s, "擦除FLASH成功");
    else
        Failure(s, "擦除FLASH失败");
}
