// partlist_opts.cpp - the options of one part-list run.
//
// Holds the flags and values that the run's option rows ("-o", "-f", "-l", "-debug") fill, the
// property width of the run, and the run's own copies of the string values. Everything is reset
// at the start of each run, so a run never sees an earlier run's options or argument vector.
#include "partlistint.h"

#include <cstring>

namespace partlist {

namespace {

struct OptsState {
    RunOptions opts;            // flags and values as the parser sets them
    char reportname[NAME_SIZE]; // copy of the -o value
    char letters[NAME_SIZE];    // copy of the -f value
};

constinit OptsState state{RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0}, {}, {}};

void keep(char *dst, const char *src) {
    dst[0] = '\0';
    if (src != nullptr) {
        std::strncpy(dst, src, NAME_SIZE - 1);
        dst[NAME_SIZE - 1] = '\0';
    }
}

} // namespace

RunOptions &runopts() {
    return state.opts;
}

void resetopts() {
    state.opts = RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0};
    state.reportname[0] = '\0';
    state.letters[0] = '\0';
}

void keepoptvalues() {
    keep(state.reportname, state.opts.reportname);
    keep(state.letters, state.opts.letters);
    // From here on the values point at the run's own copies.
    state.opts.reportname = state.reportname;
    state.opts.letters = state.letters;
}

const char *reportname() {
    return state.reportname;
}
const char *categoryletters() {
    return state.letters;
}

} // namespace partlist
