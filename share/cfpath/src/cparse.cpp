// cparse.cpp - the table-driven option parser.
//
// Owns the message buffer, the name buffer of optname and the words of the last start-up-file
// line: option values taken from that line point into its words, so they are kept until the
// next readrcopts rather than released with the vector. Numbers are converted in the C locale,
// whatever locale the host has set.
#include "cfpath.h"
#include "cfpathint.h"

#include "cfstring.h"
#include "platform/numlocale.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cf {

namespace {

constexpr int NAMELEN = 100; // the part of a pattern optname looks at
constexpr int SCANLEN = 7;   // the part of a pattern's scan type that is used

struct CparseState {
    char msg[1024];         // the last message composed
    char name[NAMELEN + 1]; // the result of optname
    char **rcvec;           // the words of the last start-up line, kept for its values
    int rccount;            // the number of words in rcvec
};

constinit CparseState cps{};

[[gnu::format(printf, 1, 2)]] const char *compose(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(cps.msg, sizeof cps.msg, fmt, ap);
    va_end(ap);
    return cps.msg;
}

// Length of a pattern's name, its sign included.
std::size_t namelen(const char *pattern) {
    std::size_t i = 1;
    while (pattern[i] && isalnumc(static_cast<unsigned char>(pattern[i])))
        ++i;
    return i;
}

// The first row of sign c whose name (without the sign) begins the text at p.
const OptionEntry *findrow(const OptionEntry *table, int rows, char c, const char *p) {
    for (int r = 0; r < rows; ++r) {
        const char *pat = table[r].pattern;
        if (!pat || pat[0] != c) continue;
        std::size_t n = namelen(pat) - 1;
        // A row without a name would match forever without consuming anything.
        if (n == 0 && !std::strchr(pat, '%')) continue;
        if (std::strncmp(pat + 1, p, n) == 0) return &table[r];
    }
    return nullptr;
}

// True for the scan types a value can be converted with: one item of fixed size, so that no
// conversion writes past its variable.
bool numerictype(const char *scantype) {
    std::size_t n = std::strlen(scantype);
    if (n < 2 || std::strpbrk(scantype, "[*")) return false;
    char t = scantype[n - 1];
    if (t == 'c') return n == 2;
    return std::strchr("dioxXufeEgG", t) != nullptr;
}

// True when a scan type (cut to its used length) takes a text.
bool stringtype(const char *pct) {
    std::size_t n = std::strlen(pct) < SCANLEN ? std::strlen(pct) : SCANLEN;
    return n > 0 && pct[n - 1] == 's';
}

// Converts p into target by the scan type; the number of items converted.
int convert(const char *p, const char *scantype, void *target) {
    if (!numerictype(scantype)) return 0;
    platform::CNumericLocale numeric; // the values as the files write them
    return std::sscanf(p, scantype, target);
}

const char *getargs(const OptionEntry *table, int rows, int *argc, char ***argv, bool rcline) {
    if (!argc || !argv || !*argv) return nullptr;
    if (!table) rows = 0;
    ++*argv;
    if (--*argc <= 0) return nullptr;
    for (;;) {
        const char *arg = **argv ? **argv : "";
        char c = arg[0];
        if (c != '-' && c != '+') return nullptr;
        const char *p = arg + 1;
        if (!*p) return compose("Unrecognized option: %c", c);
        while (*p) {
            const OptionEntry *row = findrow(table, rows, c, p);
            if (!row) return compose("Unrecognized option: %c%s", c, p);
            const char *pat = row->pattern;
            pathtrace("get_args: option = %s\n", pat);
            if (row->flag) {
                if (std::strchr(pat, '!'))
                    *row->flag = 0;
                else if (std::strchr(pat, '^'))
                    *row->flag = *row->flag == 0;
                else
                    *row->flag = 1;
            }
            p += namelen(pat) - 1;
            const char *pct = std::strchr(pat, '%');
            if (!pct) continue;
            if (!*p) {
                if (*argc <= 1) {
                    // A start-up line ending with the option leaves its value empty, never
                    // unset, so that the run reports the name it could not use.
                    if (rcline && !std::strchr(pat, '(') && row->target && stringtype(pct))
                        *static_cast<const char **>(row->target) = p;
                    return compose("Missing argument to %s", optname(pat));
                } else {
                    ++*argv;
                    --*argc;
                    p = **argv ? **argv : "";
                }
            }
            char scantype[SCANLEN + 1];
            std::size_t n = std::strlen(pct) < SCANLEN ? std::strlen(pct) : SCANLEN;
            std::memcpy(scantype, pct, n);
            scantype[n] = '\0';
            pathtrace("get_args: optstr = %s, strchr = %s, scantype = %s\n", pat, pct, scantype);
            if (char *open = std::strchr(scantype, '(')) {
                if (char *close = std::strchr(open, ')')) *close = '\0';
                std::memmove(open, open + 1, std::strlen(open + 1) + 1);
                pathtrace("get_args: scantype = %s\n", scantype);
            }
            std::size_t sl = std::strlen(scantype);
            bool text = sl > 0 && scantype[sl - 1] == 's';
            if (std::strchr(pat, '(')) {
                if (row->func) {
                    if (!text) {
                        alignas(std::max_align_t) unsigned char tmp[32];
                        if (convert(p, scantype, tmp) < 1) return badconv(pat, scantype);
                    }
                    if (const char *err = row->func(p)) return err;
                }
            } else if (row->target) {
                if (text)
                    *static_cast<const char **>(row->target) = p;
                else if (convert(p, scantype, row->target) < 1)
                    return badconv(pat, scantype);
            }
            break;
        }
        ++*argv;
        if (--*argc <= 0) return nullptr;
    }
}

void releasercvec() {
    for (int i = 0; i < cps.rccount; ++i)
        std::free(cps.rcvec[i]);
    std::free(cps.rcvec);
    cps.rcvec = nullptr;
    cps.rccount = 0;
}

} // namespace

