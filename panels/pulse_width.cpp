#include "panels.h"

// Handlers arrive with the panel's own change.
int SetPulseWidth(Session &) { return 0; }
void Toggle32BitAccess(Session &) {}
