// tzctl's readers of typed text: numbers and byte lists agree with a plain
// digit-by-digit reading, and any command line parses to an exit code
// without a library behind it (nothing may run, so only usage, help or
// "cannot load" can come back).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tzctl.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

int Digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class NoLibraryHost : public CliHost {
public:
    void Out(const std::string &) override {}
    void Err(const std::string &) override {}
    ReadResult ReadFile(const std::string &, std::size_t, std::vector<std::uint8_t> &) override
    {
        return ReadResult::OpenFailed;
    }
    bool ReplaceFile(const std::string &, const std::vector<std::uint8_t> &) override { return false; }
    void Sleep(unsigned) override {}
    bool LoadLibrary(DeviceLibrary &) override { return false; }
};

// The words of the input, split at spaces and NULs.
std::vector<std::string> Words(const std::string &text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> words = Words(text);

    // A number: the reference reads the digits after an optional 0x.
    std::uint32_t max = 0xFFFFFFFF, value = 0;
    if (size >= 4) max = data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24;
    const std::string number = words.empty() ? std::string() : words[0];
    std::string digits = number;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    bool valid = !digits.empty() && digits.size() <= 8;
    std::uint64_t expect = 0;
    for (char c : digits) {
        valid = valid && Digit(c) >= 0;
        expect = expect * 16 + (Digit(c) < 0 ? 0 : Digit(c));
    }
    valid = valid && expect <= max;
    const bool parsed = ParseHexNumber(number, max, value);
    Check(parsed == valid);
    Check(!parsed || value == expect);

    // A byte list: every word an even run of digits, two per byte.
    std::vector<std::uint8_t> bytes, reference;
    bool ok = !words.empty();
    for (const std::string &w : words) {
        ok = ok && w.size() % 2 == 0;
        for (std::size_t i = 0; ok && i < w.size(); i += 2) {
            ok = Digit(w[i]) >= 0 && Digit(w[i + 1]) >= 0;
            if (ok) reference.push_back(std::uint8_t(Digit(w[i]) * 16 + Digit(w[i + 1])));
        }
    }
    const bool read = ParseHexBytes(words, bytes);
    Check(read == ok);
    Check(!read || bytes == reference);

    // The whole input as a command line.
    NoLibraryHost host;
    const int code = RunTzctl(words, host);
    Check(code == kExitOk || code == kExitUsage || code == kExitNoLibrary);
    return 0;
}
