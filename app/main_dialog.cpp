#include "main_dialog.h"

#include "connection.h"
#include "device_controls.h"
#include "format.h"
#include "guards.h"
#include "panels.h"
#include "resource.h"

namespace {

// Boxes that take only hexadecimal keys, in the order they are filtered.
const int kHexBoxes[] = {IDC_IO_ADDR,  IDC_IO_LENGTH, IDC_IO_DATA,  IDC_MEM_ADDR, IDC_MEM_LENGTH,
                         IDC_MEM_DATA, IDC_I2C_ADDR,  IDC_I2C_DATA, IDC_CFG_ADDR, IDC_CFG_DATA};

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
template <auto Handler> void Guarded(Session &s)
{
    if (s.conn.open)
        Handler(s);
    else
        ShowNotOpen(s);
}

void RunHelpDialog(Session &s)
{
    s.port.RunDialog(Window::Help);
}

void RunIdentityDialog(Session &s)
{
    s.port.RunDialog(Window::Identity);
}

struct Command {
    int id;
    void (*handler)(Session &s);
};

// The main dialog's commands. Among the identifiers left out is kDialogOk,
// which Enter sends: no button is the default one, so Enter does nothing.
const Command kCommands[] = {
    {kDialogCancel, Exit},
    {IDC_EXIT, Exit},
    {IDC_OPEN, OpenDevice},
    {IDC_CLOSE, CloseDevice},
    {IDC_HELP, RunHelpDialog},
    {IDC_IDENTITY, Guarded<RunIdentityDialog>},
    {IDC_PULSE_SET, Guarded<SetPulseWidth>},
    {IDC_MEM_32BIT, Toggle32BitAccess},
    {IDC_IO_READ, Guarded<IoRead>},
    {IDC_IO_WRITE, Guarded<IoWrite>},
    {IDC_IO_CLEAR, IoClear},
    {IDC_MEM_READ, Guarded<MemRead>},
    {IDC_MEM_WRITE, Guarded<MemWrite>},
    {IDC_MEM_CLEAR, MemClear},
    {IDC_I2C_READ, Guarded<I2cRead>},
    {IDC_I2C_WRITE, Guarded<I2cWrite>},
    {IDC_SPI_SET, Guarded<SetSpiMode>},
    {IDC_FLASH_READ, FlashRead},
    {IDC_FLASH_WRITE, FlashWrite},
    {IDC_FLASH_ERASE, FlashErase},
    {IDC_CFG_READ, Guarded<ConfigRead>},
    {IDC_CFG_WRITE, Guarded<ConfigWrite>},
    {IDC_LEVEL_TEST, LevelTest},
    {IDC_EDGE_TEST, EdgeTest},
};

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

    // Everything that needs an open device starts disabled.
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
    for (const Command &command : kCommands) {
        if (command.id == id) {
            command.handler(s);
            return true;
        }
    }
    return false;
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
