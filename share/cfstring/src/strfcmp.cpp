// strfcmp.cpp - prefix comparison.
//
// "a is a prefix of b" counts as a match, so abbreviated keywords find their full form.
#include "cfstring.h"

namespace cf {

int strfcmp(const char *a, const char *b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    if (*a == '\0') return 0;
    return schar(*a) - schar(*b);
}

int strfeql(const char *a, const char *b) {
    return strfcmp(a, b) == 0 ? 1 : 0;
}

} // namespace cf
