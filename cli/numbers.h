// Numbers and bytes as typed on a command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tzctl {

using Bytes = std::vector<std::uint8_t>;

// Hexadecimal with or without 0x, at most `max`; false for anything else.
bool ParseHexNumber(const std::string &text, std::uint32_t max, std::uint32_t &value);
// Bytes as typed: 0x12, a single digit 1, hex pairs 0102ab, and lists of
// these in one argument ("01 02 ab"); false for anything else or none.
bool ParseHexBytes(const std::vector<std::string> &args, Bytes &bytes);

// A hex number up to max, or a usage stop naming `what`.
std::uint32_t Hex(const std::string &text, std::uint32_t max, const char *what);
// A hex length from 1 up to max: a length of 0 asks for nothing.
std::uint32_t Length(const std::string &text, std::uint32_t max);
// Decimal digits only, so 010 is ten and 0x3c no number, from min to max.
unsigned Decimal(const std::string &text, unsigned min, unsigned max, const char *what);
// Bytes as typed (ParseHexBytes), or a usage stop.
Bytes HexBytes(const std::vector<std::string> &args);

}  // namespace tzctl
