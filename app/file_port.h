// Whole-file access for the flash image. Kept behind an interface so the
// flash panel runs in host tests; the Win32 build uses the wide file API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FilePort {
  public:
    virtual ~FilePort() = default;

    enum class ReadResult {
        Ok,
        OpenFailed,
        SizeFailed,
        TooLarge,
        AllocFailed,
        ReadFailed
    };
    // Reads the whole file when it holds at most maxSize bytes.
    virtual ReadResult ReadWholeFile(const std::string &path, std::size_t maxSize,
                                     std::vector<std::uint8_t> &data) = 0;

    enum class WriteResult {
        Ok,
        CreateFailed,
        WriteFailed
    };
    // Replaces the file by exactly these bytes: written to a temporary file in
    // the same folder first and moved over the target only when complete, so
    // a failure leaves an existing file as it was and no new file behind.
    // Where no temporary can be made, the target is written directly.
    virtual WriteResult ReplaceFile(const std::string &path, const std::uint8_t *data,
                                    std::size_t size) = 0;
};
