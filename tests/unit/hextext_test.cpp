// Hex text: validation, values, lengths, and byte-run text both ways.
#include "hextext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t count)
{
    Bytes block(count);
    for (std::size_t i = 0; i < count; ++i)
        block[i] = static_cast<std::uint8_t>((i * 167 + (i >> 8)) & 0xFF);
    return block;
}

// The bytes of `text` for `requested`; nullopt when the text is refused.
std::optional<Bytes> Parse(const std::string &text, std::size_t requested)
{
    Bytes out(requested + 1, 0xEE);
    std::size_t used = 12345;
    if (!ByteRunToBytes(text, requested, out.data(), &used))
        return used == 0 ? std::nullopt : std::optional<Bytes>(Bytes{0xBA, 0xD0});
    EXPECT_EQ(out[requested], 0xEE) << "wrote past the requested count";
    out.resize(used);
    return out;
}

TEST(HexText, CharactersValuesAndKeys)
{
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : 0xFF;
        EXPECT_EQ(HexDigitValue(ch), value) << c;
        EXPECT_EQ(IsHexText(std::string("1") + ch), value != 0xFF) << c;
        EXPECT_EQ(IsAcceptedHexKey(c), value != 0xFF || c == 0x08) << c;
    }
    for (unsigned key : {0x130u, 0x141u, 0x5B57u})
        EXPECT_FALSE(IsAcceptedHexKey(key)) << key;
    EXPECT_FALSE(IsHexText(""));
    EXPECT_FALSE(IsHexText(static_cast<const char *>(nullptr)));
    EXPECT_TRUE(IsHexText("7fFF"));
    EXPECT_FALSE(IsHexText("7f FF"));
}

TEST(HexText, ValuesLengthsAndAlignment)
{
    const struct {
        const char *text;
        std::size_t count;
        HexWidth width;
        std::uint16_t value;
    } values[] = {{"7FFF", 4, HexWidth::Word, 0x7FFF}, {"12345", 5, HexWidth::Word, 0x2345},
                  {"beef", 2, HexWidth::Word, 0xBE},   {"c", 1, HexWidth::Word, 0x0C},
                  {"", 0, HexWidth::Word, 0},          {"F", 1, HexWidth::Byte, 0x0F},
                  {"ABC", 3, HexWidth::Byte, 0xAB},     {"9a", 2, HexWidth::Byte, 0x9A}};
    for (const auto &v : values)
        EXPECT_EQ(HexTextToValue(v.text, v.count, v.width), v.value) << v.text;

    const std::pair<const char *, std::uint32_t> lengths[] = {
        {"8000", 0x8000}, {"", 0},   {"1g", 0},   {"g1", 0}, {"ffffffff", 0xFFFFFFFF},
        {"12345678g", 0x12345678}};  // the ninth character is not looked at
    for (const auto &[text, length] : lengths)
        EXPECT_EQ(HexTextToLength(text), length) << text;
    EXPECT_EQ(HexTextToLength(nullptr), 0u);

    for (std::uint32_t v : {0u, 1u, 2u, 3u, 4u, 6u, 0x10000u, 0x10002u, 0x10001u}) {
        EXPECT_EQ(IsAligned(v, AccessWidth::Word), v % 2 == 0) << v;
        EXPECT_EQ(IsAligned(v, AccessWidth::DoubleWord), v % 4 == 0) << v;
    }

    char pairs[] = "0fA5007";
    ASSERT_EQ(HexPairsToBytes(pairs, 7), 3u);
    EXPECT_EQ(Bytes(pairs, pairs + 3), (Bytes{0x0F, 0xA5, 0x00}));
}

TEST(HexText, ByteRunTextOfAnyLengthMatchesPrintf)
{
    for (std::size_t count : {0u, 1u, 2u, 15u, 16u, 17u, 255u, 256u, 0x8000u}) {
        const Bytes block = Pattern(count);
        std::vector<char> out(ByteRunLength(count) + 2, '#');
        EXPECT_EQ(BytesToByteRun(block.data(), count, out.data()), 3 * count);
        std::string expected;
        for (std::uint8_t b : block) {
            char group[4];
            std::snprintf(group, sizeof group, "%02X ", b);
            expected += group;
        }
        EXPECT_EQ(std::string(out.data()), expected) << count;
        EXPECT_EQ(out[3 * count + 1], '#') << count;
    }
}

TEST(HexText, ByteRunParseDropsWhiteSpacePairsDigitsAndRefusesAnythingElse)
{
    const struct {
        const char *text;
        std::size_t requested;
        std::optional<Bytes> bytes;
    } rows[] = {{"0F A5 00 ", 2, Bytes{0x0F, 0xA5}},
                {"0F A5 00 ", 3, Bytes{0x0F, 0xA5, 0x00}},
                {"0FA", 4, Bytes{0x0F}},
                {"", 4, Bytes{}},
                {"   ", 4, Bytes{}},
                {"0FA5", 0, Bytes{}},
                {"0 F a5 0", 16, Bytes{0x0F, 0xA5}},
                {"0F\tA5\r\n00\n", 3, Bytes{0x0F, 0xA5, 0x00}},
                {"0F A5\n00 11 ", 4, Bytes{0x0F, 0xA5, 0x00, 0x11}},
                {"0F G5", 2, std::nullopt},
                {"0F,A5", 2, std::nullopt},
                {"0x0F", 1, std::nullopt},
                {"0F A5 zz", 1, std::nullopt},  // also past the bytes requested
                {"0F A5 00 1:", 9, std::nullopt},
                {"0F\xA3\xA0", 1, std::nullopt},
                {"0F A5-", 2, std::nullopt},
                {"0FA5 ", 1, Bytes{0x0F}},
                {"0FA 5", 4, Bytes{0x0F, 0xA5}}};
    for (const auto &r : rows)
        EXPECT_EQ(Parse(r.text, r.requested), r.bytes) << r.text << " " << r.requested;
    EXPECT_EQ(Parse(std::string("0F\0A5", 5), 2), std::nullopt);
}

TEST(HexText, FullBlockRoundTripsAndOneBadCharacterAnywhereRefusesIt)
{
    const Bytes block = Pattern(kMaxBlockBytes);
    std::string text(kMaxByteRunChars + 1, '\0');
    BytesToByteRun(block.data(), block.size(), &text[0]);
    text.resize(kMaxByteRunChars);
    EXPECT_EQ(Parse(text, kMaxBlockBytes), block);
    EXPECT_EQ(Parse(text, 1020), Bytes(block.begin(), block.begin() + 1020));

    // A line break inside and a blank in front shift every later group.
    std::string shifted = " " + text;
    shifted.insert(3 * 2000 + 2, "\r\n");
    EXPECT_EQ(Parse(shifted, kMaxBlockBytes), block);

    for (std::size_t pos : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{4800},
                            std::size_t{4801}, std::size_t{4802}, kMaxByteRunChars - 1}) {
        for (char bad : {'G', 'g', ':', '/', '@', '`', '\0'}) {
            std::string t = text;
            t[pos] = bad;
            EXPECT_EQ(Parse(t, kMaxBlockBytes), std::nullopt) << pos << " " << int(bad);
        }
    }
}

} // namespace
