#include "block_request.h"

#include <cstring>

#include "hex_box.h"
#include "hextext.h"

namespace {

constexpr std::size_t kBoxChars = 4;
const char kLengthTooLong[] = "请输入小于等于0x8000的长度!";

// The text of a full block fits its buffer.
static_assert(board::kMaxBlockBytes <= kMaxByteRunBytes);

// One full block and its byte-run text, kept out of the stack. Both panels
// run on the dialog's thread, one click at a time, so they share them.
std::uint8_t g_blockBytes[board::kMaxBlockBytes];
char g_blockText[kByteRunBufferSize];

}  // namespace

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

bool ReadBlock(Session &s, board::Space space, board::Width width, ULONG address,
               std::uint32_t count)
{
    std::memset(g_blockBytes, 0, sizeof g_blockBytes);
    return board::AccessBlock(s.conn.card, space, false, width, address, g_blockBytes, count);
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

bool WriteBlock(Session &s, board::Space space, board::Width width, ULONG address,
                std::size_t count)
{
    return board::AccessBlock(s.conn.card, space, true, width, address, g_blockBytes,
                              static_cast<ULONG>(count));
}

void ReportWrite(DialogPort &port, bool written)
{
    if (written)
        port.ShowMessage(Window::None, "写成功", Icon::None);
    else
        port.ShowMessage(Window::None, "写失败", Icon::Error);
}
