// Any command line, split at spaces and NULs, parses to an exit code without a library behind it:
// nothing may run, so only usage, help or "cannot load" can come back; the byte and number readers
// hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "numbers.h"
#include "../fake_cli_host.h"

using Bytes = std::vector<std::uint8_t>;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> words(1);
    std::size_t letters = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != ' ' && data[i] != '\0') {
            words.back() += char(data[i]);
            ++letters;
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
    }
    if (words.back().empty())
        words.pop_back();
    std::uint32_t value = 0;
    Bytes bytes;
    // A number read under a limit keeps to it; every byte takes at least one typed digit.
    if (!words.empty() && tzctl::ParseHexNumber(words[0], 0xFFF, value) && value > 0xFFF)
        std::abort();
    if (tzctl::ParseHexBytes(words, bytes) && bytes.size() > letters)
        std::abort();
    FakeHost host;
    host.loads = false;
    const int code = RunTzctl(words, host);
    if (code != tzctl::kExitOk && code != tzctl::kExitUsage && code != tzctl::kExitNoLibrary)
        std::abort();
    return 0;
}
