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

// Returns 0 when the name could not be pushed (the stack is full).
bool push(const char *name) {
    if (stk.top >= STACKSIZE - 1) {
        // The report ends the run through the clean-up, whose own routines enter too: they are
        // refused quietly instead of reporting the overflow again.
        if (!stk.overflowing) {
            struct Reporting {
                Reporting() { stk.overflowing = true; }
                ~Reporting() { stk.overflowing = false; }
            } reporting;
            xxerr("i", "Routine stack overflow in %s", name);
        }
        // The routine still leaves, so count the refused entry and let xxleave drop it
        // instead of popping a caller's entry.
        ++stk.unpushed;
        return false;
    }
    stk.names[++stk.top] = name;
    return true;
}

} // namespace

void xxenter(const char *name) {
    if (!push(name)) return;
    LibOptions &opt = xxoptions();
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
