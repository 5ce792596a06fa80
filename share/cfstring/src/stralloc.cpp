// stralloc.cpp - heap copies of text.
//
// The copy is a plain heap block so that callers in any library release it with free.
#include "cfstring.h"

#include <cstdlib>
#include <cstring>

namespace cf {

char *stralloc(const char *s) {
    if (s == nullptr) s = "";
    std::size_t n = std::strlen(s) + 1;
    // calloc: the block is handed out cleared, whatever its use after the copy.
    char *p = static_cast<char *>(std::calloc(n, 1));
    if (p == nullptr) return nullptr;
    std::memcpy(p, s, n);
    return p;
}

} // namespace cf
