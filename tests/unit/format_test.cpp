// Format: printf-style text, short or longer than its first buffer.
#include <gtest/gtest.h>
#include <string>
#include "format.h"

namespace {
TEST(Format, FillsInTheValues)
{
    EXPECT_EQ(Format("设备%d已经关闭", 3), "设备3已经关闭");
}

TEST(Format, KeepsEveryCharacterOfALongText)
{
    // 255 characters and the terminator fill the first buffer; from 256 on it is made again.
    for (std::size_t length : {255u, 256u, 1000u}) {
        const std::string text(length, 'x');
        EXPECT_EQ(Format("%s", text.c_str()), text) << length;
    }
}
}  // namespace
