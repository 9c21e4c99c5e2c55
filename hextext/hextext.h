// Hex text: validation of typed hexadecimal text, its conversion to numbers
// and byte blocks, and the byte-run text ("0F A5 00 ") in which the data
// boxes show blocks of bytes.
//
// Everything here is a pure function of its arguments: no state, no
// allocation, no user interface. Callers own every buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The longest byte run the buffers below are sized for, in bytes.
constexpr std::size_t kMaxByteRunBytes = 0x8000;
// Characters of byte-run text per byte: two digits and a space.
constexpr std::size_t kByteRunCharsPerByte = 3;
// Byte-run text of the longest run, without the terminating NUL (98,304).
constexpr std::size_t kMaxByteRunChars = kByteRunCharsPerByte * kMaxByteRunBytes;
// Buffer that holds the byte-run text of the longest run and its NUL.
constexpr std::size_t kByteRunBufferSize = kMaxByteRunChars + 1;
// Characters HexTextToLength looks at.
constexpr std::size_t kMaxLengthDigits = 8;

// Value width for HexTextToValue.
enum class HexWidth {
    Byte,
    Word
};
// Access width for IsAligned.
enum class AccessWidth {
    Word,
    DoubleWord
};

// Characters of byte-run text for a block of `count` bytes (no NUL).
constexpr std::size_t ByteRunLength(std::size_t count)
{
    return kByteRunCharsPerByte * count;
}

// 0-15 for '0'-'9', 'A'-'F', 'a'-'f'; 0xFF for every other character.
std::uint8_t HexDigitValue(char c);

// True when the text is non-empty and every character is a hex digit.
// A null pointer is refused like the empty text.
bool IsHexText(const char *text);
bool IsHexText(std::string_view text);

// Value of `count` characters of hex text, as typed in an address or data
// box. Callers check the text with IsHexText first.
//  - count 0 gives 0, count 1 gives that digit at either width;
//  - Word: all characters are accumulated and the low 16 bits kept, so
//    only the last four digits count;
//  - Byte: the first two digits only; any further characters are ignored.
std::uint16_t HexTextToValue(const char *text, std::size_t count, HexWidth width);

// Byte count of a length box. Looks at no more than the first
// kMaxLengthDigits characters. 0 for the empty text, a null pointer, or
// when any of those characters is not a hex digit.
std::uint32_t HexTextToLength(const char *text);

// Converts `count` characters of digit pairs into bytes written over the
// start of the same buffer; an odd trailing character is ignored. Returns
// the number of bytes written (count / 2). No digit check: a non-digit
// enters the pair as 0xFF.
std::size_t HexPairsToBytes(char *buffer, std::size_t count);

// Writes the byte-run text of `count` bytes: two upper-case digits and a
// space per byte, then a NUL at out[3 * count]. `out` holds
// ByteRunLength(count) + 1 characters. Returns ByteRunLength(count).
std::size_t BytesToByteRun(const std::uint8_t *bytes, std::size_t count, char *out);

// Reads the bytes of a data box's text for a write of `requested` bytes.
// Spaces, tabs, CR and LF are dropped; the remaining digits are paired in
// order (an odd last digit is ignored). *used becomes the smaller of
// `requested` and the number of pairs, and that many bytes go to `out`,
// which holds at least `requested` bytes.
// Any other character anywhere in the text makes the text invalid: the
// result is false and *used is 0 (the contents of `out` are then
// unspecified), so the caller refuses the write.
bool ByteRunToBytes(const char *text, std::size_t textLength, std::size_t requested,
                    std::uint8_t *out, std::size_t *used);

inline bool ByteRunToBytes(std::string_view text, std::size_t requested, std::uint8_t *out,
                           std::size_t *used)
{
    return ByteRunToBytes(text.data(), text.size(), requested, out, used);
}

// True when the low 16 bits of `value` are a multiple of 2 (Word) or 4
// (DoubleWord).
bool IsAligned(std::uint32_t value, AccessWidth width);

// Key filter of the hex edit boxes: true for '0'-'9', 'A'-'F', 'a'-'f' and
// Backspace (0x08); false for every other character code.
bool IsAcceptedHexKey(unsigned code);