const char *optname(const char *pattern) {
    std::size_t n = 0;
    if (pattern) {
        while (n < NAMELEN && pattern[n])
            ++n;
        std::memcpy(cps.name, pattern, n);
    }
    cps.name[n] = '\0';
    if (n > 0) cps.name[namelen(cps.name)] = '\0';
    return cps.name;
}

const char *badconv(const char *pattern, const char *scantype) {
    const char *st = scantype ? scantype : "";
    std::size_t n = std::strlen(st);
    const char *what;
    switch (n ? st[n - 1] : '\0') {
    case 'c':
        what = "character";
        break;
    case 'd':
        what = "decimal";
        break;
    case 'f':
        what = "floating";
        break;
    case 'o':
        what = "octal";
        break;
    case 'x':
        what = "hexadecimal";
        break;
    default:
        what = "unrecognized type";
        break;
    }
    char type[64];
    std::snprintf(type, sizeof type, "%s (%s)", what, st);
    return compose("Bad conversion of %s argument following %s option", type, optname(pattern));
}

const char *get_args(const OptionEntry *table, int rows, int *argc, char ***argv) {
    return getargs(table, rows, argc, argv, false);
}

const char *readrcopts(const char *prog, int *argc, char ***argv, const OptionEntry *table,
                       int rows) {
    const char *base = filepart(prog);
    if (base && *base) {
        int count = 0;
        char **vector = nullptr;
        char *file = nullptr;
        if (CReadRc(base, &count, &vector, &file)) {
            const char *path = file ? file : "";
            if (path[0] == '.' && (path[1] == '\\' || path[1] == '/')) path += 2;
            std::fprintf(pathlog(), "%s: Using options from %s\n", base, path);
            // The values of this parse point into the words, which the previous line's values
            // no longer need.
            releasercvec();
            cps.rcvec = vector;
            cps.rccount = count;
            char **cur = vector;
            const char *err = getargs(table, rows, &count, &cur, true);
            if (err) return err;
            if (count > 0) return "Unrecognized arguments in cad.rc file";
        }
    }
    return get_args(table, rows, argc, argv);
}

} // namespace cf
