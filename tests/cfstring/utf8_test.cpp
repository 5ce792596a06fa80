// Which 8-bit texts pass as UTF-8, and where a UTF-8 text may be cut.
#include "cfstring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

bool utf8(const std::string &s, std::size_t n = std::string::npos) {
    return cf::isutf8(s.data(), std::min(n, s.size()));
}

using testing::PrintToString;

TEST(Utf8, EveryMalformedClassIsRefusedAndCutsFallBetweenCharacters) {
    struct Case {
        std::string bytes;
        bool utf8;
    };
    // clang-format off
    const Case cases[] = {
        {"A\x7f", true},                                           // one byte, up to its last value
        {"\xc2\x80\xdf\xbf", true},                                // two: U+0080, U+07FF
        {"\xe0\xa0\x80\xef\xbf\xbf", true},                        // three: U+0800, U+FFFF
        {"\xed\x9f\xbf\xee\x80\x80", true},                        // U+D7FF, U+E000: no surrogates
        {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", true},                // four: U+10000, U+10FFFF
        {"\xc0\x80", false}, {"\xc1\xbf", false},                  // overlong in two bytes
        {"\xe0\x80\x80", false}, {"\xe0\x9f\xbf", false},          // in three
        {"\xf0\x80\x80\x80", false}, {"\xf0\x8f\xbf\xbf", false},  // in four
        {"\xed\xa0\x80", false}, {"\xed\xbf\xbf", false},          // surrogates U+D800, U+DFFF
        {"\xf4\x90\x80\x80", false},                               // above U+10FFFF
        {"\xe2\x82" "A", false}, {"\xf0\x9f\x98" "A", false},      // cut short by what follows
        {"A\xbf", false}, {"\xc3\xa9\x80", false},                 // stray continuation bytes
        {"10\xb5" "F", false},                                     // Latin-1
    };
    // clang-format on
    for (const Case &c : cases) {
        EXPECT_EQ(utf8(c.bytes), c.utf8) << PrintToString(c.bytes);
        if (!c.utf8) continue;
        // Every character cut short at the end of the text is refused, whatever follows it.
        for (std::size_t i = 0, len; i < c.bytes.size(); i += len) {
            len = 1;
            while (i + len < c.bytes.size() && (c.bytes[i + len] & 0xC0) == 0x80)
                ++len;
            for (std::size_t k = 1; k < len; ++k)
                EXPECT_FALSE(utf8(c.bytes, i + k)) << PrintToString(c.bytes) << " at " << i + k;
        }
    }
    // No byte above ASCII stands alone; 0xF5 and above begin no character, whatever follows.
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string lead(1, static_cast<char>(b));
        EXPECT_FALSE(utf8(lead)) << b;
        EXPECT_TRUE(b < 0xF5 || !utf8(lead + "\x80\x80\x80")) << b;
    }

    // Characters of one to four bytes, in both orders: a cut keeps whole characters only, so a
    // limit at the end of a character keeps it and one byte short of that drops it.
    const struct {
        std::string text;
        std::size_t ends[5];
    } texts[] = {
        {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", {0, 1, 3, 6, 10}},
        {"\xf0\x9f\x98\x80\xe2\x82\xac\xc3\xa9"
         "a",
         {0, 4, 7, 9, 10}},
    };
    for (const auto &t : texts) {
        for (std::size_t max = 0; max <= t.text.size() + 1; ++max) {
            std::size_t keep = 0;
            for (std::size_t end : t.ends)
                if (end <= max) keep = end;
            EXPECT_EQ(cf::utf8cut(t.text.data(), t.text.size(), max), keep)
                << PrintToString(t.text) << " to " << max;
        }
    }
}

} // namespace
