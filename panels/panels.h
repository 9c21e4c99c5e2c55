// The button handlers of the device panels, one source file per panel.
// Each reads its boxes through the dialog port, checks them, makes its
// library call through the session's table and reports.
#pragma once

#include "session.h"

// Pulse width and 32-bit I/O switch (pulse_width.cpp).
int SetPulseWidth(Session &s);  // 1 after a successful write, else 0
void Toggle32BitAccess(Session &s);

// I/O block (io_block.cpp); its combos choose the width and whether the
// address is an offset into the card's window or direct.
void IoRead(Session &s);
void IoWrite(Session &s);
void IoClear(Session &s);

// MEM block (mem_block.cpp); its combo chooses the width.
void MemRead(Session &s);
void MemWrite(Session &s);
void MemClear(Session &s);

// I2C bytes (i2c_bytes.cpp).
void I2cRead(Session &s);
void I2cWrite(Session &s);

// Identity EEPROM dialog (identity_dialog.cpp).
void IdentityDialogInit(Session &s);             // WM_INITDIALOG
bool IdentityDialogCommand(Session &s, int id);  // WM_COMMAND; true if handled

// Configuration space (config_space.cpp).
void ConfigRead(Session &s);
void ConfigWrite(Session &s);

// SPI and flash (spi_flash.cpp).
void SetSpiMode(Session &s);
void IdentifyFlash(Session &s);  // last step of every successful open
void FlashRead(Session &s);
void FlashWrite(Session &s);
void FlashErase(Session &s);

// Interrupt demonstration (interrupt_demo.cpp).
void LevelTest(Session &s);
void EdgeTest(Session &s);
// Registers the session's watcher for the open card, its count message
// posted after every call of the routine.
void WatchInterrupts(Session &s);
