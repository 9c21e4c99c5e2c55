#include "main_dialog.h"

#include "connection.h"
#include "messages.h"
#include "panels.h"
#include "resource.h"

namespace {

// Boxes that take only hexadecimal keys, in the order they are filtered.
const int kHexBoxes[] = {IDC_IO_ADDR,  IDC_IO_LENGTH, IDC_IO_DATA,  IDC_MEM_ADDR, IDC_MEM_LENGTH,
                         IDC_MEM_DATA, IDC_I2C_ADDR,  IDC_I2C_DATA, IDC_CFG_ADDR, IDC_CFG_DATA};

// Everything that needs an open device starts disabled.
const int kDeviceControls[] = {IDC_PULSE_SET,   IDC_MEM_BASE_LABEL, IDC_MEM_BASE,  IDC_FLASH_READ,
                               IDC_FLASH_WRITE, IDC_FLASH_ERASE,    IDC_MEM_32BIT, IDC_IO_CLEAR,
                               IDC_IO_READ,     IDC_IO_WRITE,       IDC_MEM_CLEAR, IDC_MEM_READ,
                               IDC_MEM_WRITE,   IDC_I2C_READ,       IDC_I2C_WRITE, IDC_IDENTITY,
                               IDC_SPI_SET,     IDC_CFG_READ,       IDC_CFG_WRITE, IDC_LEVEL_TEST,
                               IDC_EDGE_TEST,   IDC_CLOSE};

void FillCombo(DialogPort &port, int id, std::initializer_list<const char *> entries)
{
    for (const char *entry : entries)
        port.AddComboEntry(id, entry);
    port.SelectComboEntry(id, 0);
}

void Exit(Session &s)
{
    // Closed by index whether or not a card is open; the dialogs of the
    // identity EEPROM and help are left to end with the process.
    s.lib.TZ810mCloseDevice(s.conn.card.index);
    s.port.EndDialog(Window::Main, kExitNormal);
}

// Runs a handler only while a device is open.
template <typename Handler> void Guarded(Session &s, Handler handler)
{
    if (s.conn.open)
        handler();
    else
        ShowNotOpen(s);
}

}  // namespace

void SetUpMainControls(DialogPort &port)
{
    for (int i = 0; i <= 3; ++i)
        port.AddComboEntry(IDC_DEVICE_COMBO, Format("%d", i));
    port.SelectComboEntry(IDC_DEVICE_COMBO, 0);

    for (int width = 30; width <= 450; width += 30)
        port.AddComboEntry(IDC_PULSE_COMBO, Format("%d ns", width));
    port.SelectComboEntry(IDC_PULSE_COMBO, 0);

    FillCombo(port, IDC_IO_WIDTH, {"字节", "字", "双字"});
    FillCombo(port, IDC_IO_ADDR_TYPE, {"偏移地址", "直接地址"});
    FillCombo(port, IDC_MEM_WIDTH, {"字节", "双字"});
    FillCombo(port, IDC_SPI_MODE, {"SPI3", "SPI4"});
    FillCombo(port, IDC_SPI_CLOCK, {"15.6Mhz", "31.3Mhz"});

    for (int id : {IDC_CFG_ADDR, IDC_CFG_DATA, IDC_I2C_ADDR, IDC_I2C_DATA})
        port.SetTextLimit(id, 2);
    for (int id : {IDC_IO_ADDR, IDC_MEM_ADDR})
        port.SetTextLimit(id, 4);

    for (int id : kHexBoxes)
        port.InstallHexFilter(id);

    port.SetText(IDC_MEM_LENGTH, "1");
    port.SetText(IDC_IO_LENGTH, "1");

    for (int id : kDeviceControls)
        port.Enable(id, false);
}

bool InitialiseMainDialog(Session &s, LibraryLoader load)
{
    SetUpMainControls(s.port);
    // The enumeration already calls into the library, so it is bound first.
    if (!load(s.lib)) {
        s.port.ShowMessage(Window::Main, "无法加载TZ810的DLL", Icon::Error);
        s.port.EndDialog(Window::Main, kExitNoLibrary);
        return false;
    }
    EnumerateDevices(s);
    return true;
}

bool DispatchCommand(Session &s, int id)
{
    DialogPort &port = s.port;
    switch (id) {
    case kDialogCancel:
    case IDC_EXIT:
        Exit(s);
        return true;
    case IDC_OPEN:
        OpenDevice(s);
        return true;
    case IDC_CLOSE:
        CloseDevice(s);
        return true;
    case IDC_HELP:
        port.RunDialog(Window::Help);
        return true;
    case IDC_IDENTITY:
        Guarded(s, [&] { port.RunDialog(Window::Identity); });
        return true;
    case IDC_PULSE_SET:
        Guarded(s, [&] { SetPulseWidth(s); });
        return true;
    case IDC_MEM_32BIT:
        Toggle32BitAccess(s);
        return true;
    case IDC_IO_READ:
        Guarded(s, [&] {
            IoRead(s, port.ComboSelection(IDC_IO_WIDTH), port.ComboSelection(IDC_IO_ADDR_TYPE));
        });
        return true;
    case IDC_IO_WRITE:
        Guarded(s, [&] {
            IoWrite(s, port.ComboSelection(IDC_IO_WIDTH), port.ComboSelection(IDC_IO_ADDR_TYPE));
        });
        return true;
    case IDC_IO_CLEAR:
        port.SetText(IDC_IO_DATA, "");
        return true;
    case IDC_MEM_READ:
        Guarded(s, [&] { MemRead(s, port.ComboSelection(IDC_MEM_WIDTH)); });
        return true;
    case IDC_MEM_WRITE:
        Guarded(s, [&] { MemWrite(s, port.ComboSelection(IDC_MEM_WIDTH)); });
        return true;
    case IDC_MEM_CLEAR:
        port.SetText(IDC_MEM_DATA, "");
        return true;
    case IDC_I2C_READ:
        Guarded(s, [&] { I2cRead(s); });
        return true;
    case IDC_I2C_WRITE:
        Guarded(s, [&] { I2cWrite(s); });
        return true;
    case IDC_SPI_SET:
        Guarded(s, [&] { SetSpiMode(s); });
        return true;
    case IDC_FLASH_READ:
        FlashRead(s);
        return true;
    case IDC_FLASH_WRITE:
        FlashWrite(s);
        return true;
    case IDC_FLASH_ERASE:
        FlashErase(s);
        return true;
    case IDC_CFG_READ:
        Guarded(s, [&] { ConfigRead(s); });
        return true;
    case IDC_CFG_WRITE:
        Guarded(s, [&] { ConfigWrite(s); });
        return true;
    case IDC_LEVEL_TEST:
        LevelTest(s);
        return true;
    case IDC_EDGE_TEST:
        EdgeTest(s);
        return true;
    default:
        // Among the rest is kDialogOk, which Enter sends: no button is the
        // default one, so Enter does nothing.
        return false;
    }
}

void OnInterruptCountMessage(Session &s)
{
    using board::InterruptMode;
    switch (s.irq.Mode()) {
    case InterruptMode::Level:
        s.port.SetText(IDC_LEVEL_COUNT, Format("%u", s.irq.Calls(InterruptMode::Level)));
        break;
    case InterruptMode::Edge:
        s.port.SetText(IDC_EDGE_COUNT, Format("%u", s.irq.Calls(InterruptMode::Edge)));
        break;
    case InterruptMode::None:
        break;
    }
}
