#include "hextext.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A block holding every byte value, in an order that is not monotonic.
std::vector<std::uint8_t> PatternBlock(std::size_t count) {
  std::vector<std::uint8_t> block(count);
  for (std::size_t i = 0; i < count; ++i)
    block[i] = static_cast<std::uint8_t>((i * 167 + (i >> 8)) & 0xFF);
  return block;
}

std::string ByteRun(const std::vector<std::uint8_t>& block) {
  std::vector<char> out(ByteRunLength(block.size()) + 1);
  BytesToByteRun(block.data(), block.size(), out.data());
  return std::string(out.data());
}

// Parses `text` for `requested` bytes; fails the test if the text is refused.
std::vector<std::uint8_t> Parse(const std::string& text, std::size_t requested) {
  std::vector<std::uint8_t> out(requested + 1, 0xEE);
  std::size_t used = 12345;
  EXPECT_TRUE(ByteRunToBytes(text, requested, out.data(), &used)) << text.substr(0, 60);
  EXPECT_EQ(out[requested], 0xEE) << "wrote past the requested count";
  out.resize(used);
  return out;
}

bool Refused(const std::string& text, std::size_t requested) {
  std::vector<std::uint8_t> out(requested + 1);
  std::size_t used = 99;
  const bool ok = ByteRunToBytes(text, requested, out.data(), &used);
  return !ok && used == 0;
}

}  // namespace

