// Hex text readers on any input: byte-run text of any block reads back into the same block, and a
// data box's text, whatever it holds, is read into no more bytes than asked for and never past
// them; a refused text reads nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "hextext.h"

namespace {
void Check(bool ok)
{
    if (!ok)
        std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The input as a block: byte-run text and back.
    const std::size_t n = size < kMaxByteRunBytes ? size : kMaxByteRunBytes;
    std::vector<char> text(ByteRunLength(n) + 1);
    Check(BytesToByteRun(data, n, text.data()) == ByteRunLength(n));
    Check(text[ByteRunLength(n)] == 0);
    std::unique_ptr<std::uint8_t[]> back(new std::uint8_t[n + 1]);
    std::size_t used = 0;
    Check(ByteRunToBytes(text.data(), ByteRunLength(n), n, back.get(), &used));
    Check(used == n);
    Check(std::memcmp(back.get(), data, n) == 0);
    if (size < 2)
        return 0;
    // The input as a data box's text, the first two bytes the length asked for. Exactly as large
    // as asked for, so that a write past it is caught.
    const std::size_t requested = (data[0] | data[1] << 8) % (kMaxByteRunBytes + 1);
    const std::string box(reinterpret_cast<const char *>(data) + 2, size - 2);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[requested]);
    used = 12345;
    const bool read = ByteRunToBytes(box, requested, out.get(), &used);
    Check(used <= requested);
    Check(read || used == 0);
    Check(used <= box.size() / 2);
    // The short boxes read a C string: hex text whole is hex text up to its first NUL.
    Check(IsHexText(box.c_str()) || !IsHexText(std::string_view(box)));
    return 0;
}
