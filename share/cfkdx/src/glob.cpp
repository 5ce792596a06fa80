// glob.cpp - library-wide option state.
//
// The option parser sets these flags; every module of the library reads them.
#include "kdxint.h"

namespace kdx {

// Flags of the current run; all off until the parser sets them. Named in the header so that the
// routine scopes can see the trace flags without a call.
constinit LibOptions detail::options{};

LibOptions &xxoptions() {
    return detail::options;
}

} // namespace kdx
