// MEM panel: block reads and writes in the 32 KiB memory window of a TZ820,
// in byte or double-word accesses, at an offset from the MEM base address.
// One TZ810mAccessBlock call per click.
#include <string>

#include "block_request.h"
#include "board.h"
#include "guards.h"
#include "panels.h"
#include "resource.h"

namespace {

const char kPastWindow[] = "您输入的地址+长度>0x7FFF发生错误,请查阅TZ810mAccessBlock的相关说明";
const char kDwordAlign[] = "请输入能存储双字的起始地址且数据长度为4的倍数";

// Position 0 of the width combo is byte; every other position, "no
// selection" among them, is double word.
board::Width ChosenWidth(DialogPort &port)
{
    return port.ComboSelection(IDC_MEM_WIDTH) == 0 ? board::Width::Byte : board::Width::DoubleWord;
}

bool PastWindow(const BlockRequest &r)
{
    return !board::WithinMemWindow(r.address, r.length);
}

}  // namespace

void MemRead(Session &s)
{
    DialogPort &port = s.port;
    const board::Width width = ChosenWidth(port);
    BlockRequest r;
    if (!ReadBlockRequest(port, IDC_MEM_ADDR, IDC_MEM_LENGTH, r))
        return;
    if (r.addressText.empty() || r.lengthText.empty()) {
        port.ShowMessage(Window::Main, kReadNeedsBoth, Icon::Error);
        return;
    }
    if (PastWindow(r)) {
        port.ShowMessage(Window::Main, kPastWindow, Icon::Error);
        return;
    }
    if (!board::BlockAligned(width, r.address, r.length)) {
        port.ShowMessage(Window::Main, kDwordAlign, Icon::Error);
        return;
    }

    if (!MemBaseKnown(s))
        return;

    if (!ReadBlock(s, board::Space::Mem, width, s.conn.card.memBase + r.address, r.length)) {
        const bool byteMode = width == board::Width::Byte;
        port.ShowMessage(Window::Main, "MEM读取失败", byteMode ? Icon::Error : Icon::None);
        return;
    }

    ShowBlock(port, IDC_MEM_DATA, r.length);
}

void MemWrite(Session &s)
{
    DialogPort &port = s.port;
    const board::Width width = ChosenWidth(port);
    BlockRequest r;
    if (!ReadBlockRequest(port, IDC_MEM_ADDR, IDC_MEM_LENGTH, r))
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
    if (!TextToBlock(port, data, r.length, used))
        return;

    if (!board::BlockAligned(width, r.address, static_cast<std::uint32_t>(used))) {
        port.ShowMessage(Window::Main, kDwordAlign, Icon::Error);
        return;
    }

    if (!MemBaseKnown(s))
        return;

    const bool written =
        WriteBlock(s, board::Space::Mem, width, s.conn.card.memBase + r.address, used);
    ReportWrite(port, written);
}

void MemClear(Session &s)
{
    s.port.SetText(IDC_MEM_DATA, "");
}
