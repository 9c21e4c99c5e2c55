// Reading a file of a measured size: a source that ends early, goes on past the size or fails is
// no whole file.
#include <gtest/gtest.h>
#include <algorithm>
#include <numeric>
#include <vector>
#include "read_exactly.h"

namespace {

// size: as measured; piece: the most one read returns; fails: every read after the first fails.
struct Row {
    std::size_t size, source, piece;
    bool fails, whole;
};

// clang-format off
const Row kRows[] = {
    {5, 5, 2, false, true},
    {5, 4, 2, false, false},
    {5, 6, 2, false, false},
    {5, 5, 2, true, false},
};

// clang-format on

TEST(ReadExactly, TakesTheMeasuredSizeAlone)
{
    for (const Row &row : kRows) {
        SCOPED_TRACE(testing::Message() << "size " << row.size << ", source " << row.source);
        std::vector<std::uint8_t> source(row.source), data(row.size);
        std::iota(source.begin(), source.end(), 1);
        std::size_t at = 0;
        const auto read = [&](std::uint8_t *to, std::size_t most, std::size_t &got) {
            got = std::min({most, row.piece, source.size() - at});
            std::copy_n(source.begin() + at, got, to);
            at += got;
            return !row.fails || at == got;
        };
        const bool whole = ReadExactly(data.data(), data.size(), read);
        EXPECT_EQ(whole, row.whole);
        EXPECT_TRUE(!whole || data == source);
    }
}

}  // namespace
