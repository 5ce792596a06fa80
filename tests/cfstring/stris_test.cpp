// Class tests over whole texts, case conversion, search and copies.
#include "cfstring.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(StrIsInt, SignMayPrecedeEveryDigit) {
    for (const char *ok : {"0", "123", "-12", "+7", "+1+2", "1-2"})
        EXPECT_EQ(cf::strisint(ok), 1) << ok;
    for (const char *bad : {"", "-", "+", "1-", "--1", "1.5", "1a", " 1", "1\xb2"})
        EXPECT_EQ(cf::strisint(bad), 0) << bad;
    EXPECT_EQ(cf::strisint(nullptr), 0);
}

TEST(StrIsDigitAlnum, WholeTextMustBelongToTheClass) {
    EXPECT_EQ(cf::strisdigit("0123"), 1);
    EXPECT_EQ(cf::strisdigit(""), 0);
    EXPECT_EQ(cf::strisdigit(nullptr), 0);
    EXPECT_EQ(cf::strisdigit("-1"), 0);
    EXPECT_EQ(cf::strisdigit("1\xb9"), 0);

    EXPECT_EQ(cf::strisalnum("R12"), 1);
    EXPECT_EQ(cf::strisalnum("R_12"), 0);
    EXPECT_EQ(cf::strisalnum(""), 0);
    EXPECT_EQ(cf::strisalnum(nullptr), 0);
    EXPECT_EQ(cf::strisalnum("R\xe9"), 0);
}

TEST(AsciiHelpers, BytesAboveAsciiHaveNoClass) {
    for (int c : {-128, -23, -1, 128, 0xe9, 0xff}) {
        EXPECT_FALSE(cf::isalphac(c)) << c;
        EXPECT_FALSE(cf::isdigitc(c)) << c;
        EXPECT_FALSE(cf::isspacec(c)) << c;
        EXPECT_EQ(cf::toupperc(c), c);
        EXPECT_EQ(cf::tolowerc(c), c);
    }
    EXPECT_EQ(cf::toupperc('z'), 'Z');
    EXPECT_EQ(cf::tolowerc('Q'), 'q');
    EXPECT_EQ(cf::toupperc('{'), '{');
    EXPECT_TRUE(cf::isspacec('\v'));
}

TEST(StrToUpper, InPlaceAsciiOnly) {
    char s[] = "net_a1\xe9z";
    EXPECT_EQ(cf::strtoupper(s), s);
    EXPECT_STREQ(s, "NET_A1\xe9Z");
    EXPECT_EQ(cf::strtoupper(nullptr), nullptr);
}

TEST(Index, FindsFirstOccurrenceOrTerminator) {
    const char *s = "a:b:c";
    EXPECT_EQ(cf::index(s, ':'), s + 1);
    EXPECT_EQ(cf::index(s, 'x'), nullptr);
    EXPECT_EQ(cf::index(s, '\0'), s + 5);
    EXPECT_EQ(cf::index(nullptr, 'a'), nullptr);
    const char *h = "x\xe9";
    EXPECT_EQ(cf::index(h, 0xe9), h + 1); // a byte above ASCII is found however it is passed
    EXPECT_EQ(cf::index(h, -23), h + 1);
}

TEST(StrAlloc, CopiesAndNullGivesEmpty) {
    char *e = cf::stralloc(nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "");
    std::free(e);

    const char src[] = "R1";
    char *c = cf::stralloc(src);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, src);
    EXPECT_STREQ(c, "R1");
    std::free(c);
}

} // namespace
