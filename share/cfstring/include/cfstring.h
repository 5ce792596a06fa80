// cfstring.h - routines on NUL-terminated 8-bit text shared by the part-list utility, the path
// library and the netlist database.
//
// Every routine states how it reads a null pointer; most read it as the empty string. Comparison
// results are the difference of the two deciding characters taken as signed 8-bit values (a byte
// of 128 or more counts as negative), or 0. Character classes are plain ASCII: a byte of 128 or
// more is never a digit or a letter, and case folding touches a-z / A-Z only.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace cf {

// ASCII classification and case folding. Each takes an int holding a char's value (possibly
// negative) or an unsigned char; negatives and 128..255 belong to no class and fold to themselves.
constexpr bool isdigitc(int c) {
    return c >= '0' && c <= '9';
}
constexpr bool isupperc(int c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool islowerc(int c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool isalphac(int c) {
    return isupperc(c) || islowerc(c);
}
constexpr bool isalnumc(int c) {
    return isalphac(c) || isdigitc(c);
}
constexpr bool isspacec(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
constexpr int toupperc(int c) {
    return islowerc(c) ? c - 'a' + 'A' : c;
}
constexpr int tolowerc(int c) {
    return isupperc(c) ? c - 'A' + 'a' : c;
}

// A character as the comparison routines count it: its signed 8-bit value.
constexpr int schar(char c) {
    return static_cast<signed char>(c);
}

// True when the n bytes at s are valid UTF-8 (no overlong form, surrogate or value beyond
// U+10FFFF); a text that is not is read as Latin-1 wherever it is shown.
bool isutf8(const char *s, std::size_t n);

// How many of the n bytes of the UTF-8 text at s to keep so that at most max remain and no
// character is split (n when it fits).
std::size_t utf8cut(const char *s, std::size_t n, std::size_t max);

// Releases with free what a routine handed out from malloc (stralloc's copies, the library's
// arrays): the deleter of a std::unique_ptr that owns such memory.
struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

// New heap copy of s (release with free); a null s gives a new empty string; null when memory is
// exhausted.
char *stralloc(const char *s);

// Numeric-aware order: runs of digits compare by their value (32-bit, wrapping), so x9 < x10 and
// r2c == r02c; otherwise the first differing characters decide. Null reads as "".
int strnumcmp(const char *a, const char *b);

// Upper-cases s (a-z only) in place and returns it; null for a null s.
char *strtoupper(char *s);

// 1 when both are non-null and equal, else 0 (two nulls give 0).
int streql(const char *a, const char *b);

// 0 when a or b is null or n is 0 or less; else 1 when the first n characters agree (stopping early
// at a terminator common to both), else 0.
int strneql(const char *a, const char *b, int n);

// 1 when strcicmp(a, b) is 0; null reads as "".
int strcieql(const char *a, const char *b);

// 1 when strncicmp(a, b, n) is 0 (so n <= 0 gives 1); null reads as "".
int strncieql(const char *a, const char *b, int n);

// First c in s, or null when s is null or c does not occur; c == '\0' gives s's terminator.
char *index(const char *s, int c);

// 1 when s is non-empty and made of digits, each of which may be preceded by one '+' or '-'
// (so "-12", "+1+2" and "1-2" pass, "", "-" and "1-" fail); else 0. Null reads as "".
int strisint(const char *s);

// 1 when s is non-empty and every character is a digit; else 0. Null reads as "".
int strisdigit(const char *s);

// 1 when s is non-empty and every character is a letter or digit; else 0. Null reads as "".
int strisalnum(const char *s);

// 0 when a is a prefix of b (equal texts included), else the difference at the first mismatch.
// Null reads as "".
int strfcmp(const char *a, const char *b);

// 1 when strfcmp(a, b) is 0.
int strfeql(const char *a, const char *b);

// Case-insensitive comparison (a-z folded to A-Z); null reads as "".
int strcicmp(const char *a, const char *b);

// strcicmp on at most n characters; 0 when n <= 0. Null reads as "".
int strncicmp(const char *a, const char *b, int n);

} // namespace cf
