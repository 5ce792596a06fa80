// numlocale.cpp - the C numeric conventions for the calling thread (see numlocale.h).
#include "platform/numlocale.h"

namespace platform {

namespace {

thread_local int depth = 0; // CNumericLocale scopes alive on this thread

} // namespace

CNumericLocale::CNumericLocale() {
    if (depth++ > 0) return;
    locale_t base = duplocale(LC_GLOBAL_LOCALE);
    if (base != locale_t{}) loc_ = newlocale(LC_NUMERIC_MASK, "C", base);
    if (loc_ != locale_t{})
        old_ = uselocale(loc_);
    else if (base != locale_t{})
        freelocale(base); // newlocale leaves its base to the caller when it fails
}

CNumericLocale::~CNumericLocale() {
    --depth;
    if (loc_ != locale_t{}) {
        uselocale(old_);
        freelocale(loc_);
    }
}

} // namespace platform
