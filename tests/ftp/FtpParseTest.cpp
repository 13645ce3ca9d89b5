// Numbers and quoted names read out of reply lines.
#include "ftp/FtpParse.h"

#include <gtest/gtest.h>

#include <limits>

TEST(FtpParse, IntegerSkipsBlanksReadsSignAndStopsAfterDigits) {
    std::size_t pos = 0;
    EXPECT_EQ(ParseInteger(" \t\r\n+213 x", pos), 213);
    EXPECT_EQ(pos, 8u);
    pos = 0;
    EXPECT_EQ(ParseInteger("-42-", pos), -42);
    EXPECT_EQ(pos, 3u);
    pos = 0;
    EXPECT_EQ(ParseInteger("abc", pos), 0);
    EXPECT_EQ(pos, 0u);
}

TEST(FtpParse, HostileNumberSaturates) {
    std::size_t pos = 3;
    EXPECT_EQ(ParseInteger("213 99999999999999999999", pos),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(pos, 24u);
    pos = 3;
    EXPECT_EQ(ParseInteger("213 5000000000", pos), 5000000000LL);
}

TEST(FtpParse, QuotedStringWithDoubledQuotesAndWithoutQuote) {
    EXPECT_EQ(ParseQuotedString("257 \"/a \"\"b\"\" c\" is current", 3), "/a \"b\" c");
    EXPECT_EQ(ParseQuotedString("257 /plain is current", 3), "");
    EXPECT_EQ(ParseQuotedString("257 \"/unterminated", 3), "/unterminated");
    EXPECT_EQ(ParseQuotedString("257 \"\"", 3), "");
}
