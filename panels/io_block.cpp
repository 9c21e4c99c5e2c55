// I/O panel: block reads and writes of I/O space, in byte, word or
// double-word accesses, at an offset into the card's I/O window or at a
// direct I/O address. One TZ810mAccessBlock call per click.
#include <string>

#include "block_request.h"
#include "board.h"
#include "guards.h"
#include "panels.h"
#include "resource.h"

namespace {

const char kReadWordAlign[] = "请输入能存储字的起始地址并且数据长度为2的倍数";
const char kReadDwordAlign[] = "请输入能存储字的起始地址且数据长度为4的倍数";
const char kWriteWordAlign[] = "请输入能存储字的起始地址且数据长度为2的倍数";
const char kWriteDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";

using board::Width;

struct Access {
    Width width;
    bool direct;
};

// The six pairs of the two combos, width (byte, word, double word) and
// address type (offset, direct); anything else (no selection in either) is
// served as a double-word access at a direct address.
Access ChosenAccess(DialogPort &port)
{
    const int mode = port.ComboSelection(IDC_IO_WIDTH);
    const int addressType = port.ComboSelection(IDC_IO_ADDR_TYPE);
    if ((mode == 0 || mode == 1 || mode == 2) && (addressType == 0 || addressType == 1)) {
        const Width w = mode == 0 ? Width::Byte : mode == 1 ? Width::Word : Width::DoubleWord;
        return {w, addressType == 1};
    }
    return {Width::DoubleWord, true};
}

ULONG AddressPassed(const Session &s, const Access &a, std::uint16_t address)
{
    return a.direct ? address : s.conn.card.ioBase + address;
}

}  // namespace

void IoRead(Session &s)
{
    DialogPort &port = s.port;
    const Access a = ChosenAccess(port);
    BlockRequest r;
    if (!ReadBlockRequest(port, IDC_IO_ADDR, IDC_IO_LENGTH, r))
        return;
    if (r.addressText.empty() || r.lengthText.empty()) {
        port.ShowMessage(Window::Main, kReadNeedsBoth, Icon::Error);
        return;
    }

    // The typed address is checked, never its sum with the I/O base.
    if (!board::BlockAligned(a.width, r.address, r.length)) {
        port.ShowMessage(Window::Main, a.width == Width::Word ? kReadWordAlign : kReadDwordAlign,
                         Icon::Error);
        return;
    }

    if (!a.direct && !IoBaseKnown(s))
        return;

    if (!ReadBlock(s, board::Space::Io, a.width, AddressPassed(s, a, r.address), r.length)) {
        // Emptied so that the next click without a new length is refused.
        port.SetText(IDC_IO_LENGTH, "");
        const bool byteDirect = a.width == Width::Byte && a.direct;
        port.ShowMessage(Window::Main, "IO读取失败", byteDirect ? Icon::None : Icon::Error);
        return;
    }

    ShowBlock(port, IDC_IO_DATA, r.length);
}

void IoWrite(Session &s)
{
    DialogPort &port = s.port;
    const Access a = ChosenAccess(port);
    BlockRequest r;
    if (!ReadBlockRequest(port, IDC_IO_ADDR, IDC_IO_LENGTH, r))
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
    if (!TextToBlock(port, data, r.length, used))
        return;

    if (!board::BlockAligned(a.width, r.address, static_cast<std::uint32_t>(used))) {
        port.ShowMessage(Window::Main, a.width == Width::Word ? kWriteWordAlign : kWriteDwordAlign,
                         Icon::Error);
        return;
    }

    if (!a.direct && !IoBaseKnown(s))
        return;

    const bool written =
        WriteBlock(s, board::Space::Io, a.width, AddressPassed(s, a, r.address), used);
    ReportWrite(port, written);
}

void IoClear(Session &s)
{
    s.port.SetText(IDC_IO_DATA, "");
}
