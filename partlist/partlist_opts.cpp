// partlist_opts.cpp - the options of one part-list run.
//
// Holds the flags and values that the run's option rows ("-o", "-f", "-l", "-debug") fill, the
// property width of the run, and the run's own copies of the string values. Everything is reset
// at the start of each run, so a run never sees an earlier run's options or argument vector.
#include "partlistint.h"

#include <algorithm>
#include <string>

namespace partlist {

namespace {

// The copies are whole: the values are texts of any length, not fixed buffers.
struct OptsState {
    RunOptions opts;        // flags and values as the parser sets them
    std::string reportname; // copy of the -o value, its separators turned into "/"
    std::string letters;    // copy of the -f value
};

constinit OptsState state{RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0}, {}, {}};

} // namespace

RunOptions &runopts() {
    return state.opts;
}

void resetopts() {
    state.opts = RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0};
    state.reportname.clear();
    state.letters.clear();
}

void keepoptvalues() {
    state.reportname = state.opts.reportname != nullptr ? state.opts.reportname : "";
    std::replace(state.reportname.begin(), state.reportname.end(), '\\', '/');
    state.letters = state.opts.letters != nullptr ? state.opts.letters : "";
    // From here on the values point at the run's own copies.
    state.opts.reportname = state.reportname.c_str();
    state.opts.letters = state.letters.c_str();
}

const char *reportname() {
    return state.reportname.c_str();
}
const char *categoryletters() {
    return state.letters.c_str();
}

} // namespace partlist
