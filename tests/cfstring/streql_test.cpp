// Equality, prefix and case-insensitive comparisons and their null rules.
#include "cfstring.h"

#include <gtest/gtest.h>

namespace {

TEST(StrEql, NullNeverEqualsAnything) {
    EXPECT_EQ(cf::streql(nullptr, nullptr), 0);
    EXPECT_EQ(cf::streql(nullptr, ""), 0);
    EXPECT_EQ(cf::streql("", ""), 1);
    EXPECT_EQ(cf::streql("abc", "abc"), 1);
    EXPECT_EQ(cf::streql("abc", "abC"), 0);

    EXPECT_EQ(cf::strneql(nullptr, "a", 1), 0);
    EXPECT_EQ(cf::strneql("abc", "abd", 0), 0);
    EXPECT_EQ(cf::strneql("abc", "abd", 2), 1);
    EXPECT_EQ(cf::strneql("abc", "abd", 3), 0);
    EXPECT_EQ(cf::strneql("ab", "ab", 10), 1); // stops at the common terminator
    EXPECT_EQ(cf::strneql("ab", "abc", 10), 0);
}

TEST(StrCiEql, NullReadsAsEmptyAndZeroLengthAgrees) {
    EXPECT_EQ(cf::strcieql(nullptr, ""), 1);
    EXPECT_EQ(cf::strcieql(nullptr, nullptr), 1);
    EXPECT_EQ(cf::strcieql("Net", "NET"), 1);
    EXPECT_EQ(cf::strcieql("Net", "NETS"), 0);
    EXPECT_EQ(cf::strncieql("abc", "abd", 0), 1);
    EXPECT_EQ(cf::strncieql("abc", "abd", -4), 1);
    EXPECT_EQ(cf::strncieql("abc", "ABD", 2), 1);
    EXPECT_EQ(cf::strncieql("abc", "ABD", 3), 0);
}

TEST(StrCiCmp, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(cf::strcicmp("Net", "NET"), 0);
    EXPECT_EQ(cf::strcicmp("a", "B"), 'A' - 'B');
    EXPECT_EQ(cf::strcicmp("abc", "ab"), 'C');
    EXPECT_EQ(cf::strcicmp(nullptr, "x"), -'X');
    // 0xe9 is not folded and counts as -23; '[' sits between the cases and is left alone.
    EXPECT_EQ(cf::strcicmp("\xe9", "a"), -23 - 'A');
    EXPECT_EQ(cf::strcicmp("\xc9", "\xe9"), -55 + 23);
    EXPECT_EQ(cf::strcicmp("[", "a"), '[' - 'A');

    EXPECT_EQ(cf::strncicmp("abcX", "ABCy", 3), 0);
    EXPECT_EQ(cf::strncicmp("abcX", "ABCy", 4), 'X' - 'Y');
    EXPECT_EQ(cf::strncicmp("a", "b", 0), 0);
    EXPECT_EQ(cf::strncicmp("ab", "AB", 99), 0);
}

TEST(StrFCmp, PrefixMatches) {
    EXPECT_EQ(cf::strfcmp("ab", "abc"), 0);
    EXPECT_EQ(cf::strfcmp("abc", "abc"), 0);
    EXPECT_EQ(cf::strfcmp("", "abc"), 0);
    EXPECT_EQ(cf::strfcmp(nullptr, "abc"), 0);
    EXPECT_EQ(cf::strfcmp("abc", "ab"), 99);
    EXPECT_EQ(cf::strfcmp("abc", nullptr), 'a');
    EXPECT_EQ(cf::strfcmp("abd", "abc"), 1);
    EXPECT_EQ(cf::strfcmp("a\xe9", "ab"), -23 - 'b');
    EXPECT_EQ(cf::strfeql("-xx", "-xxdebug"), 1);
    EXPECT_EQ(cf::strfeql("-xxdebug", "-xx"), 0);
}

} // namespace
