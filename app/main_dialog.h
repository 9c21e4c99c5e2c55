// The main dialog's logic: start-up, command dispatch, exit and the
// interrupt count message. The Win32 dialog procedure forwards to these.
#pragma once

#include "session.h"

// Exit code when the device library cannot be loaded.
constexpr int kExitNoLibrary = 129;
// Exit code of a normal exit.
constexpr int kExitNormal = 1;

using LibraryLoader = bool (*)(DeviceLibrary &table);

// WM_INITDIALOG, after the main dialog's handle is stored: control set-up,
// library load, enumeration. Returns false when the library cannot be
// loaded; the message has been shown and the main dialog ended with 129.
bool InitialiseMainDialog(Session &s, LibraryLoader load);

// Control set-up of the main dialog (combo lists, limits, hex-key filter,
// initial texts, device controls disabled).
void SetUpMainControls(DialogPort &port);

// WM_COMMAND: true when the identifier is one of the main dialog's commands.
bool DispatchCommand(Session &s, int id);

// The interrupt count message (1025).
void OnInterruptCountMessage(Session &s);
