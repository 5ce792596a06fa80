// index.cpp - character search.
//
// Kept in the cf namespace: the name collides with the C library's routine of the same purpose.
#include "cfstring.h"

#include <cstring>

namespace cf {

char *index(const char *s, int c) {
    if (s == nullptr) return nullptr;
    return const_cast<char *>(std::strchr(s, c));
}

} // namespace cf
