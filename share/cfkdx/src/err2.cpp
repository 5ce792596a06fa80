// err2.cpp - the routine stack of the library, its trace, and the release of a run's state.
//
// Every library routine pushes its name on entry and pops it on return, so a message can say in
// which routine, called from where, it arose. The stack holds 100 names.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

inline constexpr int STACKSIZE = 100; // routine names the stack holds

constinit struct {
    const char *names[STACKSIZE] = {}; // routine names, outermost at entry 0
    int top = -1;                      // innermost entry; -1 when empty
    int unpushed = 0;                  // entries refused on overflow, still to be left
    bool overflowing = false;          // the overflow message is being reported
} stk;

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

// Every routine of the library comes through here, so the common case is kept to a compare and
// a store. Returns false when the name could not be pushed (the stack is full).
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

void xxenter(const char *name) {
    if (!push(name)) return;
    const LibOptions &opt = xxoptions();
    if (opt.trace || opt.begin) [[unlikely]]
        traceentry(name);
}

bool xxtracing() {
    const LibOptions &opt = xxoptions();
    return opt.trace || opt.begin;
}

void xxenterq(const char *name) {
    push(name);
}

void xxleave() {
    if (stk.unpushed > 0)
        --stk.unpushed;
    else if (stk.top >= 0)
        --stk.top;
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
