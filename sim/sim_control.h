// Control of the simulated board library from host tests: restart the bench
// with a given configuration, bind the program's function table to it, look
// at the calls it received and reach straight into the simulated hardware.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "device_library.h"

namespace tzsim {

// Re-creates the bench exactly as a fresh library load with this
// configuration text (see sim/README.md; empty text = the default bench).
// Environment variables are not consulted: there is no state file and no
// trace unless the text names them. Stops the interrupt thread first, so it
// must not be called from an interrupt routine.
void Reset(const std::string &configText = std::string());

// Lines of the configuration that were ignored, as "line N: reason".
std::vector<std::string> ConfigWarnings();

// What the library told the user since the last load, one text each (a
// state file it could not read and kept aside).
std::vector<std::string> Notices();

// Resolver for BindDeviceLibrary: the simulator's function of that name, or
// null. BindTable binds every entry of the table.
void *ResolveExport(void *context, const char *name);
void BindTable(DeviceLibrary &table);

// One library call as received. args: every scalar argument in order,
// pointer arguments left out (for TZ810StreamSPI the input length, read
// through its pointer, stands in its place). data: the bytes written or
// sent (AccessBlock writes, WriteFlash, StreamSPI output). out: the bytes
// the call handed back through its pointers on success (ULONG results as 4
// little-endian bytes). result: the return value as 32 bits (a handle as
// its value, -1 as 0xFFFFFFFF; 0 for CloseDevice).
struct Call {
    std::string name;
    std::vector<std::uint32_t> args;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> out;
    std::uint32_t result = 0;
};

std::vector<Call> Calls();
void ClearCalls();
std::size_t CountCalls(const std::string &name);

// Direct access to the simulated hardware, bypassing every rule of the
// library (read-only bytes, open state, locks). Absent cards read 0 and
// ignore writes. Setting an I/O window byte stores it without register side
// effects (no edge is seen) but the interrupt condition is re-evaluated.
std::uint8_t EepromByte(unsigned index, unsigned address);
void SetEepromByte(unsigned index, unsigned address, std::uint8_t value);
std::uint8_t FlashByte(unsigned address);
void SetFlashByte(unsigned address, std::uint8_t value);
std::uint8_t ConfigByte(unsigned index, unsigned offset);
void SetConfigByte(unsigned index, unsigned offset, std::uint8_t value);
std::uint8_t IoWindowByte(unsigned index, unsigned offset);
void SetIoWindowByte(unsigned index, unsigned offset, std::uint8_t value);
std::uint8_t IoSpaceByte(unsigned address);
void SetIoSpaceByte(unsigned address, std::uint8_t value);
std::uint8_t MemByte(unsigned index, unsigned offset);
void SetMemByte(unsigned index, unsigned offset, std::uint8_t value);
bool IsOpen(unsigned index);
// Everything a program can change, as one block: the flash, then per card
// present its configuration space, I/O window, EEPROM, MEM window and
// whether a routine is registered, then the flash lock. Equal snapshots:
// nothing changed.
std::vector<std::uint8_t> Snapshot();
// Whether an interrupt routine is registered for the card.
bool HasRoutine(unsigned index);

// Waits until no interrupt delivery is pending or running; false when that
// did not happen within the timeout (e.g. a level request nobody answers).
bool WaitForInterrupts(int timeoutMs);
// Calls of interrupt routines since the last Reset, and the thread that made
// the latest one (a default id before the first).
std::size_t RoutineCalls();
std::thread::id LastRoutineThread();

}  // namespace tzsim
