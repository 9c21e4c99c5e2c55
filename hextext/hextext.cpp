#include "hextext.h"

#include <array>
#include <cstring>

namespace {

// Character classes for the text scanners: 0-15 a digit's value, kSpace for
// the white space a data box may hold, kBad for anything else.
constexpr std::uint8_t kSpace = 0x10;
constexpr std::uint8_t kBad = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeCharClass()
{
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = kBad;
    for (int c = '0'; c <= '9'; ++c)
        t[c] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        t[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        t[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    t[' '] = kSpace;
    t['\t'] = kSpace;
    t['\r'] = kSpace;
    t['\n'] = kSpace;
    return t;
}

constexpr std::array<std::uint8_t, 256> kCharClass = MakeCharClass();

inline std::uint8_t ClassOf(char c)
{
    return kCharClass[static_cast<unsigned char>(c)];
}

// Byte-run group of each byte value, "XY " plus a spare byte, so that a
// group is written with one 4-byte copy. The spare byte lands where the
// next group (or the terminating NUL) goes and is overwritten there.
constexpr char kUpperDigits[] = "0123456789ABCDEF";

struct Group {
    char c[4];
};

constexpr std::array<Group, 256> MakeGroups()
{
    std::array<Group, 256> t{};
    for (unsigned b = 0; b < 256; ++b)
        t[b] = Group{{kUpperDigits[b >> 4], kUpperDigits[b & 0xF], ' ', 0}};
    return t;
}

constexpr std::array<Group, 256> kGroups = MakeGroups();

// The reader's tables for whole "XY " groups, the form the read panels
// write. A group is taken with two look-ups: its first digit alone, and its
// second digit together with the space after it, as those two characters
// lie in memory (second | space << 8). Either gives kNotGroup when its
// characters do not fit.
constexpr std::uint16_t kNotGroup = 0x100;

struct GroupTables {
    std::uint16_t first[256];
    std::uint16_t secondAndSpace[0x10000];

    GroupTables()
    {
        for (unsigned c = 0; c < 256; ++c)
            first[c] =
                static_cast<std::uint16_t>(kCharClass[c] < 16 ? kCharClass[c] << 4 : kNotGroup);
        for (unsigned i = 0; i < 0x10000; ++i) {
            const unsigned digit = kCharClass[i & 0xFF], space = i >> 8;
            secondAndSpace[i] =
                static_cast<std::uint16_t>(digit < 16 && space == ' ' ? digit : kNotGroup);
        }
    }

    // The byte of the group at p, or a value with kNotGroup set.
    unsigned GroupAt(const char *p) const
    {
        const unsigned key = static_cast<unsigned char>(p[1]) | static_cast<unsigned char>(p[2])
                                                                    << 8;
        return first[static_cast<unsigned char>(p[0])] | secondAndSpace[key];
    }
};

}  // namespace

std::uint8_t HexDigitValue(char c)
{
    const std::uint8_t v = ClassOf(c);
    return v < 16 ? v : 0xFF;
}

bool IsHexText(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (ClassOf(c) >= 16)
            return false;
    return true;
}

bool IsHexText(const char *text)
{
    return text != nullptr && IsHexText(std::string_view(text));
}

std::uint16_t HexTextToValue(const char *text, std::size_t count, HexWidth width)
{
    if (count == 0)
        return 0;
    if (count == 1)
        return HexDigitValue(text[0]);
    if (width == HexWidth::Byte)
        return static_cast<std::uint8_t>(HexDigitValue(text[0]) * 16 + HexDigitValue(text[1]));
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value * 16 + HexDigitValue(text[i]);
    return static_cast<std::uint16_t>(value);
}

std::uint32_t HexTextToLength(const char *text)
{
    if (text == nullptr)
        return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < kMaxLengthDigits && text[i] != '\0'; ++i) {
        const std::uint8_t v = HexDigitValue(text[i]);
        if (v == 0xFF)
            return 0;
        value = value * 16 + v;
    }
    return value;
}

std::size_t HexPairsToBytes(char *buffer, std::size_t count)
{
    const std::size_t n = count / 2;
    // Byte i is written at i after characters 2i and 2i + 1 are read, so the
    // conversion can run in place front to back.
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned v = HexDigitValue(buffer[2 * i]) * 16u + HexDigitValue(buffer[2 * i + 1]);
        buffer[i] = static_cast<char>(static_cast<std::uint8_t>(v));
    }
    return n;
}

std::size_t BytesToByteRun(const std::uint8_t *bytes, std::size_t count, char *out)
{
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(out + 3 * i, kGroups[bytes[i]].c, 4);
    out[3 * count] = '\0';
    return 3 * count;
}

bool ByteRunToBytes(const char *text, std::size_t textLength, std::size_t requested,
                    std::uint8_t *out, std::size_t *used)
{
    *used = 0;
    std::size_t produced = 0;
    bool havePending = false;  // a first digit waiting for its pair
    std::uint8_t pending = 0;

    std::size_t i = 0;
    while (i < textLength) {
        // Whole "XY " groups go three characters a step.
        if (!havePending) {
            static const GroupTables tables;
            std::size_t groups = (textLength - i) / 3;
            const std::size_t room = produced < requested ? requested - produced : 0;
            if (groups > room)
                groups = room;
            const char *p = text + i;
            std::uint8_t *o = out + produced;
            for (const char *const end = p + 3 * groups; p != end; p += 3, ++o) {
                const unsigned v = tables.GroupAt(p);
                if (v & kNotGroup)
                    break;
                *o = static_cast<std::uint8_t>(v);
            }
            i = static_cast<std::size_t>(p - text);
            produced = static_cast<std::size_t>(o - out);
            if (i == textLength)
                break;
        }
        // Anything else, one character at a time.
        const std::uint8_t v = ClassOf(text[i++]);
        if (v < 16) {
            if (havePending) {
                if (produced < requested)
                    out[produced] = static_cast<std::uint8_t>(pending << 4 | v);
                ++produced;
                havePending = false;
            } else {
                pending = v;
                havePending = true;
            }
        } else if (v != kSpace) {
            return false;
        }
    }
    *used = produced < requested ? produced : requested;
    return true;
}

bool IsAligned(std::uint32_t value, AccessWidth width)
{
    const std::uint16_t low = static_cast<std::uint16_t>(value);
    return width == AccessWidth::Word ? (low & 1u) == 0 : (low & 3u) == 0;
}

bool IsAcceptedHexKey(unsigned code)
{
    return code == 0x08 || (code < 0x80 && ClassOf(static_cast<char>(code)) < 16);
}
