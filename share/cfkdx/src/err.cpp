// err.cpp - the one reporter of the system (xxerror) and the library's message composer (xxerr).
//
// Owns the message count, the program name that prefixes every line, the log stream and the exit
// handler that a fatal or internal error ends the run through.
#include "kdxint.h"

#include "cfpath.h"
#include "platform/numlocale.h"

#include <cstdlib>
#include <cstring>

namespace kdx {

namespace {

constinit struct {
    int msgcount = 0;                // messages written by xxerror, valid or not
    int internalcount = 0;           // internal errors among them
    char *progname = nullptr;        // heap copy of the program name; null: no prefix
    FILE *log = nullptr;             // the run's log; null: standard error
    ExitHandler onexit = nullptr;    // Sch_Exit of the run driver; null: release and throw here
    MessageHook beforemsg = nullptr; // called before every message; null: none
} err;

// Appends to a bounded buffer; text that does not fit is cut, never written past the end.
class Composer {
  public:
    Composer(char *out, std::size_t size) : out_(out), size_(size) {
        if (size_ > 0) out_[0] = '\0';
    }
    void put(const char *s) { printf("%s", s); }
    [[gnu::format(printf, 2, 3)]] void printf(const char *fmt, ...) {
        std::va_list ap;
        va_start(ap, fmt);
        vprintf(fmt, ap);
        va_end(ap);
    }
    void vprintf(const char *fmt, std::va_list ap) {
        if (len_ + 1 >= size_) return;
        int n = std::vsnprintf(out_ + len_, size_ - len_, fmt, ap);
        if (n < 0) return;
        len_ += static_cast<std::size_t>(n);
        if (len_ >= size_) len_ = size_ - 1;
    }

  private:
    char *out_;
    std::size_t size_;
    std::size_t len_ = 0;
};

void endrun(int status) {
    if (err.onexit != nullptr) {
        err.onexit(status);
        return;
    }
    xxcleanup();
    xxfreeall();
    throw RunAbort{status};
}

} // namespace

void xxsetexit(ExitHandler handler) {
    err.onexit = handler;
}

void xxsetmsghook(MessageHook hook) {
    err.beforemsg = hook;
}

#ifdef PARTLIST_THREADCHECKS
constinit thread_local bool detail::forbidden = false;

void detail::forbiddenentry(const char *name) {
    std::fprintf(stderr, "partlist: %s entered on a thread that must not use the library\n",
                 name != nullptr ? name : "a message");
    std::abort();
}
#endif

void xxforbidthread([[maybe_unused]] bool forbid) {
#ifdef PARTLIST_THREADCHECKS
    detail::forbidden = forbid;
#endif
}

void xxsetlog(FILE *log) {
    err.log = log;
    // The path library below traces and notices into the same log.
    cf::SetPathLog(log);
}

FILE *xxlog() {
    return err.log != nullptr ? err.log : stderr;
}

int xxmsgcount() {
    return err.msgcount;
}

int xxinternalcount() {
    return err.internalcount;
}

void xxsetprogname(const char *name) {
    std::free(err.progname);
    err.progname = name != nullptr ? cf::stralloc(name) : nullptr;
}

const char *xxprogname() {
    return err.progname;
}

int xxerror(int code, const char *fmt, ...) {
#ifdef PARTLIST_THREADCHECKS
    if (detail::forbidden) detail::forbiddenentry(nullptr);
#endif
    if (err.beforemsg != nullptr) err.beforemsg();
    FILE *log = xxlog();
    ++err.msgcount;
    if (err.progname != nullptr && err.progname[0] != '\0') std::fprintf(log, "%s: ", err.progname);
    if (!cf::isalphac(code)) {
        std::fputs("xxerror: invalid error message type\n", log);
        std::fflush(log);
        return 0;
    }
    switch (code) {
    case 'd':
        std::fputs("debug: ", log);
        break;
    case 'e':
        std::fputs("error: ", log);
        break;
    case 'f':
        std::fputs("fatal error: ", log);
        break;
    case 'i':
        std::fputs("internal error: ", log);
        ++err.internalcount;
        break;
    case 'w':
        std::fputs("warning: ", log);
        break;
    default:
        break;
    }
    {
        platform::CNumericLocale numeric;
        std::va_list ap;
        va_start(ap, fmt);
        std::vfprintf(log, fmt, ap);
        va_end(ap);
    }
    std::fputs("\n", log);
    if (code == 'i')
        std::fputs("This is a KDX error: Please save the input and report to Morvek Corporation.\n",
                   log);
    std::fflush(log);
    if ((code == 'f' || code == 'i') && !xxoptions().nofatal) endrun(-1);
    return 0;
}

int xxcompose(char *out, std::size_t outsize, const char *letters, const char *file, int line,
              const char *fmt, std::va_list ap) {
    Composer msg(out, outsize);
    auto has = [letters](char c) { return cf::index(letters, c) != nullptr; };
    if (has('d') && !xxoptions().debug && !xxoptions().begin) return 0;

    int code = 'm';
    for (const char *c = "fiewd"; *c != '\0'; ++c) {
        if (has(*c)) {
            code = *c;
            break;
        }
    }

    if (has('r') || has('i')) {
        // The chain starts at most at the fifth entry from the bottom and runs down to entry 0.
        msg.put("(in ");
        int depth = xxstackdepth();
        for (int i = depth - 1 < 4 ? depth - 1 : 4; i >= 0; --i) {
            msg.put(xxstackname(i));
            if (i > 0) msg.put(" called from ");
        }
        msg.put(") ");
    }

    if (file != nullptr) {
        bool said = false;
        if (has('n')) {
            msg.printf("file %s ", file);
            said = true;
        }
        if (has('l')) {
            msg.printf("line %d ", line);
            said = true;
        }
        if (said) msg.put(": ");
    }

    {
        platform::CNumericLocale numeric;
        msg.vprintf(fmt, ap);
    }

    if (has('p')) msg.put(" (see patt)");
    return code;
}

void xxerr(const char *letters, const char *fmt, ...) {
    // Static, not on the stack: xxerr is reached from deep recursions of the readers.
    static char text[XXMSGSIZE];
    const char *file = nullptr;
    int line = 0;
    if (xxcurinput(&file, &line) == 0)
        file = nullptr;
    else if (file == nullptr)
        file = "";

    std::va_list ap;
    va_start(ap, fmt);
    int code = xxcompose(text, sizeof text, letters, file, line, fmt, ap);
    va_end(ap);
    if (code != 0) xxerror(code, "%s", text);
}

} // namespace kdx
