// strnumcm.cpp - numeric-aware comparison of names such as R9 and R10.
//
// A run of digits counts by its value, so part references sort as people read them; values are
// accumulated in 32 bits with wrap-around, as stored designs have always been ordered.
#include "cfstring.h"

#include <cstdint>

namespace cf {

namespace {

// Reads the run of digits at *p as a wrapping 32-bit value and leaves *p after it.
std::int32_t digitrun(const char *&p) {
    std::uint32_t v = 0;
    while (isdigitc(schar(*p)))
        v = v * 10u + static_cast<std::uint32_t>(*p++ - '0');
    return static_cast<std::int32_t>(v);
}

} // namespace

int strnumcmp(const char *a, const char *b) {
    if (a == nullptr) a = "";
    if (b == nullptr) b = "";
    for (;;) {
        if (isdigitc(schar(*a)) && isdigitc(schar(*b))) {
            std::int32_t x = digitrun(a);
            std::int32_t y = digitrun(b);
            if (x != y)
                // Wrapping difference, kept in 32 bits like the values themselves.
                return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) -
                                                 static_cast<std::uint32_t>(y));
            continue;
        }
        if (*a != *b) return schar(*a) - schar(*b);
        if (*a == '\0') return 0;
        ++a;
        ++b;
    }
}

} // namespace cf
