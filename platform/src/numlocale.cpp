// numlocale.cpp - the C numeric conventions for the calling thread (see numlocale.h).
#include "platform/numlocale.h"

namespace platform {

namespace {

thread_local int depth = 0; // CNumericLocale scopes alive on this thread

} // namespace

#ifdef _WIN32

// Each thread gets a locale of its own for the scope's life, so the host's threads keep theirs.
CNumericLocale::CNumericLocale() {
    if (depth++ > 0) return;
    config_ = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    if (const char *old = setlocale(LC_NUMERIC, nullptr)) old_ = old;
    active_ = setlocale(LC_NUMERIC, "C") != nullptr;
}

CNumericLocale::~CNumericLocale() {
    --depth;
    if (!active_) return;
    if (!old_.empty()) setlocale(LC_NUMERIC, old_.c_str());
    if (config_ != -1) _configthreadlocale(config_);
}

#else

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

#endif

} // namespace platform
