#include "panels.h"

// Handlers arrive with the panel's own change.
void ConfigRead(Session &) {}
void ConfigWrite(Session &) {}
