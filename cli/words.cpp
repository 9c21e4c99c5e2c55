// The few ways tzctl words its text.
#include "words.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tzctl {

std::string Format(const char *format, ...)
{
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::vector<char> text(static_cast<std::size_t>(std::max(size, 0)) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return std::string(text.data(), text.size() - 1);
}

std::string Counted(std::size_t n, const std::string &noun)
{
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string BytesDiffer(std::size_t n)
{
    return Counted(n, "byte") + (n == 1 ? " differs" : " differ");
}

std::string Join(const std::vector<std::string> &parts)
{
    std::string all;
    for (const std::string &part : parts)
        all += (all.empty() ? "" : ", ") + part;
    return all;
}

}  // namespace tzctl
