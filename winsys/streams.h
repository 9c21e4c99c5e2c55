// The standard output and error streams, which may be a console window, a
// file or a pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class StdStream {
    Out,
    Err
};

bool IsConsole(StdStream stream);
// Writes UTF-8 text: a console gets it as UTF-16, a file or a pipe the bytes
// as they are. False when any of it could not be written.
bool WriteStd(StdStream stream, const std::string &text);
// Bytes as they are, for a pipe or a file; no console translation.
bool WriteStdBytes(const std::vector<std::uint8_t> &data);
// Standard input to its end, at most `most` bytes of it; false on an error.
bool ReadStdBytes(std::size_t most, std::vector<std::uint8_t> &data);
bool StdInIsConsole();
