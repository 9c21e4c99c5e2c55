// Configuration-space panel: one byte of the opened card's PCI configuration
// space, read or written at an offset typed in hexadecimal. Which bytes
// really change on a write is the card's business; the panel passes any
// offset its box can hold.
#include <string>

#include "format.h"
#include "hex_box.h"
#include "hextext.h"
#include "panels.h"
#include "resource.h"

namespace {

// Both boxes hold two hexadecimal digits; no more than that is looked at.
constexpr std::size_t kBoxChars = 2;

}  // namespace

void ConfigRead(Session &s)
{
    DialogPort &port = s.port;
    const std::string address = BoxText(port, IDC_CFG_ADDR, kBoxChars);
    if (!CharactersOk(port, address))
        return;
    const ULONG offset = HexTextToValue(address.data(), address.size(), HexWidth::Word);
    if (address.empty()) {
        port.ShowMessage(Window::Main, "请输入地址!", Icon::None);
        return;
    }

    UCHAR value = 0;
    if (!s.lib.TZ810mReadConfig(s.conn.card.index, offset, &value)) {
        port.ShowMessage(Window::Main, "读数据失败!", Icon::Error);
        return;
    }
    port.SetText(IDC_CFG_DATA, Format("%02X", value));
}

void ConfigWrite(Session &s)
{
    DialogPort &port = s.port;
    const std::string address = BoxText(port, IDC_CFG_ADDR, kBoxChars);
    if (!CharactersOk(port, address))
        return;
    const ULONG offset = HexTextToValue(address.data(), address.size(), HexWidth::Word);

    const std::string data = BoxText(port, IDC_CFG_DATA, kBoxChars);
    if (!CharactersOk(port, data))
        return;
    const UCHAR value =
        static_cast<UCHAR>(HexTextToValue(data.data(), data.size(), HexWidth::Byte));

    if (address.empty() || data.empty()) {
        port.ShowMessage(Window::Main, "请输入地址和数据!", Icon::None);
        return;
    }

    // Accepted is all a success means: a read-only byte takes the write
    // without changing, and nothing is read back.
    if (s.lib.TZ810mWriteConfig(s.conn.card.index, offset, value))
        port.ShowMessage(Window::Main, "写数据成功!", Icon::None);
    else
        port.ShowMessage(Window::Main, "写数据失败!", Icon::Error);
}
