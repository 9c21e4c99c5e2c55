#include "connection.h"

#include <initializer_list>
#include <vector>

#include "board.h"
#include "device_controls.h"
#include "format.h"
#include "guards.h"
#include "panels.h"
#include "resource.h"

namespace {

const int kEmptiedAtClose[] = {IDC_INT_LINE,   IDC_FLASH_STATUS,  IDC_IO_BASE,   IDC_MEM_BASE,
                               IDC_PULSE_NOW,  IDC_IO_ADDR,       IDC_IO_LENGTH, IDC_IO_DATA,
                               IDC_MEM_ADDR,   IDC_MEM_LENGTH,    IDC_MEM_DATA,  IDC_I2C_ADDR,
                               IDC_I2C_DATA,   IDC_CFG_ADDR,      IDC_CFG_DATA,  IDC_LEVEL_COUNT,
                               IDC_EDGE_COUNT, IDC_DRIVER_VERSION};

const int kCombosResetAtClose[] = {IDC_DEVICE_COMBO, IDC_PULSE_COMBO, IDC_IO_WIDTH,
                                   IDC_IO_ADDR_TYPE, IDC_MEM_WIDTH,   IDC_SPI_MODE,
                                   IDC_SPI_CLOCK};

const char kUnrecognisedAtOpen[] =
    "未能识别您的设备,如果您更改了设备标识,即设备的配置寄存器中的02H空间,"
    "请将程序中相应的代码更改一下";

// Type codes of the enumeration's table, as the status text knows them.
enum : int {
    kTypeTz820 = 1,
    kTypeTz810 = 2
};

void ShowCannotOpen(Session &s)
{
    s.port.ShowMessage(
        Window::Main,
        Format("无法打开设备%d,请确保设备已经插入", static_cast<int>(s.conn.card.index)),
        Icon::Error);
}

void ShowDriverVersion(Session &s)
{
    ULONG version = s.lib.TZ810GetDrvVersion();
    if (!s.port.SetText(IDC_DRIVER_VERSION, Format("%lx", static_cast<unsigned long>(version))))
        s.port.ShowMessage(Window::Main, "未能成功获得驱动版本号!", Icon::Error);
}

// What the open shows before it reads the bases.
void FillOpenedCard(Session &s)
{
    const board::Card &card = s.conn.card;
    DialogPort &port = s.port;

    if (card.chip == board::Chip::TZ820) {
        for (int control : kTz820Controls)
            port.Enable(control, true);
        port.SetChecked(IDC_MEM_32BIT, true);
    }
    s.conn.open = true;
    ShowDriverVersion(s);

    ULONG line = 0;
    if (s.lib.TZ810mGetIntLine(card.index, &line)) {
        port.SetText(IDC_INT_LINE, Format("%02lX", static_cast<unsigned long>(line)));
    } else {
        port.ShowMessage(Window::Main, "获得中断号失败!", Icon::Error);
        port.SetText(IDC_INT_LINE, "");
    }
}

// The rest of the information panel, from the bases the open read.
void FillInformationPanel(Session &s)
{
    const board::Card &card = s.conn.card;
    DialogPort &port = s.port;

    if (card.ioBaseKnown) {
        port.SetText(IDC_IO_BASE, Format("%04lX", static_cast<unsigned long>(card.ioBase)));
    } else {
        port.ShowMessage(Window::Main, kIoBaseFailed, Icon::Error);
        port.SetText(IDC_IO_BASE, "");
    }

    if (card.chip == board::Chip::TZ820) {
        if (card.memBaseKnown) {
            port.SetText(IDC_MEM_BASE, Format("%08lX", static_cast<unsigned long>(card.memBase)));
        } else {
            port.ShowMessage(Window::Main, kMemBaseFailed, Icon::Error);
            port.SetText(IDC_MEM_BASE, "");
        }
    }

    // The pulse register lies at a base this open has not read: it belongs
    // to another card, or to the system.
    if (!card.ioBaseKnown)
        return;

    UCHAR pulse = 0;
    bool pulseRead = board::ReadPulseRegister(card, pulse);
    if (pulseRead)
        port.SetText(IDC_PULSE_NOW, Format("%u", board::PulseNsFromRegister(pulse)));
    else
        port.ShowMessage(Window::Main, "当前脉冲读取失败", Icon::Error);

    // A TZ820 opens with 32-bit I/O on, matching the ticked box. Without a
    // register value read there is nothing safe to write back.
    if (card.chip == board::Chip::TZ820 && pulseRead) {
        if (!board::WritePulseRegister(card, static_cast<UCHAR>(pulse | board::k32BitIo)))
            port.ShowMessage(Window::Main, "32位IO读写设置失败", Icon::None);
    }
}

}  // namespace

