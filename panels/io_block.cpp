#include "panels.h"

// Handlers arrive with the panel's own change.
void IoRead(Session &, int, int) {}
void IoWrite(Session &, int, int) {}
