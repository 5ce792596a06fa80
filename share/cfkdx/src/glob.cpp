// glob.cpp - library-wide option state.
//
// The option parser sets these flags; every module of the library reads them.
#include "kdxint.h"

namespace kdx {

namespace {

constinit LibOptions options{}; // flags of the current run; all off until the parser sets them

} // namespace

LibOptions &xxoptions() {
    return options;
}

} // namespace kdx
