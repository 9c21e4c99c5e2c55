// MEM panel: block reads and writes in the 32 KiB memory window of a TZ820,
// in byte or double-word accesses, at an offset from the MEM base address.
// One TZ810mAccessBlock call per click.
#include <cstring>
#include <string>

#include "hextext.h"
#include "messages.h"
#include "panels.h"
#include "resource.h"

namespace {

// The address and length boxes are read up to their first four characters.
constexpr std::size_t kBoxChars = 4;
// Highest offset of the window a request may reach.
constexpr std::uint32_t kWindowLimit = 0x7FFF;

const char kLengthTooLong[] = "请输入小于等于0x8000的长度!";
const char kReadNeedsBoth[] = "请输入地址和数据长度";
const char kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容";
const char kPastWindow[] =
    "您输入的地址+长度>0x7FFF发生错误,请查阅TZ810mAccessBlock的相关说明";
const char kDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";

constexpr ULONG kDoubleWordCode = 2;

// Fixed work areas: one full block and its byte-run text.
std::uint8_t g_block[kMaxBlockBytes];
char g_text[kByteRunBufferSize];

struct BlockRequest {
    std::string addressText;
    std::string lengthText;
    std::uint16_t address = 0;
    std::uint32_t length = 0;
};

std::string FirstChars(DialogPort &port, int id)
{
    std::string text = port.Text(id);
    if (text.size() > kBoxChars)
        text.resize(kBoxChars);
    return text;
}

// Reports the first refusal and returns false.
bool ReadAddressAndLength(Session &s, BlockRequest &r)
{
    DialogPort &port = s.port;
    r.addressText = FirstChars(port, IDC_MEM_ADDR);
    if (!r.addressText.empty() && !IsHexText(r.addressText)) {
        port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
        return false;
    }
    r.address = HexTextToValue(r.addressText.c_str(), r.addressText.size(), HexWidth::Word);

    r.lengthText = FirstChars(port, IDC_MEM_LENGTH);
    if (!r.lengthText.empty() && !IsHexText(r.lengthText)) {
        port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
        return false;
    }
    r.length = HexTextToLength(r.lengthText.c_str());
    if (r.length > kMaxBlockBytes) {
        port.ShowMessage(Window::Main, kLengthTooLong, Icon::Error);
        return false;
    }
    return true;
}

bool PastWindow(const BlockRequest &r)
{
    return static_cast<std::uint32_t>(r.address) + r.length > kWindowLimit;
}

// Mode 0 is byte; every other position, "no selection" among them, is
// double word.
bool IsByteMode(int mode) { return mode == 0; }

bool DwordAligned(std::uint32_t address, std::uint32_t count)
{
    return IsAligned(address, AccessWidth::DoubleWord) &&
           IsAligned(count, AccessWidth::DoubleWord);
}

} // namespace

void MemRead(Session &s, int mode)
{
    DialogPort &port = s.port;
    BlockRequest r;
    if (!ReadAddressAndLength(s, r))
        return;
    if (r.addressText.empty() || r.lengthText.empty()) {
        port.ShowMessage(Window::Main, kReadNeedsBoth, Icon::Error);
        return;
    }
    if (PastWindow(r)) {
        port.ShowMessage(Window::Main, kPastWindow, Icon::Error);
        return;
    }
    const bool byteMode = IsByteMode(mode);
    if (!byteMode && !DwordAligned(r.address, r.length)) {
        port.ShowMessage(Window::Main, kDwordAlign, Icon::Error);
        return;
    }

    std::memset(g_block, 0, sizeof g_block);
    if (!s.lib.TZ810mAccessBlock(s.conn.index, TZ_ACCESS_MEM_READ + (byteMode ? 0 : kDoubleWordCode),
                                 s.conn.memBase + r.address, g_block, r.length)) {
        port.ShowMessage(Window::Main, "MEM读取失败", byteMode ? Icon::Error : Icon::None);
        return;
    }

    const std::size_t n = BytesToByteRun(g_block, r.length, g_text);
    port.SetText(IDC_MEM_DATA, std::string(g_text, n));
}

void MemWrite(Session &s, int mode)
{
    DialogPort &port = s.port;
    BlockRequest r;
    if (!ReadAddressAndLength(s, r))
        return;

    const std::string data = port.Text(IDC_MEM_DATA);
    // The bound is on the length as typed, even when the box holds fewer
    // bytes than that.
    if (PastWindow(r)) {
        port.ShowMessage(Window::Main, kPastWindow, Icon::Error);
        return;
    }
    if (r.addressText.empty() || r.lengthText.empty() || data.empty()) {
        port.ShowMessage(Window::Main, kWriteNeedsAll, Icon::Error);
        return;
    }

    // White space is dropped; pasted text with anything else in it is
    // refused before the card is touched.
    std::size_t used = 0;
    if (!ByteRunToBytes(data, r.length, g_block, &used)) {
        port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
        return;
    }

    const bool byteMode = IsByteMode(mode);
    if (!byteMode && !DwordAligned(r.address, static_cast<std::uint32_t>(used))) {
        port.ShowMessage(Window::Main, kDwordAlign, Icon::Error);
        return;
    }

    // The result boxes have no owner, so the dialog stays usable under them.
    if (s.lib.TZ810mAccessBlock(s.conn.index,
                                TZ_ACCESS_MEM_WRITE + (byteMode ? 0 : kDoubleWordCode),
                                s.conn.memBase + r.address, g_block, static_cast<ULONG>(used)))
        port.ShowMessage(Window::None, "写成功", Icon::None);
    else
        port.ShowMessage(Window::None, "写失败", Icon::Error);
}
