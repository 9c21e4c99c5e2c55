// A dry run (-D): the card is read as usual and written never.
#pragma once

#include <string>

#include "device_library.h"
#include "numbers.h"

namespace tzctl {

// The table with every function that changes the card refusing, as a call
// the card did not answer; reads pass through. A command says the writes it
// would make before it gets to them: this is for the one it did not foresee,
// which fails instead of reaching the card.
DeviceLibrary WithoutWrites(const DeviceLibrary &lib);

// One write of bytes as a plan says it: "4 bytes 01 02 03 04 to EEPROM
// 0x10-0x13", the bytes themselves up to two dump lines' worth; with what
// the range holds now (the same length), how many of them would change.
std::string BytesPlan(const Bytes &bytes, const char *where, std::uint32_t start,
                      const Bytes &now = {});

}  // namespace tzctl
