// streql.cpp - equality tests that treat a null text as equal to nothing.
//
// A null never equals anything, not even another null: a missing name must not match.
#include "cfstring.h"

#include <cstring>

namespace cf {

int streql(const char *a, const char *b) {
    if (a == nullptr || b == nullptr) return 0;
    return std::strcmp(a, b) == 0 ? 1 : 0;
}

int strneql(const char *a, const char *b, int n) {
    if (a == nullptr || b == nullptr || n <= 0) return 0;
    return std::strncmp(a, b, static_cast<std::size_t>(n)) == 0 ? 1 : 0;
}

} // namespace cf
