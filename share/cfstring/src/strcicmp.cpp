// strcicmp.cpp - case-insensitive comparison.
//
// Folds a-z only; other bytes compare as their signed 8-bit values, so the order does not depend
// on the locale.
#include "cfstring.h"

namespace cf {

int strcicmp(const char *a, const char *b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (;; ++a, ++b) {
        int x = toupperc(schar(*a));
        int y = toupperc(schar(*b));
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}

int strncicmp(const char *a, const char *b, int n) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (; n > 0; --n, ++a, ++b) {
        int x = toupperc(schar(*a));
        int y = toupperc(schar(*b));
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
    return 0;
}

} // namespace cf
