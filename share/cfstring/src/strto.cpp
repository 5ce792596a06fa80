// strto.cpp - in-place case conversion.
//
// Only a-z are folded; bytes of 128 and above stay as they are whatever the locale.
#include "cfstring.h"

namespace cf {

char *strtoupper(char *s) {
    if (s == nullptr) return nullptr;
    for (char *p = s; *p != '\0'; ++p)
        *p = static_cast<char>(toupperc(schar(*p)));
    return s;
}

} // namespace cf
