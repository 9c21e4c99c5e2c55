// Registers as a command line names them: NAME|OFF[.b|.w|.l], and for a
// write =VALUE[:MASK]; configuration space by its header's names, the chip by
// its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "context.h"

namespace tzctl {

// One register of a command line: where, how wide, and for a write the value
// and the bits it changes.
struct RegisterTerm {
    std::string label;  // "COMMAND", "0x40", "COMMAND.b": as every line names it
    std::uint32_t offset = 0;
    unsigned width = 1;  // in bytes: 1, 2 or 4
    std::uint32_t value = 0;
    std::uint32_t mask = 0;  // every bit of the width when no mask was given
    bool masked = false;
};

// True when the arguments are configuration registers rather than OFF LEN or
// OFF BYTES: one is a name, has a width suffix or holds '=', or the first is
// no hex number.
bool RegisterForm(const std::vector<std::string> &args);
// Each argument as a configuration register (with its value when `write`),
// or a usage stop naming the first that is not one.
std::vector<RegisterTerm> ConfigTerms(const std::vector<std::string> &args, bool write);
// "0x10", "0x0003", "0x00000000": 0x and the width's digits.
std::string HexValue(std::uint32_t value, unsigned width);
const char *WidthName(unsigned width);  // "byte", "word", "dword"
// What a write leaves: the masked bits from the value, the others as they were.
std::uint32_t Merged(const RegisterTerm &term, std::uint32_t old);
// {"register", "offset", "width", "value"}: a register as JSON tells it.
json RegisterJson(const RegisterTerm &term, std::uint32_t value);

}  // namespace tzctl
