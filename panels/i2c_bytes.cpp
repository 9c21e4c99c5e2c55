// I2C panel: one byte of the card's 24C02 EEPROM (I2C device 0x50), read or
// written at a byte address typed in hexadecimal. Addresses 0x00-0x1F are
// the identity block that the identity EEPROM dialog works on as a whole.
#include <string>

#include "format.h"
#include "board.h"
#include "hex_box.h"
#include "hextext.h"
#include "panels.h"
#include "resource.h"

namespace {

constexpr UCHAR kEepromDevice = board::kEepromI2cAddress;

// Both boxes hold two hexadecimal digits; no more than that is looked at.
constexpr std::size_t kBoxChars = 2;

}  // namespace

void I2cRead(Session &s)
{
    DialogPort &port = s.port;
    const std::string addressText = BoxText(port, IDC_I2C_ADDR, kBoxChars);
    if (!CharactersOk(port, addressText))
        return;
    const UCHAR address =
        static_cast<UCHAR>(HexTextToValue(addressText.data(), addressText.size(), HexWidth::Byte));
    if (addressText.empty()) {
        port.ShowMessage(Window::Main, "请输入地址!", Icon::None);
        return;
    }

    UCHAR value = 0;
    if (!s.lib.TZ810mReadI2C(s.conn.card.index, kEepromDevice, address, &value)) {
        port.ShowMessage(Window::Main, "读数据失败!", Icon::Error);
        return;
    }
    port.SetText(IDC_I2C_DATA, Format("%02X", value));
}

void I2cWrite(Session &s)
{
    DialogPort &port = s.port;
    const std::string addressText = BoxText(port, IDC_I2C_ADDR, kBoxChars);
    if (!CharactersOk(port, addressText))
        return;
    const UCHAR address =
        static_cast<UCHAR>(HexTextToValue(addressText.data(), addressText.size(), HexWidth::Byte));

    const std::string data = BoxText(port, IDC_I2C_DATA, kBoxChars);
    if (!CharactersOk(port, data))
        return;
    // Two digits at most, so the word-width value always fits the byte.
    const UCHAR value =
        static_cast<UCHAR>(HexTextToValue(data.data(), data.size(), HexWidth::Word));

    if (addressText.empty() || data.empty()) {
        port.ShowMessage(Window::Main, "请输入地址和数据!", Icon::None);
        return;
    }

    // Neither delayed nor read back.
    if (s.lib.TZ810mWriteI2C(s.conn.card.index, kEepromDevice, address, value))
        port.ShowMessage(Window::Main, "写数据成功!", Icon::None);
    else
        port.ShowMessage(Window::Main, "写数据失败!", Icon::Error);
}
