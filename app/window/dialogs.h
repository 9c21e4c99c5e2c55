// The dialog procedures of the three templates and the one session they
// all work on.
#pragma once

#include <windows.h>

#include "session.h"
#include "win32_port.h"

// Set once by the entry before the main dialog is created.
void AttachSession(Win32DialogPort &port, Session &session);

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK IdentityDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HelpDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