TEST(HexText, ValidatorAndKeyFilterAcceptExactlyTheHexDigits) {
  EXPECT_FALSE(IsHexText(""));
  EXPECT_FALSE(IsHexText(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(IsHexText("00 ff"));
  EXPECT_TRUE(IsHexText("00ff"));
  EXPECT_TRUE(IsHexText("7FFF"));
  // Neighbours of each digit range.
  for (char c : std::string("/:@G`g\xA3")) {
    EXPECT_FALSE(IsHexText(std::string("1") + c)) << c;
    EXPECT_EQ(HexDigitValue(c), 0xFF) << c;
    EXPECT_FALSE(IsAcceptedHexKey(static_cast<unsigned char>(c))) << c;
  }
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_EQ(HexDigitValue('f'), 15);
  for (unsigned k : {0x30u, 0x39u, 0x41u, 0x46u, 0x61u, 0x66u, 0x08u}) EXPECT_TRUE(IsAcceptedHexKey(k)) << k;
  for (unsigned k : {0x16u, 0x0Du, 0x20u, 0x09u, 0x00u, 0x130u, 0x141u, 0xB0u})
    EXPECT_FALSE(IsAcceptedHexKey(k)) << k;
}

TEST(HexText, ValueWidths) {
  EXPECT_EQ(HexTextToValue("7FFF", 4, HexWidth::Word), 0x7FFF);
  EXPECT_EQ(HexTextToValue("F", 1, HexWidth::Byte), 0x0F);
  EXPECT_EQ(HexTextToValue("ABC", 3, HexWidth::Byte), 0xAB);
  EXPECT_EQ(HexTextToValue("", 0, HexWidth::Word), 0);
  EXPECT_EQ(HexTextToValue("12345", 5, HexWidth::Word), 0x2345);  // last four digits
  EXPECT_EQ(HexTextToValue("beef", 2, HexWidth::Word), 0xBE);     // count, not NUL, ends it
  EXPECT_EQ(HexTextToValue("c", 1, HexWidth::Word), 0x0C);
}

TEST(HexText, Length) {
  EXPECT_EQ(HexTextToLength("8000"), 0x8000u);
  EXPECT_EQ(HexTextToLength("8001"), 0x8001u);
  EXPECT_EQ(HexTextToLength(""), 0u);
  EXPECT_EQ(HexTextToLength(nullptr), 0u);
  EXPECT_EQ(HexTextToLength("1g"), 0u);
  EXPECT_EQ(HexTextToLength("g1"), 0u);
  EXPECT_EQ(HexTextToLength("ffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(HexTextToLength("12345678g"), 0x12345678u);  // ninth character not looked at
}

TEST(HexText, PairsConvertInPlaceIgnoringAnOddLastDigit) {
  char buffer[] = "0fA5007";
  ASSERT_EQ(HexPairsToBytes(buffer, 7), 3u);
  EXPECT_EQ(static_cast<std::uint8_t>(buffer[0]), 0x0F);
  EXPECT_EQ(static_cast<std::uint8_t>(buffer[1]), 0xA5);
  EXPECT_EQ(static_cast<std::uint8_t>(buffer[2]), 0x00);
}

TEST(HexText, ByteRunFormat) {
  const std::uint8_t three[] = {0x0F, 0xA5, 0x00};
  char out[12];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(BytesToByteRun(three, 3, out), 9u);
  EXPECT_STREQ(out, "0F A5 00 ");
  EXPECT_EQ(out[10], '#');

  EXPECT_EQ(BytesToByteRun(three, 0, out), 0u);
  EXPECT_STREQ(out, "");

  // Lengths around the 16-byte steps, against the printf formatting, and
  // nothing written after the NUL.
  for (std::size_t count : {1u, 15u, 16u, 17u, 47u, 48u, 255u, 256u, 0x8000u}) {
    const auto block = PatternBlock(count);
    std::vector<char> out(ByteRunLength(count) + 2, '#');
    BytesToByteRun(block.data(), count, out.data());
    std::string expected;
    for (std::uint8_t b : block) {
      char group[4];
      std::snprintf(group, sizeof group, "%02X ", b);
      expected += group;
    }
    EXPECT_EQ(std::string(out.data()), expected) << count;
    EXPECT_EQ(out[ByteRunLength(count) + 1], '#') << count;
  }
}

TEST(HexText, ByteRunParsePairsDigitsAndClipsToRequestedCount) {
  EXPECT_EQ(Parse("0F A5 00 ", 2), (std::vector<std::uint8_t>{0x0F, 0xA5}));
  EXPECT_EQ(Parse("0FA", 4), (std::vector<std::uint8_t>{0x0F}));
  EXPECT_EQ(Parse("", 4), std::vector<std::uint8_t>{});
  EXPECT_EQ(Parse("   ", 4), std::vector<std::uint8_t>{});
  EXPECT_EQ(Parse("0FA5", 0), std::vector<std::uint8_t>{});
  EXPECT_EQ(Parse("0 F a5 0", 16), (std::vector<std::uint8_t>{0x0F, 0xA5}));  // five digits, two bytes
  EXPECT_EQ(Parse("0F\tA5\r\n00\n", 3), (std::vector<std::uint8_t>{0x0F, 0xA5, 0x00}));
}

TEST(HexText, ByteRunParseRefusesAnyOtherCharacter) {
  EXPECT_TRUE(Refused("0F G5", 2));
  EXPECT_TRUE(Refused("0F,A5", 2));
  EXPECT_TRUE(Refused("0x0F", 1));
  EXPECT_TRUE(Refused("0F\xA3\xA0", 1));      // a double-byte space pasted from elsewhere
  EXPECT_TRUE(Refused("0F A5 zz", 1));        // also past the bytes requested
  EXPECT_TRUE(Refused(std::string("0F\0A5", 5), 2));
}

TEST(HexText, FullBlockRoundTripsThroughItsByteRunText) {
  const auto block = PatternBlock(kMaxBlockBytes);
  const std::string text = ByteRun(block);
  ASSERT_EQ(text.size(), kMaxByteRunChars);
  EXPECT_EQ(Parse(text, kMaxBlockBytes), block);

  // A shorter request, ending inside a run of well-formed groups.
  EXPECT_EQ(Parse(text, 1020), std::vector<std::uint8_t>(block.begin(), block.begin() + 1020));

  // Lower case, no spaces, line breaks between groups or inside a pair, and a
  // leading blank that shifts every group: all give back the same bytes.
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Parse(lower, kMaxBlockBytes), block);

  std::string packed;
  for (char c : text)
    if (c != ' ') packed += c;
  EXPECT_EQ(Parse(packed, kMaxBlockBytes), block);

  std::string broken = text;
  broken[3 * 700 + 2] = '\n';
  broken.insert(3 * 2000 + 1, "\r\n");
  broken.insert(3 * 20000 + 1, "\t");
  EXPECT_EQ(Parse(" " + broken, kMaxBlockBytes), block);
}

TEST(HexText, FullBlockWithOneBadCharacterIsRefused) {
  const std::string text = ByteRun(PatternBlock(kMaxBlockBytes));
  // Digits and spaces at different places within the 48-character spans
  // that are converted together.
  const std::size_t run = 3 * 16 * 100;
  for (std::size_t pos : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{46}, std::size_t{47},
                          run + 17, run + 31, run + 48 + 2, run + 48 + 40,
                          kMaxByteRunChars - 1}) {
    for (char bad : {'G', 'g', ':', '/', '@', '`', '\0', '\xB0'}) {
      std::string t = text;
      t[pos] = bad;
      EXPECT_TRUE(Refused(t, kMaxBlockBytes)) << pos << " " << int(bad);
    }
  }
}

TEST(HexText, Alignment) {
  EXPECT_TRUE(IsAligned(2, AccessWidth::Word));
  EXPECT_FALSE(IsAligned(2, AccessWidth::DoubleWord));
  EXPECT_TRUE(IsAligned(0, AccessWidth::Word));
  EXPECT_TRUE(IsAligned(0, AccessWidth::DoubleWord));
  EXPECT_FALSE(IsAligned(3, AccessWidth::Word));
  EXPECT_FALSE(IsAligned(6, AccessWidth::DoubleWord));
  EXPECT_TRUE(IsAligned(0x8000, AccessWidth::DoubleWord));
}
