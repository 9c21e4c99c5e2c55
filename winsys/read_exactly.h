// Reading a file of a size measured beforehand. Portable, so the loop is
// tested on the host against readers that return short or long.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Most a single read is asked to take.
constexpr std::size_t kReadPiece = 1u << 20;

// Fills data[0..size) through read(buffer, most, got), which answers false
// on an error and got = 0 at the end of the source, and then makes sure the
// source has ended. False when the source ends early, holds more than size
// bytes or fails: a file that changed while it was read is no image to send
// to a card, neither padded nor cut.
template <class Read> bool ReadExactly(std::uint8_t *data, std::size_t size, Read read)
{
    std::size_t done = 0;
    while (done < size) {
        const std::size_t most = std::min(size - done, kReadPiece);
        std::size_t got = 0;
        if (!read(data + done, most, got) || got == 0 || got > most)
            return false;
        done += got;
    }
    std::uint8_t beyond = 0;
    std::size_t got = 0;
    return read(&beyond, std::size_t{1}, got) && got == 0;
}
