// SPI panel: the chip's SPI mode and clock, the flash identification made at
// open, and the 25VF512 flash read into a file, written from a file and
// erased. The four flash calls address the board's one flash as unit 0, not
// by device index.
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "panels.h"
#include "resource.h"

namespace {

const char kFlashNormal[] = "FLASH状态正常";
const char kFlashAbnormal[] = "FLASH状态异常";

void Notice(Session &s, const char *text)
{
    s.port.ShowMessage(Window::Main, text, Icon::None);
}

void Failure(Session &s, const char *text)
{
    s.port.ShowMessage(Window::Main, text, Icon::Error);
}

// Entry 0 of the mode list is SPI3, of the clock list 15.6 MHz. Any pair
// with a missing selection is taken as SPI4 at 31.3 MHz.
ULONG SpiModeCode(int modeSelection, int clockSelection)
{
    const bool known =
        (modeSelection == 0 || modeSelection == 1) && (clockSelection == 0 || clockSelection == 1);
    if (!known)
        return board::SpiModeCode(true, false);
    return board::SpiModeCode(modeSelection == 1, clockSelection == 0);
}

}  // namespace

void SetSpiMode(Session &s)
{
    const ULONG code =
        SpiModeCode(s.port.ComboSelection(IDC_SPI_MODE), s.port.ComboSelection(IDC_SPI_CLOCK));
    // Both outcomes are plain boxes, the failure too.
    if (s.lib.TZ810SetStream(s.conn.card.index, code))
        Notice(s, "设置SPI成功");
    else
        Notice(s, "设置SPI失败");
}

void IdentifyFlash(Session &s)
{
    const bool present = board::IdentifyFlash(s.conn.card).identified;
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
    std::vector<std::uint8_t> image;
    if (!board::ReadFlash(s.lib, image).ok()) {
        Failure(s, "读FLASH失败");
        return;
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

// Step two: the remembered image into the flash from address 0.
void WriteImageFile(Session &s)
{
    if (s.imagePath.empty()) {
        Failure(s, "请打开文件");
        return;
    }

    std::vector<std::uint8_t> image;
    switch (s.files.ReadWholeFile(s.imagePath, board::kFlashSize, image)) {
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

    // No unlock and no erase: the erase button is the user's to press. A
    // write over flash that was not erased still succeeds, so the read-back
    // decides; it needs to tell only whether the flash holds the image.
    board::FlashWriteOptions options;
    options.unlock = options.erase = false;
    options.reach = board::VerifyReach::FirstDifference;
    if (board::WriteFlash(s.lib, image, options).ok())
        Notice(s, "写FLASH完成");
    else
        Failure(s, "写FLASH失败");
}

}  // namespace

void FlashWrite(Session &s)
{
    ChooseImageFile(s);
    WriteImageFile(s);
}

void FlashErase(Session &s)
{
    if (board::EraseFlash(s.lib, false).ok())
        Notice(s, "擦除FLASH成功");
    else
        Failure(s, "擦除FLASH失败");
}
