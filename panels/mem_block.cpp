#include "panels.h"

// Handlers arrive with the panel's own change.
void MemRead(Session &, int) {}
void MemWrite(Session &, int) {}
