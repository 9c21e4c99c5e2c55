#include "panels.h"

// Handlers arrive with the panel's own change.
void LevelTest(Session &) {}
void EdgeTest(Session &) {}
static void TZAPI NoRoutine(void) {}
TZ_INT_ROUTINE InterruptRoutineFor(Session &) { return NoRoutine; }
