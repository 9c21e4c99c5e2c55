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

std::size_t Distance(const std::string &a, const std::string &b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
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
