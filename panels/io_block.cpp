// I/O panel: block reads and writes of I/O space, in byte, word or
// double-word accesses, at an offset into the card's I/O window or at a
// direct I/O address. One TZ810mAccessBlock call per click.
#include <cstring>
#include <string>

#include "hextext.h"
#include "messages.h"
#include "panels.h"
#include "resource.h"

namespace {

// The address and length boxes are read up to their first four characters.
constexpr std::size_t kBoxChars = 4;

const char kLengthTooLong[] = "请输入小于等于0x8000的长度!";
const char kReadNeedsBoth[] = "请输入地址和数据长度";
const char kWriteNeedsAll[] = "请输入地址,数据长度和写入数据内容";
const char kReadWordAlign[] = "请输入能存储字的起始地址并且数据长度为2的倍数";
const char kReadDwordAlign[] = "请输入能存储字的起始地址且数据长度为4的倍数";
const char kWriteWordAlign[] = "请输入能存储字的起始地址且数据长度为2的倍数";
const char kWriteDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";

// Fixed work areas: one full block and its byte-run text.
std::uint8_t g_block[kMaxBlockBytes];
char g_text[kByteRunBufferSize];

enum class Width { Byte, Word, DoubleWord };

struct Access {
    Width width;
    bool direct;
};

// The six pairs of the two combos; anything else (no selection in either)
// is served as a double-word access at a direct address.
Access ChooseAccess(int mode, int addressType)
{
    if ((mode == 0 || mode == 1 || mode == 2) && (addressType == 0 || addressType == 1)) {
        const Width w = mode == 0 ? Width::Byte : mode == 1 ? Width::Word : Width::DoubleWord;
        return {w, addressType == 1};
    }
    return {Width::DoubleWord, true};
}

ULONG WidthCode(Width w)
{
    return w == Width::Byte ? 0 : w == Width::Word ? 1 : 2;
}

// Address and length boxes, read and checked as both handlers begin.
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
    r.addressText = FirstChars(port, IDC_IO_ADDR);
    if (!r.addressText.empty() && !IsHexText(r.addressText)) {
        port.ShowMessage(Window::Main, kBadCharacterMessage, Icon::Error);
        return false;
    }
    r.address = HexTextToValue(r.addressText.c_str(), r.addressText.size(), HexWidth::Word);

    r.lengthText = FirstChars(port, IDC_IO_LENGTH);
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

// Alignment of the typed address (never the sum with the I/O base) and of
// the byte count.
bool Aligned(Width w, std::uint32_t address, std::uint32_t count)
{
    switch (w) {
    case Width::Byte:
        return true;
    case Width::Word:
        return IsAligned(address, AccessWidth::Word) && IsAligned(count, AccessWidth::Word);
    case Width::DoubleWord:
        return IsAligned(address, AccessWidth::DoubleWord) &&
               IsAligned(count, AccessWidth::DoubleWord);
    }
    return false;
}

ULONG AddressPassed(const Session &s, const Access &a, std::uint16_t address)
{
    return a.direct ? address : s.conn.ioBase + address;
}

} // namespace

void IoRead(Session &s, int mode, int addressType)
{
    DialogPort &port = s.port;
    BlockRequest r;
    if (!ReadAddressAndLength(s, r))
        return;
    if (r.addressText.empty() || r.lengthText.empty()) {
        port.ShowMessage(Window::Main, kReadNeedsBoth, Icon::Error);
        return;
    }

    const Access a = ChooseAccess(mode, addressType);
    if (!Aligned(a.width, r.address, r.length)) {
        port.ShowMessage(Window::Main, a.width == Width::Word ? kReadWordAlign : kReadDwordAlign,
                         Icon::Error);
        return;
    }

    std::memset(g_block, 0, sizeof g_block);
    if (!s.lib.TZ810mAccessBlock(s.conn.index, TZ_ACCESS_IO_READ + WidthCode(a.width),
                                 AddressPassed(s, a, r.address), g_block, r.length)) {
        // Emptied so that the next click without a new length is refused.
        port.SetText(IDC_IO_LENGTH, "");
        const bool byteDirect = a.width == Width::Byte && a.direct;
        port.ShowMessage(Window::Main, "IO读取失败", byteDirect ? Icon::None : Icon::Error);
        return;
    }

    const std::size_t n = BytesToByteRun(g_block, r.length, g_text);
    port.SetText(IDC_IO_DATA, std::string(g_text, n));
}

void IoWrite(Session &s, int mode, int addressType)
{
    DialogPort &port = s.port;
    BlockRequest r;
    if (!ReadAddressAndLength(s, r))
        return;

    // The whole box: a block read back in full is written back in full.
    const std::string data = port.Text(IDC_IO_DATA);
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

    const Access a = ChooseAccess(mode, addressType);
    if (!Aligned(a.width, r.address, static_cast<std::uint32_t>(used))) {
        port.ShowMessage(Window::Main, a.width == Width::Word ? kWriteWordAlign : kWriteDwordAlign,
                         Icon::Error);
        return;
    }

    // The result boxes have no owner, so the dialog stays usable under them.
    if (s.lib.TZ810mAccessBlock(s.conn.index, TZ_ACCESS_IO_WRITE + WidthCode(a.width),
                                AddressPassed(s, a, r.address), g_block,
                                static_cast<ULONG>(used)))
        port.ShowMessage(Window::None, "写成功", Icon::None);
    else
        port.ShowMessage(Window::None, "写失败", Icon::Error);
}
