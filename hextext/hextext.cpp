#include "hextext.h"

#include <array>
#include <cstring>

// The vector paths are picked at run time from what the processor offers.
// Defining HEXTEXT_NO_SIMD or HEXTEXT_NO_AVX2 builds without them, to test
// the paths that older machines take.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(HEXTEXT_NO_SIMD)
#define HEXTEXT_X86_SIMD 1
#include <immintrin.h>
// 256-bit spills need a 32-byte aligned stack, which the Windows targets of
// the compiler do not provide; there the 128-bit code serves alone.
#if !defined(_WIN32) && !defined(HEXTEXT_NO_AVX2)
#define HEXTEXT_X86_AVX2 1
#endif
#endif

namespace {

// Character classes for the text scanners: 0-15 a digit's value, kSpace for
// the white space a data box may hold, kBad for anything else.
constexpr std::uint8_t kSpace = 0x10;
constexpr std::uint8_t kBad = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeCharClass() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = kBad;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  t[' '] = kSpace;
  t['\t'] = kSpace;
  t['\r'] = kSpace;
  t['\n'] = kSpace;
  return t;
}
constexpr std::array<std::uint8_t, 256> kCharClass = MakeCharClass();

inline std::uint8_t ClassOf(char c) {
  return kCharClass[static_cast<unsigned char>(c)];
}

// Byte-run group of each byte value, "XY " plus a spare byte, so that a
// group is written with one 4-byte copy. The spare byte lands where the
// next group (or the terminating NUL) goes and is overwritten there.
constexpr char kUpperDigits[] = "0123456789ABCDEF";

struct Group {
  char c[4];
};

constexpr std::array<Group, 256> MakeGroups() {
  std::array<Group, 256> t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = Group{{kUpperDigits[b >> 4], kUpperDigits[b & 0xF], ' ', 0}};
  return t;
}
constexpr std::array<Group, 256> kGroups = MakeGroups();

void FormatScalar(const std::uint8_t* bytes, std::size_t count, char* out) {
  for (std::size_t i = 0; i < count; ++i) std::memcpy(out + 3 * i, kGroups[bytes[i]].c, 4);
}

#ifdef HEXTEXT_X86_SIMD

// Shuffle masks are built at compile time. A mask byte of -128 zeroes the
// lane.
struct alignas(16) Mask16 {
  std::int8_t b[16];
};

// Parse direction: lane j takes character 3j + phase of a 48-character
// span, from the 16-character vector `part` (0, 1 or 2) of that span.
constexpr Mask16 GatherMask(int phase, int part) {
  Mask16 m{};
  for (int j = 0; j < 16; ++j) {
    const int p = 3 * j + phase - 16 * part;
    m.b[j] = static_cast<std::int8_t>(p >= 0 && p < 16 ? p : -128);
  }
  return m;
}

// Format direction: output lane q of output vector `part` (48 characters
// for 16 bytes) takes its digit from the interleaved digit pairs of bytes
// 0-7 (half 0) or 8-15 (half 1); space lanes are zeroed here.
constexpr Mask16 ScatterMask(int part, int half) {
  Mask16 m{};
  for (int q = 0; q < 16; ++q) {
    const int t = 16 * part + q;
    const int k = t / 3, which = t % 3;
    const bool mine = which != 2 && k / 8 == half;
    m.b[q] = static_cast<std::int8_t>(mine ? 2 * (k % 8) + which : -128);
  }
  return m;
}

// The space lanes of output vector `part`.
constexpr Mask16 SpaceLanes(int part) {
  Mask16 m{};
  for (int q = 0; q < 16; ++q) m.b[q] = static_cast<std::int8_t>((16 * part + q) % 3 == 2 ? ' ' : 0);
  return m;
}

// Bit mask (as from movemask) of the space lanes of input vector `part`.
constexpr int SpaceBits(int part) {
  int bits = 0;
  for (int q = 0; q < 16; ++q)
    if ((16 * part + q) % 3 == 2) bits |= 1 << q;
  return bits;
}

