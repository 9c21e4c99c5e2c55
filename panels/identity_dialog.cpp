// Identity EEPROM dialog (template 103): the five PCI identity values that
// the card loads from the first 32 bytes of its 24C02 at power-up. The block
// is always read and written whole, one byte per library call.
//
// Block layout (24C02 byte addresses, 16-bit values low byte first):
//   00 78   01-03 00   04-05 VID   06-07 DID   08 RID   09-0A 00   0B 10
//   0C-0D SVID   0E-0F SID   10-1F 00
#include <cstddef>
#include <string>

#include "hextext.h"
#include "messages.h"
#include "panels.h"
#include "resource.h"

namespace {

constexpr UCHAR kEepromDevice = TZ_EEPROM_I2C_ADDRESS;
constexpr int kBlockBytes = 0x20;
constexpr UCHAR kBlockHeader = 0x78;  // byte 0x00: marks a valid identity block
constexpr int kFixed10Address = 0x0B;
constexpr UCHAR kFixed10Value = 0x10;
// The 24C02 needs time to store each byte before it takes the next.
constexpr unsigned kWritePauseMs = 20;

constexpr int kDialogEndCode = 0;

const char kReadFailed[] = "读EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteFailed[] = "写EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteDone[] = "写EEPROM完成";

// One identity value: its box, how much of the box is taken and how, and
// where it sits in the block (high < 0: a single byte).
struct Field {
    int box;
    std::size_t chars;
    HexWidth width;
    int low;
    int high;
};

// In box order, which is the order of reading, checking and showing.
const Field kFields[] = {
    {IDC_VID, 4, HexWidth::Word, 0x04, 0x05},
    {IDC_DID, 4, HexWidth::Word, 0x06, 0x07},
    {IDC_RID, 2, HexWidth::Byte, 0x08, -1},
    {IDC_SVID, 4, HexWidth::Word, 0x0C, 0x0D},
    {IDC_SID, 4, HexWidth::Word, 0x0E, 0x0F},
};

// Order in which the boxes get the hex-key filter.
const int kFilterOrder[] = {IDC_DID, IDC_VID, IDC_RID, IDC_SID, IDC_SVID};

// Reads the whole block and shows it; on the first failed byte the boxes
// stay as they were and the dialog ends.
void ReadIdentityBlock(Session &s)
{
    DialogPort &port = s.port;
    UCHAR block[kBlockBytes] = {};
    for (int address = 0; address < kBlockBytes; ++address) {
        if (!s.lib.TZ810mReadI2C(s.conn.index, kEepromDevice, static_cast<UCHAR>(address),
                                 &block[address])) {
            port.ShowMessage(Window::Identity, kReadFailed, Icon::None);
            // The dialog is going, so "配置信息" must work again; unless a
            // close ended this dialog while the box was up and left the
            // button off, and another dialog may be up by now.
            if (port.IsShown(Window::Identity)) {
                port.Enable(IDC_IDENTITY, true);
                port.EndDialog(Window::Identity, kDialogEndCode);
            }
            return;
        }
    }
    for (const Field &f : kFields) {
        if (f.high < 0)
            port.SetText(f.box, Format("%02X", block[f.low]));
        else
            port.SetText(f.box, Format("%02X%02X", block[f.high], block[f.low]));
    }
}

// Rebuilds the whole block from the five boxes and writes it byte by byte.
// Nothing is refused for its meaning, and the boxes keep their text as typed.
void WriteIdentityBlock(Session &s)
{
    DialogPort &port = s.port;
    UCHAR block[kBlockBytes] = {};
    block[0] = kBlockHeader;
    block[kFixed10Address] = kFixed10Value;
    for (const Field &f : kFields) {
        std::string text = port.Text(f.box);
        if (text.size() > f.chars)
            text.resize(f.chars);
        // Every box must hold a value here, so an empty one is refused too.
        if (!IsHexText(text)) {
            port.ShowMessage(Window::None, kBadCharacterMessage, Icon::Error);
            return;
        }
        const std::uint16_t value = HexTextToValue(text.data(), text.size(), f.width);
        block[f.low] = static_cast<UCHAR>(value & 0xFF);
        if (f.high >= 0)
            block[f.high] = static_cast<UCHAR>(value >> 8);
    }

    for (int address = 0; address < kBlockBytes; ++address) {
        if (!s.lib.TZ810mWriteI2C(s.conn.index, kEepromDevice, static_cast<UCHAR>(address),
                                  block[address])) {
            port.ShowMessage(Window::Identity, kWriteFailed, Icon::None);
            return;
        }
        port.Sleep(kWritePauseMs);
    }
    port.ShowMessage(Window::Identity, kWriteDone, Icon::None);
}

} // namespace

void IdentityDialogInit(Session &s)
{
    DialogPort &port = s.port;
    // One identity dialog at a time.
    port.Enable(IDC_IDENTITY, false);
    for (const Field &f : kFields)
        port.SetTextLimit(f.box, static_cast<int>(f.chars));
    for (int box : kFilterOrder)
        port.InstallHexFilter(box);
    ReadIdentityBlock(s);
}

bool IdentityDialogCommand(Session &s, int id)
{
    switch (id) {
    case 2:  // IDCANCEL: close box or Esc
        s.port.Enable(IDC_IDENTITY, true);
        s.port.EndDialog(Window::Identity, kDialogEndCode);
        return true;
    case IDC_EEPROM_WRITE:
        WriteIdentityBlock(s);
        return true;
    case IDC_EEPROM_READ:
        ReadIdentityBlock(s);
        return true;
    default:
        return false;
    }
}
