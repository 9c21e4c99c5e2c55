#include "panels.h"

// Handlers arrive with the panel's own change.
void I2cRead(Session &) {}
void I2cWrite(Session &) {}
