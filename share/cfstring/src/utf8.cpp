// utf8.cpp - which 8-bit texts are UTF-8, and where a UTF-8 text may be cut.
//
// The suite's files are 8-bit: a text is shown (or exported) as UTF-8 when it is valid UTF-8 and
// as Latin-1 otherwise, so every reader of them needs the same test.
#include "cfstring.h"

#include <cstdint>

namespace cf {

namespace {

// The length of the UTF-8 sequence that starts at s[i] (at most n - i bytes), or 0 when none
// does: a stray continuation byte, an overlong form, a surrogate, a value beyond U+10FFFF or a
// sequence cut short.
std::size_t sequence(const char *s, std::size_t i, std::size_t n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (len > n - i) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

bool isutf8(const char *s, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = sequence(s, i, n);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::size_t utf8cut(const char *s, std::size_t n, std::size_t max) {
    if (n <= max) return n;
    std::size_t i = 0;
    while (i < max) {
        const std::size_t len = sequence(s, i, n);
        if (len == 0 || i + len > max) break;
        i += len;
    }
    return i;
}

} // namespace cf