constexpr Mask16 kHiGather[3] = {GatherMask(0, 0), GatherMask(0, 1), GatherMask(0, 2)};
constexpr Mask16 kLoGather[3] = {GatherMask(1, 0), GatherMask(1, 1), GatherMask(1, 2)};
constexpr Mask16 kScatter0 = ScatterMask(0, 0);
constexpr Mask16 kScatter1Lo = ScatterMask(1, 0);
constexpr Mask16 kScatter1Hi = ScatterMask(1, 1);
constexpr Mask16 kScatter2 = ScatterMask(2, 1);
constexpr Mask16 kSpaces[3] = {SpaceLanes(0), SpaceLanes(1), SpaceLanes(2)};
constexpr int kSpaceBits[3] = {SpaceBits(0), SpaceBits(1), SpaceBits(2)};
constexpr Mask16 kDigitLut = {{'0', '1', '2', '3', '4', '5', '6', '7',
                               '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'}};

#define HEXTEXT_SSSE3 __attribute__((target("ssse3")))

HEXTEXT_SSSE3 inline __m128i Load(const Mask16& m) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(m.b));
}

// 16 bytes to 48 characters of byte-run text per step; returns the number
// of bytes done (a multiple of 16).
HEXTEXT_SSSE3 std::size_t FormatSsse3(const std::uint8_t* bytes, std::size_t count, char* out) {
  const __m128i lut = Load(kDigitLut);
  const __m128i low4 = _mm_set1_epi8(0x0F);
  const __m128i s0 = Load(kScatter0), s1lo = Load(kScatter1Lo), s1hi = Load(kScatter1Hi),
                s2 = Load(kScatter2);
  const __m128i sp0 = Load(kSpaces[0]), sp1 = Load(kSpaces[1]), sp2 = Load(kSpaces[2]);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16, out += 48) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i hi = _mm_shuffle_epi8(lut, _mm_and_si128(_mm_srli_epi16(v, 4), low4));
    const __m128i lo = _mm_shuffle_epi8(lut, _mm_and_si128(v, low4));
    const __m128i pairs0 = _mm_unpacklo_epi8(hi, lo);  // bytes 0-7
    const __m128i pairs1 = _mm_unpackhi_epi8(hi, lo);  // bytes 8-15
    const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(pairs0, s0), sp0);
    const __m128i o1 = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(pairs0, s1lo), _mm_shuffle_epi8(pairs1, s1hi)), sp1);
    const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(pairs1, s2), sp2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), o0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), o1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), o2);
  }
  return i;
}

// Digit values of 16 characters; all-ones lanes in *valid where the
// character is a hex digit.
HEXTEXT_SSSE3 inline __m128i DigitValues(__m128i c, __m128i* valid) {
  const __m128i dec = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  const __m128i isDec = _mm_cmpeq_epi8(_mm_min_epu8(dec, _mm_set1_epi8(9)), dec);
  const __m128i alpha = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isAlpha = _mm_cmpeq_epi8(_mm_min_epu8(alpha, _mm_set1_epi8(5)), alpha);
  *valid = _mm_or_si128(isDec, isAlpha);
  return _mm_or_si128(_mm_and_si128(isDec, dec),
                      _mm_and_si128(isAlpha, _mm_add_epi8(alpha, _mm_set1_epi8(10))));
}

// Converts consecutive 48-character spans of exact byte-run form ("XY "
// sixteen times, spaces only) into 16 bytes each, at most `spans` of them.
// Stops before the first span in any other form; returns the number of
// spans converted.
HEXTEXT_SSSE3 std::size_t ParseSpansSsse3(const char* text, std::size_t spans, std::uint8_t* out) {
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i hiA = Load(kHiGather[0]), hiB = Load(kHiGather[1]), hiC = Load(kHiGather[2]);
  const __m128i loA = Load(kLoGather[0]), loB = Load(kLoGather[1]), loC = Load(kLoGather[2]);
  std::size_t n = 0;
  for (; n < spans; ++n, text += 48, out += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 32));
    const bool spacesOk =
        ((_mm_movemask_epi8(_mm_cmpeq_epi8(a, space)) & kSpaceBits[0]) == kSpaceBits[0]) &
        ((_mm_movemask_epi8(_mm_cmpeq_epi8(b, space)) & kSpaceBits[1]) == kSpaceBits[1]) &
        ((_mm_movemask_epi8(_mm_cmpeq_epi8(c, space)) & kSpaceBits[2]) == kSpaceBits[2]);
    const __m128i hiChars = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a, hiA), _mm_shuffle_epi8(b, hiB)), _mm_shuffle_epi8(c, hiC));
    const __m128i loChars = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a, loA), _mm_shuffle_epi8(b, loB)), _mm_shuffle_epi8(c, loC));
    __m128i hiValid, loValid;
    const __m128i hi = DigitValues(hiChars, &hiValid);
    const __m128i lo = DigitValues(loChars, &loValid);
    if (!spacesOk || _mm_movemask_epi8(_mm_and_si128(hiValid, loValid)) != 0xFFFF) break;
    // Digit values are at most 15, so the 16-bit shift cannot carry into
    // the neighbouring byte.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_slli_epi16(hi, 4), lo));
  }
  return n;
}

