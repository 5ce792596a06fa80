// err2.cpp - the routine stack of the library, its trace, and the release of a run's state.
//
// Every library routine pushes its name on entry and pops it on return, so a message can say in
// which routine, called from where, it arose. The stack holds 100 names.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

inline constexpr int STACKSIZE = detail::ROUTINE_STACK;

// The stack lives in the header's detail namespace so that the scopes push inline; this module
// is its only writer besides them.
detail::RoutineStack &stk = detail::routines;

// A name that does not fit on a full stack: reported once, and counted so that the routine's
// leave drops the refusal instead of popping a caller's entry. Always returns false.
[[gnu::cold, gnu::noinline]] bool overflow(const char *name) {
    // The report ends the run through the clean-up, whose own routines enter too: they are
    // refused quietly instead of reporting the overflow again.
    if (!stk.overflowing) {
        struct Reporting {
            Reporting() { stk.overflowing = true; }
            ~Reporting() { stk.overflowing = false; }
        } reporting;
        xxerr("i", "Routine stack overflow in %s", name);
    }
    ++stk.unpushed;
    return false;
}

// Returns false when the name could not be pushed (the stack is full).
inline bool push(const char *name) {
    if (stk.top >= STACKSIZE - 1) [[unlikely]]
        return overflow(name);
    stk.names[++stk.top] = name;
    return true;
}

[[gnu::cold, gnu::noinline]] void traceentry(const char *name) {
    const LibOptions &opt = xxoptions();
    if (opt.trace || (opt.begin && stk.top == 0)) {
        char line[2 * STACKSIZE + 256];
        std::size_t n = 0;
        for (int i = 0; i < stk.top; ++i) {
            line[n++] = ' ';
            line[n++] = ' ';
        }
        std::snprintf(line + n, sizeof line - n, "%s", name != nullptr ? name : "");
        xxerror('m', "%s", line);
    }
}

} // namespace

constinit detail::RoutineStack detail::routines{{}, -1, 0, false};

void detail::enterslow(const char *name, bool traced) {
    if (!push(name) || !traced) return;
    const LibOptions &opt = xxoptions();
    if (opt.trace || opt.begin) traceentry(name);
}

void xxenter(const char *name) {
    detail::enterslow(name, true);
}

bool xxtracing() {
    const LibOptions &opt = xxoptions();
    return opt.trace || opt.begin;
}

void xxenterq(const char *name) {
    push(name);
}

void xxleave() {
    detail::fastleave();
}

int xxstackdepth() {
    return stk.top + 1;
}

const char *xxstackname(int i) {
    if (i < 0 || i > stk.top) return nullptr;
    return stk.names[i];
}

void xxassertfail(const char *file, int line) {
    const char *base = file != nullptr ? file : "?";
    for (const char *p = base; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    const char *routine = stk.top >= 0 && stk.names[stk.top] != nullptr ? stk.names[stk.top] : "?";
    xxerror('i', "Assertion failed: file %s, routine %s, line %d", base, routine, line);
}

void xxcleanup() {
    xxrdfree();
    xxsetprogname(nullptr);
    xxfreeall();
    xxclrqual();
    xxpropfree();
    xxsymfree();
}

} // namespace kdx
