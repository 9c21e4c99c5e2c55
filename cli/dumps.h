// Bytes laid out as the bench tools people know lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tzctl {

// hexdump -C: address, 16 bytes in two groups of 8, |ascii|, '*' for
// repeated lines, and the end address last.
std::string HexDump(std::uint32_t start, const std::vector<std::uint8_t> &bytes);
// Configuration space as PCI tools print it: "00: xx xx ... xx" per 16 bytes.
std::string ConfigDump(const std::vector<std::uint8_t> &bytes);
// The PCI address a card is shown at: the library does not tell the real
// one, so the card's index is the device number ("00:01.0" for card 1).
std::string PciAddress(unsigned long index);
// The line PCI tools begin a device with, from its configuration bytes:
// "00:00.0 Communication controller: Device 7a5d:5834 (rev 01)".
std::string PciDeviceLine(unsigned long index, const std::vector<std::uint8_t> &bytes);
// EEPROM as I2C tools print it: a column header, then rows with ASCII.
std::string I2cDump(const std::vector<std::uint8_t> &bytes);

}  // namespace tzctl
