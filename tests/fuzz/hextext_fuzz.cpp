// Hex text readers against a plain reference: byte-run text of any block reads back into the same
// block, and any data box text is either refused or read into exactly the bytes its digits say.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "hextext.h"

namespace {
int Digit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The input as a block: byte-run text and back.
    const std::size_t n = size < kMaxBlockBytes ? size : kMaxBlockBytes;
    std::vector<char> text(ByteRunLength(n) + 1);
    Check(BytesToByteRun(data, n, text.data()) == ByteRunLength(n) && text[ByteRunLength(n)] == 0);
    std::unique_ptr<std::uint8_t[]> back(new std::uint8_t[n + 1]);
    std::size_t used = 0;
    Check(ByteRunToBytes(text.data(), ByteRunLength(n), n, back.get(), &used));
    Check(used == n && std::memcmp(back.get(), data, n) == 0);
    if (size < 2)
        return 0;
    // The input as a data box's text, the first two bytes the length asked for.
    const std::size_t requested = (data[0] | data[1] << 8) % (kMaxBlockBytes + 1);
    const std::string box(reinterpret_cast<const char *>(data) + 2, size - 2);
    std::vector<std::uint8_t> expected;
    bool valid = true, half = false;
    for (char c : box) {
        const int d = Digit(c);
        if (d >= 0) {
            if (half)
                expected.back() = static_cast<std::uint8_t>(expected.back() << 4 | d);
            else
                expected.push_back(static_cast<std::uint8_t>(d));
            half = !half;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            valid = false;
        }
    }
    if (half)
        expected.pop_back();
    // Exactly as large as asked for, so a write past it is caught.
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[requested]);
    used = 12345;
    const bool read = ByteRunToBytes(box, requested, out.get(), &used);
    Check(read == valid);
    if (!valid) {
        Check(used == 0);
    } else {
        Check(used == (expected.size() < requested ? expected.size() : requested));
        Check(used == 0 || std::memcmp(out.get(), expected.data(), used) == 0);
    }
    // The short boxes read a C string: up to its NUL, the length box no more than kMaxLengthDigits
    // characters of it.
    const std::string cstr(box.c_str());
    bool allDigits = !cstr.empty(), lengthDigits = true;
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < cstr.size(); ++i) {
        const int d = Digit(cstr[i]);
        allDigits = allDigits && d >= 0;
        if (i < kMaxLengthDigits) {
            lengthDigits = lengthDigits && d >= 0;
            length = length * 16 + static_cast<std::uint32_t>(d & 0xF);
        }
    }
    Check(IsHexText(box.c_str()) == allDigits);
    Check(IsHexText(std::string_view(box)) == (allDigits && cstr.size() == box.size()));
    Check(HexTextToLength(box.c_str()) == (lengthDigits ? length : 0));
    return 0;
}
