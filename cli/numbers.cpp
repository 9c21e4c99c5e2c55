// Numbers and bytes as typed on a command line. The Parse functions only
// answer; the others refuse what they cannot read with a usage stop.
#include "numbers.h"

#include <algorithm>
#include <sstream>

#include "hextext.h"
#include "stop.h"
#include "words.h"

namespace tzctl {

bool ParseHexNumber(const std::string &text, std::uint32_t max, std::uint32_t &value)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (!IsHexText(digits) || digits.size() > 8)
        return false;
    std::uint64_t v = 0;
    for (char c : digits)
        v = v * 16 + HexDigitValue(c);
    if (v > max)
        return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseHexBytes(const std::vector<std::string> &args, std::vector<std::uint8_t> &bytes)
{
    bytes.clear();
    for (const std::string &arg : args) {
        std::istringstream words(arg);
        std::string word;
        bool any = false;
        while (words >> word) {
            any = true;
            // 0x12 and a lone digit are one byte each; otherwise hex pairs.
            const bool prefixed = word.size() > 2 && word[0] == '0' && (word[1] | 0x20) == 'x';
            if (prefixed)
                word.erase(0, 2);
            if (word.size() == 1)
                word.insert(0, 1, '0');
            if (!IsHexText(word) || word.size() % 2 != 0 || (prefixed && word.size() != 2))
                return false;
            for (std::size_t i = 0; i < word.size(); i += 2)
                bytes.push_back(static_cast<std::uint8_t>(HexDigitValue(word[i]) * 16 +
                                                          HexDigitValue(word[i + 1])));
        }
        if (!any)
            return false;
    }
    return !bytes.empty();
}

std::uint32_t Hex(const std::string &text, std::uint32_t max, const char *what)
{
    std::uint32_t v = 0;
    if (!ParseHexNumber(text, max, v))
        Usage(Format("%s '%s' is not a hex number up to 0x%lx", what, text.c_str(),
                     static_cast<unsigned long>(max)));
    return v;
}

std::uint32_t Length(const std::string &text, std::uint32_t max)
{
    const std::uint32_t length = Hex(text, max, "length");
    if (length == 0)
        Usage("a length of 0 asks for nothing; give 1 or more");
    return length;
}

unsigned Decimal(const std::string &text, unsigned min, unsigned max, const char *what)
{
    // Held just above max, so no number of digits overflows it.
    unsigned long long v = 0;
    bool digits = !text.empty();
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        v = std::min(v * 10 + static_cast<unsigned>(c - '0'), max + 1ull);
    }
    if (!digits || v < min || v > max)
        Usage(
            Format("%s '%s' is not a decimal number from %u to %u", what, text.c_str(), min, max));
    return static_cast<unsigned>(v);
}

Bytes HexBytes(const std::vector<std::string> &args)
{
    Bytes bytes;
    if (!ParseHexBytes(args, bytes))
        Usage("bytes must be hex, e.g. 12, 0x12, 1, \"01 02 ab\" or 0102ab");
    return bytes;
}

}  // namespace tzctl
