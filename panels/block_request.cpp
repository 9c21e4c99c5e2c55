#include "block_request.h"

#include <cstring>

#include "hex_box.h"
#include "messages.h"

namespace {

constexpr std::size_t kBoxChars = 4;
const char kLengthTooLong[] = "请输入小于等于0x8000的长度!";

}  // namespace

// The text of a full block fits its buffer.
static_assert(board::kMaxBlockBytes <= kMaxByteRunBytes);
std::uint8_t g_blockBytes[board::kMaxBlockBytes];
char g_blockText[kByteRunBufferSize];

bool ReadBlockRequest(DialogPort &port, int addressBox, int lengthBox, BlockRequest &r)
{
    r.addressText = BoxText(port, addressBox, kBoxChars);
    if (!CharactersOk(port, r.addressText))
        return false;
    r.address = HexTextToValue(r.addressText.c_str(), r.addressText.size(), HexWidth::Word);

    r.lengthText = BoxText(port, lengthBox, kBoxChars);
    if (!CharactersOk(port, r.lengthText))
        return false;
    r.length = HexTextToLength(r.lengthText.c_str());
    if (r.length > board::kMaxBlockBytes) {
        port.ShowMessage(Window::Main, kLengthTooLong, Icon::Error);
        return false;
    }
    return true;
}

void ClearBlock()
{
    std::memset(g_blockBytes, 0, sizeof g_blockBytes);
}

void ShowBlock(DialogPort &port, int dataBox, std::size_t count)
{
    const std::size_t n = BytesToByteRun(g_blockBytes, count, g_blockText);
    port.SetText(dataBox, std::string(g_blockText, n));
}

bool TextToBlock(DialogPort &port, const std::string &text, std::uint32_t requested,
                 std::size_t &used)
{
    used = 0;
    if (ByteRunToBytes(text, requested, g_blockBytes, &used))
        return true;
    port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
    return false;
}

void ReportWrite(DialogPort &port, bool written)
{
    if (written)
        port.ShowMessage(Window::None, "写成功", Icon::None);
    else
        port.ShowMessage(Window::None, "写失败", Icon::Error);
}
