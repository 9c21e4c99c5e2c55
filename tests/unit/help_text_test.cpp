// The help text: its lines and its size as the program's code page holds it.
#include <gtest/gtest.h>
#include <iconv.h>
#include "help_text.h"

namespace {
TEST(HelpText, IsFortySevenCrLfLinesOf2034BytesInCodePage936)
{
    std::string text = HelpText();
    std::string gbk(4096, '\0');
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 47u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    iconv_t cd = iconv_open("GBK", "UTF-8");
    char *src = &text[0];
    char *dst = &gbk[0];
    size_t srcLeft = text.size();
    size_t dstLeft = gbk.size();
    ASSERT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    EXPECT_EQ(gbk.size() - dstLeft, 2034u);
}
}  // namespace