#ifdef HEXTEXT_X86_AVX2

#define HEXTEXT_AVX2 __attribute__((target("avx2")))

HEXTEXT_AVX2 inline __m256i Broadcast(const Mask16& m) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(m.b)));
}

// 16 characters at p in the low half, the 16 at p + 48 in the high half.
HEXTEXT_AVX2 inline __m256i LoadTwoSpans(const char* p) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

HEXTEXT_AVX2 inline __m256i DigitValues(__m256i c, __m256i* valid) {
  const __m256i dec = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
  const __m256i isDec = _mm256_cmpeq_epi8(_mm256_min_epu8(dec, _mm256_set1_epi8(9)), dec);
  const __m256i alpha = _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
  const __m256i isAlpha = _mm256_cmpeq_epi8(_mm256_min_epu8(alpha, _mm256_set1_epi8(5)), alpha);
  *valid = _mm256_or_si256(isDec, isAlpha);
  return _mm256_or_si256(_mm256_and_si256(isDec, dec),
                         _mm256_and_si256(isAlpha, _mm256_add_epi8(alpha, _mm256_set1_epi8(10))));
}

HEXTEXT_AVX2 inline bool SpacesAt(__m256i v, int part) {
  const unsigned want = static_cast<unsigned>(kSpaceBits[part]) * 0x10001u;
  const unsigned got = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(' '))));
  return (got & want) == want;
}

// As ParseSpansSsse3, two spans (96 characters, 32 bytes) per step, one in
// each 128-bit half. Converts at most `pairs` pairs of spans and returns
// the number of pairs converted.
HEXTEXT_AVX2 std::size_t ParseSpanPairsAvx2(const char* text, std::size_t pairs, std::uint8_t* out) {
  const __m256i hiA = Broadcast(kHiGather[0]), hiB = Broadcast(kHiGather[1]), hiC = Broadcast(kHiGather[2]);
  const __m256i loA = Broadcast(kLoGather[0]), loB = Broadcast(kLoGather[1]), loC = Broadcast(kLoGather[2]);
  std::size_t n = 0;
  for (; n < pairs; ++n, text += 96, out += 32) {
    const __m256i a = LoadTwoSpans(text);
    const __m256i b = LoadTwoSpans(text + 16);
    const __m256i c = LoadTwoSpans(text + 32);
    const bool spacesOk = SpacesAt(a, 0) & SpacesAt(b, 1) & SpacesAt(c, 2);
    const __m256i hiChars = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(a, hiA), _mm256_shuffle_epi8(b, hiB)), _mm256_shuffle_epi8(c, hiC));
    const __m256i loChars = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(a, loA), _mm256_shuffle_epi8(b, loB)), _mm256_shuffle_epi8(c, loC));
    __m256i hiValid, loValid;
    const __m256i hi = DigitValues(hiChars, &hiValid);
    const __m256i lo = DigitValues(loChars, &loValid);
    if (!spacesOk || static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(hiValid, loValid))) != 0xFFFFFFFFu)
      break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_or_si256(_mm256_slli_epi16(hi, 4), lo));
  }
  return n;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

#endif  // HEXTEXT_X86_AVX2

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

#endif  // HEXTEXT_X86_SIMD

}  // namespace

