// Numeric-aware ordering of part references.
#include "cfstring.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(StrNumCmp, DigitRunsCompareByValue) {
    EXPECT_GT(cf::strnumcmp("x10", "x9"), 0);
    EXPECT_LT(cf::strnumcmp("x9", "x10"), 0);
    EXPECT_EQ(cf::strnumcmp("r2c", "r02c"), 0);
    EXPECT_EQ(cf::strnumcmp("a007b", "a7b"), 0);
    EXPECT_EQ(cf::strnumcmp("U12", "U3"), 9);
    // Equal numbers go on to the text behind them.
    EXPECT_EQ(cf::strnumcmp("r2a", "r2c"), 'a' - 'c');
}

TEST(StrNumCmp, TextDifferencesAreSignedBytes) {
    EXPECT_EQ(cf::strnumcmp("ab", "abc"), -'c');
    EXPECT_EQ(cf::strnumcmp("a\xe9", "aa"), -23 - 'a');
    // A digit against a letter is an ordinary character difference.
    EXPECT_EQ(cf::strnumcmp("r1", "rx"), '1' - 'x');
}

TEST(StrNumCmp, NullReadsAsEmpty) {
    EXPECT_EQ(cf::strnumcmp(nullptr, nullptr), 0);
    EXPECT_EQ(cf::strnumcmp(nullptr, ""), 0);
    EXPECT_EQ(cf::strnumcmp("a", nullptr), 'a');
}

TEST(StrNumCmp, ValuesWrapInThirtyTwoBits) {
    // 2^32 wraps to 0 and 2^32 + 7 to 7.
    EXPECT_EQ(cf::strnumcmp("n4294967296", "n0"), 0);
    EXPECT_EQ(cf::strnumcmp("n4294967303", "n7"), 0);
    // 2^31 becomes the most negative value; the difference wraps as well instead of overflowing.
    EXPECT_EQ(cf::strnumcmp("2147483648", "1"), INT_MAX);
    EXPECT_LT(cf::strnumcmp("2147483648", "0"), 0);
}

} // namespace
