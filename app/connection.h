// Enumeration, open and close of one card, and the information panel.
#pragma once

#include "session.h"

// Probes indices 0-15 and writes the status box.
void EnumerateDevices(Session &s);
// Open (control 1140) and close (control 1139).
void OpenDevice(Session &s);
void CloseDevice(Session &s);
