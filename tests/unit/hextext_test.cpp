// Hex text: validation, values, lengths, and byte-run text both ways.
#include "hextext.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<std::uint8_t>;

// The bytes of `text` for `requested`; nothing when the text is refused.
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

TEST(HexText, CharactersValuesLengthsAndAlignment)
{
    for (int c = 0; c < 256; ++c) {
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : 0xFF;
        EXPECT_EQ(HexDigitValue(char(c)), value) << c;
        EXPECT_EQ(IsHexText(std::string("1") + char(c)), value != 0xFF) << c;
        EXPECT_EQ(IsAcceptedHexKey(c), value != 0xFF || c == 0x08) << c;
    }
    EXPECT_FALSE(IsAcceptedHexKey(0x130));
    EXPECT_FALSE(IsAcceptedHexKey(0x5B57));
    EXPECT_FALSE(IsHexText(""));
    EXPECT_FALSE(IsHexText(static_cast<const char *>(nullptr)));
    EXPECT_FALSE(IsHexText("7f FF"));
    EXPECT_TRUE(IsHexText("7fFF"));
    for (const auto &[text, count, width, value] : {std::tuple{"7FFF", 4, HexWidth::Word, 0x7FFF},
                                                    {"12345", 5, HexWidth::Word, 0x2345},
                                                    {"beef", 2, HexWidth::Word, 0xBE},
                                                    {"", 0, HexWidth::Word, 0},
                                                    {"F", 1, HexWidth::Byte, 0x0F},
                                                    {"ABC", 3, HexWidth::Byte, 0xAB},
                                                    {"9a", 2, HexWidth::Byte, 0x9A}})
        EXPECT_EQ(HexTextToValue(text, count, width), value) << text;
    // No more than eight characters are looked at.
    for (const auto &[text, length] : {std::pair{"8000", 0x8000u},
                                       {"", 0u},
                                       {"1g", 0u},
                                       {"ffffffff", 0xFFFFFFFFu},
                                       {"12345678g", 0x12345678u}})
        EXPECT_EQ(HexTextToLength(text), length) << text;
    EXPECT_EQ(HexTextToLength(nullptr), 0u);
    char pairs[] = "0fA5007";
    ASSERT_EQ(HexPairsToBytes(pairs, 7), 3u);
    EXPECT_EQ(Bytes(pairs, pairs + 3), (Bytes{0x0F, 0xA5, 0x00}));
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
                {"0FA5 ", 1, Bytes{0x0F}},
                {"0FA 5", 4, Bytes{0x0F, 0xA5}},
                {"0F G5", 2, std::nullopt},
                {"0F,A5", 2, std::nullopt},
                {"0x0F", 1, std::nullopt},
                {"0F A5 zz", 1, std::nullopt},
                {"0F A5 00 1:", 9, std::nullopt},
                {"0F\xA3\xA0", 1, std::nullopt}};

    for (const auto &r : rows)
        EXPECT_EQ(Parse(r.text, r.requested), r.bytes) << r.text << " " << r.requested;
    EXPECT_EQ(Parse(std::string("0F\0A5", 5), 2), std::nullopt);
}

TEST(HexText, ByteRunTextOfAnyLengthMatchesPrintfAndReadsBack)
{
    for (std::size_t count : {0u, 1u, 2u, 16u, 17u, 255u, 256u, 0x8000u}) {
        Bytes block(count);
        std::string expected;
        for (std::size_t i = 0; i < count; ++i) {
            block[i] = static_cast<std::uint8_t>(i * 167 + (i >> 8));
            char group[4];
            std::snprintf(group, sizeof group, "%02X ", block[i]);
            expected += group;
        }
        std::string text(ByteRunLength(count) + 2, '#');
        EXPECT_EQ(BytesToByteRun(block.data(), count, &text[0]), 3 * count);
        EXPECT_EQ(text.substr(3 * count), std::string("\0#", 2)) << count;
        text.resize(3 * count);
        EXPECT_EQ(text, expected) << count;
        EXPECT_EQ(Parse(text, count), block) << count;
    }
}
}  // namespace
