// Identity EEPROM dialog (template 103): the five PCI identity values that
// the card loads from the first 32 bytes of its 24C02 at power-up. The block
// is always read and written whole, one byte per library call.
#include <cstddef>
#include <string>

#include "board.h"
#include "format.h"
#include "hex_box.h"
#include "hextext.h"
#include "panels.h"
#include "resource.h"

namespace {

constexpr int kDialogEndCode = 0;

const char kReadFailed[] = "读EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteFailed[] = "写EEPROM失败,可能EEPROM损坏或没有连接";
const char kWriteDone[] = "写EEPROM完成";

// One identity value: its box and how much of the box is taken and how.
struct Field {
    int box;
    std::size_t chars;
    HexWidth width;
};

// In box order, which is the order of reading, checking and showing.
const Field kFields[] = {
    {IDC_VID, 4, HexWidth::Word},  {IDC_DID, 4, HexWidth::Word}, {IDC_RID, 2, HexWidth::Byte},
    {IDC_SVID, 4, HexWidth::Word}, {IDC_SID, 4, HexWidth::Word},
};
constexpr std::size_t kFieldCount = sizeof kFields / sizeof kFields[0];

// Order in which the boxes get the hex-key filter.
const int kFilterOrder[] = {IDC_DID, IDC_VID, IDC_RID, IDC_SID, IDC_SVID};

// Reads the whole block and shows it; on the first failed byte the boxes
// stay as they were and the dialog ends.
void ReadIdentityBlock(Session &s)
{
    DialogPort &port = s.port;
    board::IdentityBlock block{};
    if (!board::ReadIdentityBlock(s.conn.card, block).ok()) {
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
    const board::Identity id = board::DecodeIdentity(block);
    const unsigned values[kFieldCount] = {id.vid, id.did, id.rid, id.svid, id.sid};
    for (std::size_t i = 0; i < kFieldCount; ++i)
        port.SetText(kFields[i].box,
                     Format(kFields[i].width == HexWidth::Byte ? "%02X" : "%04X", values[i]));
}

// Rebuilds the whole block from the five boxes and writes it byte by byte.
// Nothing is refused for its meaning, and the boxes keep their text as typed.
void WriteIdentityBlock(Session &s)
{
    DialogPort &port = s.port;
    std::uint16_t values[kFieldCount] = {};
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const Field &f = kFields[i];
        std::string text = port.Text(f.box);
        if (text.size() > f.chars)
            text.resize(f.chars);
        // Every box must hold a value here, so an empty one is refused too.
        if (!IsHexText(text)) {
            port.ShowMessage(Window::None, kBadCharacterMessage, Icon::Error);
            return;
        }
        values[i] = HexTextToValue(text.data(), text.size(), f.width);
    }

    const board::Identity id{values[0], values[1], static_cast<UCHAR>(values[2]), values[3],
                             values[4]};
    const board::IdentityBlock block = board::EncodeIdentity(id);
    // An EEPROM whose write protection is on acknowledges every byte and keeps
    // its old ones: only the block read back tells a write that took.
    const bool written =
        board::WriteBytesChecked(s.conn.card, board::ByteSpace::Eeprom, 0,
                                 std::vector<std::uint8_t>(block.begin(), block.end()),
                                 [&port](unsigned ms) { port.Sleep(ms); })
            .ok();
    port.ShowMessage(Window::Identity, written ? kWriteDone : kWriteFailed, Icon::None);
}

}  // namespace

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
    case kDialogCancel:
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