void EnumerateDevices(Session &s)
{
    std::vector<int> types;
    for (ULONG index = 0; index < 16; ++index) {
        if (s.lib.TZ810mOpenDevice(index, 0, 1, 0) != TZ_INVALID_HANDLE) {
            UCHAR id = 0;
            s.lib.TZ810mReadConfig(index, board::kDeviceIdLowOffset, &id);
            switch (board::ChipFromDeviceIdByte(id)) {
            case board::Chip::TZ820:
                types.push_back(kTypeTz820);
                break;
            case board::Chip::TZ810:
                types.push_back(kTypeTz810);
                break;
            case board::Chip::Unknown:
                // An unknown card ends the probe at once; the status box
                // stays as it was.
                s.lib.TZ810mCloseDevice(index);
                s.port.ShowMessage(Window::None,
                                   Format("未能识别您的设备%d，如果您更改了设备标识,即设备的配置"
                                          "寄存器中的02H空间，请将程序中相应的代码更改一下",
                                          static_cast<int>(index)),
                                   Icon::None);
                return;
            }
        }
        s.lib.TZ810mCloseDevice(index);
    }

    std::string status = Format("已检测到%d台设备. ", static_cast<int>(types.size()));
    for (size_t j = 0; j < types.size(); ++j)
        status += Format(types[j] == kTypeTz810 ? "设备%d为TZ810设备. " : "设备%d为TZ820设备. ",
                         static_cast<int>(j));
    s.port.SetText(IDC_STATUS, status);
}

void OpenDevice(Session &s)
{
    Connection &c = s.conn;
    DialogPort &port = s.port;

    s.irq.ClearCalls();

    if (c.open) {
        port.ShowMessage(Window::Main, c.lastOpenStatus, Icon::None);
        return;
    }

    // No selection (-1) becomes 255, an index no card answers to.
    const ULONG index = static_cast<std::uint8_t>(port.ComboSelection(IDC_DEVICE_COMBO));
    // The driver version and the interrupt line are asked for between the
    // open and the bases, as this program always has.
    switch (board::OpenCard(s.lib, index, c.card, [&] { FillOpenedCard(s); })) {
    case board::OpenStatus::Opened:
        break;
    case board::OpenStatus::Unrecognised:
        port.ShowMessage(Window::Main, kUnrecognisedAtOpen, Icon::None);
        return;
    case board::OpenStatus::NoCard:
    case board::OpenStatus::OpenFailed:
        // A TZ820 that cannot be opened again with its MEM window is left
        // closed, and reported as any card that cannot be opened.
        ShowCannotOpen(s);
        return;
    }

    FillInformationPanel(s);
    WatchInterrupts(s);

    c.lastOpenStatus =
        Format(c.card.chip == board::Chip::TZ820 ? "TZ820设备%d已经打开" : "TZ810设备%d已经打开",
               static_cast<int>(c.card.index));
    port.SetText(IDC_STATUS, c.lastOpenStatus);

    for (int control : kDeviceButtons)
        port.Enable(control, true);
    port.Enable(IDC_OPEN, false);
    port.Enable(IDC_DEVICE_COMBO, false);

    IdentifyFlash(s);
}

void CloseDevice(Session &s)
{
    Connection &c = s.conn;
    DialogPort &port = s.port;

    if (!c.open) {
        ShowNotOpen(s);
        return;
    }

    s.lib.TZ810mCloseDevice(c.card.index);
    c.open = false;
    s.irq.ClearCalls();
    c.card.chip = board::Chip::Unknown;

    port.SetText(IDC_LEVEL_COUNT, "");
    port.SetText(IDC_EDGE_COUNT, "");
    port.SetText(IDC_STATUS, Format("设备%d已经关闭", static_cast<int>(c.card.index)));

    for (int control : kDeviceControls)
        port.Enable(control, false);
    port.Enable(IDC_OPEN, true);
    port.Enable(IDC_DEVICE_COMBO, true);

    if (port.IsShown(Window::Identity))
        port.EndDialog(Window::Identity, kDialogOk);
    if (port.IsShown(Window::Help))
        port.EndDialog(Window::Help, kDialogCancel);

    for (int control : kEmptiedAtClose)
        port.SetText(control, "");
    for (int combo : kCombosResetAtClose)
        port.SelectComboEntry(combo, 0);
}
