// Whole files by UTF-8 path. A path too long for the plain form is handed to
// the system in its extended form rather than cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class ReadOutcome {
    Ok,
    OpenFailed,
    SizeFailed,
    TooLarge,
    AllocFailed,
    ReadFailed
};
// The whole file when it holds at most maxSize bytes; data is left alone
// otherwise. A file that grows or shrinks while it is read is ReadFailed.
ReadOutcome ReadWholeFile(const std::string &path, std::size_t maxSize,
                          std::vector<std::uint8_t> &data);

enum class ReplaceOutcome {
    Ok,
    CreateFailed,
    WriteFailed
};
// Replaces the file by exactly these bytes: written and flushed to a
// temporary file of its own beside the target and moved over it only when
// complete, so a failure leaves an existing file as it was and no new file
// behind. Where no temporary can be made, the target is written directly.
ReplaceOutcome ReplaceWholeFile(const std::string &path, const std::uint8_t *data,
                                std::size_t size);