std::uint8_t HexDigitValue(char c) {
  const std::uint8_t v = ClassOf(c);
  return v < 16 ? v : 0xFF;
}

bool IsHexText(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (ClassOf(c) >= 16) return false;
  return true;
}

bool IsHexText(const char* text) {
  return text != nullptr && IsHexText(std::string_view(text));
}

std::uint16_t HexTextToValue(const char* text, std::size_t count, HexWidth width) {
  if (count == 0) return 0;
  if (count == 1) return HexDigitValue(text[0]);
  if (width == HexWidth::Byte)
    return static_cast<std::uint8_t>(HexDigitValue(text[0]) * 16 + HexDigitValue(text[1]));
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = value * 16 + HexDigitValue(text[i]);
  return static_cast<std::uint16_t>(value);
}

std::uint32_t HexTextToLength(const char* text) {
  if (text == nullptr) return 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < kMaxLengthDigits && text[i] != '\0'; ++i) {
    const std::uint8_t v = HexDigitValue(text[i]);
    if (v == 0xFF) return 0;
    value = value * 16 + v;
  }
  return value;
}

std::size_t HexPairsToBytes(char* buffer, std::size_t count) {
  const std::size_t n = count / 2;
  // Byte i is written at i after characters 2i and 2i + 1 are read, so the
  // conversion can run in place front to back.
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned v = HexDigitValue(buffer[2 * i]) * 16u + HexDigitValue(buffer[2 * i + 1]);
    buffer[i] = static_cast<char>(static_cast<std::uint8_t>(v));
  }
  return n;
}

std::size_t BytesToByteRun(const std::uint8_t* bytes, std::size_t count, char* out) {
  std::size_t done = 0;
#ifdef HEXTEXT_X86_SIMD
  if (HasSsse3()) done = FormatSsse3(bytes, count, out);
#endif
  FormatScalar(bytes + done, count - done, out + 3 * done);
  out[3 * count] = '\0';
  return 3 * count;
}

bool ByteRunToBytes(const char* text, std::size_t textLength, std::size_t requested,
                    std::uint8_t* out, std::size_t* used) {
  *used = 0;
  std::size_t produced = 0;
  std::size_t i = 0;
  bool havePending = false;  // a first digit waiting for its pair
  std::uint8_t pending = 0;

#ifdef HEXTEXT_X86_SIMD
  // Text in exact byte-run form, as the read panels write it, goes through
  // 48 characters at a time. Anything else drops to the character loop for
  // the next span and is tried again after it.
  const bool simd = HasSsse3();
#ifdef HEXTEXT_X86_AVX2
  const bool avx2 = simd && HasAvx2();
#endif
#endif

  while (i < textLength) {
#ifdef HEXTEXT_X86_SIMD
    if (simd && !havePending && produced < requested) {
      const std::size_t byTextLength = (textLength - i) / 48;
      const std::size_t byRequest = (requested - produced) / 16;
      std::size_t spans = byTextLength < byRequest ? byTextLength : byRequest;
#ifdef HEXTEXT_X86_AVX2
      if (avx2) {
        const std::size_t pairs = ParseSpanPairsAvx2(text + i, spans / 2, out + produced);
        i += 96 * pairs;
        produced += 32 * pairs;
        spans -= 2 * pairs;
      }
#endif
      const std::size_t n = ParseSpansSsse3(text + i, spans, out + produced);
      i += 48 * n;
      produced += 16 * n;
    }
#endif
    const std::size_t end = textLength - i < 48 ? textLength : i + 48;
    for (; i < end; ++i) {
      const std::uint8_t v = ClassOf(text[i]);
      if (v < 16) {
        if (havePending) {
          if (produced < requested) out[produced] = static_cast<std::uint8_t>(pending << 4 | v);
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
  }
  *used = produced < requested ? produced : requested;
  return true;
}

bool IsAligned(std::uint32_t value, AccessWidth width) {
  const std::uint16_t low = static_cast<std::uint16_t>(value);
  return width == AccessWidth::Word ? (low & 1u) == 0 : (low & 3u) == 0;
}

bool IsAcceptedHexKey(unsigned code) {
  return code == 0x08 || (code < 0x80 && ClassOf(static_cast<char>(code)) < 16);
}
