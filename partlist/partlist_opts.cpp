// partlist_opts.cpp - the options of one part-list run.
//
// Holds the flags and values that the run's option rows ("-o", "-f", "-l", "-debug") fill, the
// property width of the run, and the run's own copies of the string values. Everything is reset
// at the start of each run, so a run never sees an earlier run's options or argument vector.
#include "partlistint.h"

#include "cfpath.h"
#include "kdx.h"

#include <cstdlib>
#include <cstring>

namespace partlist {

namespace {

// The copies are whole heap texts: the values are texts of any length, not fixed buffers.
struct OptsState {
    RunOptions opts; // flags and values as the parser sets them
    char *
        reportname; // copy of the -o value, its separators made the system's own; null before a run
    char *letters;  // copy of the -f value; null before a run
};

constinit OptsState state{RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0}, nullptr,
                          nullptr};

// Replaces *dst by a heap copy of src (null reads as "").
void keep(char *&dst, const char *src) {
    std::free(dst);
    dst = strdup(src != nullptr ? src : "");
    if (dst == nullptr) kdx::xxerror('f', "Out of memory");
}

} // namespace

RunOptions &runopts() {
    return state.opts;
}

void resetopts() {
    state.opts = RunOptions{0, nullptr, 0, nullptr, 0, DEFAULT_PAGELEN, 0, 0};
    std::free(state.reportname);
    std::free(state.letters);
    state.reportname = nullptr;
    state.letters = nullptr;
}

void keepoptvalues() {
    keep(state.reportname, state.opts.reportname);
    cf::toseparators(state.reportname);
    keep(state.letters, state.opts.letters);
    // From here on the values point at the run's own copies.
    state.opts.reportname = state.reportname;
    state.opts.letters = state.letters;
}

const char *reportname() {
    return state.reportname != nullptr ? state.reportname : "";
}
const char *categoryletters() {
    return state.letters != nullptr ? state.letters : "";
}

} // namespace partlist
