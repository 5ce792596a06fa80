// strcieql.cpp - case-insensitive equality.
//
// Built on strcicmp/strncicmp, so a null reads as the empty text and a bound of 0 always agrees.
#include "cfstring.h"

namespace cf {

int strcieql(const char *a, const char *b) {
    return strcicmp(a, b) == 0 ? 1 : 0;
}

int strncieql(const char *a, const char *b, int n) {
    return strncicmp(a, b, n) == 0 ? 1 : 0;
}

} // namespace cf
