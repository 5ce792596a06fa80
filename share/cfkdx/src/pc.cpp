// pc.cpp - the library's options and the read driver.
//
// ParseComLine joins a client's option rows with the library's own and parses the start-up file
// and the command line with them. xxreadfile loads a design by name: the top net, then every net
// still unread below it (xxrdnets), then the port pass; xxrdnet reads the file of one net through
// the schematic and design readers. Owns the "-Q", "-1", "-0" values of one parse.
#include "kdxint.h"

#include "cfpath.h"

#include <array>
#include <cstdarg>
#include <cstring>
#include <string>

namespace kdx {

namespace {

struct PcState {
    int qflag;          // "-Q" given in this parse
    const char *qtext;  // its qualifier list
    int l1flag;         // "-1" given in this parse
    const char *l1text; // its logic-1 node list
    int l0flag;         // "-0" given in this parse
    const char *l0text; // its logic-0 node list
    int dumped;         // xxreadfile has run once in this process (xxdumpint with "-v")
};

constinit PcState pc{};

constexpr int MAXROWS = 120;  // rows of the parse table
constexpr int MAXCALLER = 99; // caller rows that fit in front of the library's
constexpr int LIBROWS = 17;   // the library's rows
static_assert(MAXCALLER + LIBROWS <= MAXROWS);

constexpr const char *REVISION = " $Revision: 4 $ ";

using cf::OPT_FLAG;
using cf::OPT_FUNC;
using cf::OPT_VALUE;

const char *optpar(const char *value) {
    xxinit();
    xxaddprop(xxgetroot(), value, 0);
    return nullptr;
}

const char *optp(const char *value) {
    switch (cf::PSetPath(value)) {
    case cf::PATH_TOOLONG:
        return "-p path too long";
    case cf::PATH_BADTILDE:
        return "Bad ~ user name in -p path";
    default:
        return nullptr;
    }
}

const char *optk(const char *value) {
    switch (cf::KSetPath(value)) {
    case cf::PATH_TOOLONG:
        return "-k path too long";
    case cf::PATH_BADTILDE:
        return "Bad ~ user name in -k path";
    default:
        return nullptr;
    }
}

// The library's rows, in this order: longer names stand before the names that are their
// prefixes ("-pathDEBUG" and "-par" before "-p").
int libraryrows(cf::OptionEntry *row) {
    LibOptions &o = xxoptions();
    const cf::OptionEntry rows[LIBROWS] = {
        {"-pathDEBUG", &cf::pathdebugflag(), OPT_FLAG, nullptr, nullptr},
        {"-par %(s)", nullptr, OPT_FUNC, nullptr, optpar},
        {"-p %(s)", nullptr, OPT_FUNC, nullptr, optp},
        {"-k %(s)", nullptr, OPT_FUNC, nullptr, optk},
        {"-Q %s", &pc.qflag, OPT_VALUE, &pc.qtext, nullptr},
        {"-1 %s", &pc.l1flag, OPT_VALUE, &pc.l1text, nullptr},
        {"-0 %s", &pc.l0flag, OPT_VALUE, &pc.l0text, nullptr},
        {"-xxbreak", &o.brk, OPT_FLAG, nullptr, nullptr},
        {"-xxdebug", &o.debug, OPT_FLAG, nullptr, nullptr},
        {"-xxdsndebug", &o.dsndebug, OPT_FLAG, nullptr, nullptr},
        {"-xxmemdebug", &o.memdebug, OPT_FLAG, nullptr, nullptr},
        {"-xxverbose", &o.verbose, OPT_FLAG, nullptr, nullptr},
        {"-xxnofatal", &o.nofatal, OPT_FLAG, nullptr, nullptr},
        {"-xxtrace", &o.trace, OPT_FLAG, nullptr, nullptr},
        {"-xxbegin", &o.begin, OPT_FLAG, nullptr, nullptr},
        {"-xxnobrackets", &o.nobrackets, OPT_FLAG, nullptr, nullptr},
        {"-v", &o.v, OPT_FLAG, nullptr, nullptr},
    };
    std::memcpy(static_cast<void *>(row), rows, sizeof rows);
    return LIBROWS;
}

bool goodpattern(const char *pattern) {
    return pattern && (pattern[0] == '-' || pattern[0] == '+') && cf::isalnumc(pattern[1]);
}

// A cursor filter of the net table: nets neither read nor failed.
int xxnotreadin(xxnamed *r) {
    RoutineScope scope("xxnotreadin");
    return (r->flags & (NETF_READ | NETF_FAILED)) == 0;
}

// "a,b,c" of a null-terminated list, in "xxtmpbuf"; null for an empty or absent list.
const char *joined(char *const *list) {
    if (!list || !list[0]) return nullptr;
    return xxgetlist(&xxtmpbuf, list);
}

} // namespace

const char *ParseComLineTable(const char *progname, int *argc, char ***argv,
                              const cf::OptionEntry *rows, int nrows) {
    RoutineScope scope("ParseComLine");
    std::array<cf::OptionEntry, MAXROWS> table{};
    int n = 0;
    for (int i = 0; rows && i < nrows; ++i) {
        if (n >= MAXCALLER) return "Too many options to ParseComLine()";
        if (!goodpattern(rows[i].pattern)) return "ParseComLine() invocation error";
        table[n++] = rows[i];
    }
    n += libraryrows(&table[n]);

    const char *prog = progname;
    if (!prog && argc && argv && *argv && *argc > 0) prog = (*argv)[0];
    const char *current = xxprogname();
    if ((!current || !*current) && prog) xxsetprogname(cf::filepart(prog));

    pc.qflag = pc.l1flag = pc.l0flag = 0;
    pc.qtext = pc.l1text = pc.l0text = nullptr;
    const char *result = cf::readrcopts(prog ? prog : "", argc, argv, table.data(), n);
    if (!result) {
        if (pc.qflag) xxaddqual(pc.qtext);
        if (pc.l1flag) {
            xxclrl1();
            xxaddl1(pc.l1text);
        }
        if (pc.l0flag) {
            xxclrl0();
            xxaddl0(pc.l0text);
        }
    }
    return result;
}

const char *ParseComLine(const char *progname, int *argc, char ***argv, ...) {
    std::array<cf::OptionEntry, MAXCALLER> rows{};
    int n = 0;
    std::va_list ap;
    va_start(ap, argv);
    for (;;) {
        const char *pattern = va_arg(ap, const char *);
        if (!pattern) break;
        // The same checks, in the same order, as the table form makes.
        if (n >= MAXCALLER || !goodpattern(pattern)) {
            va_end(ap);
            return n >= MAXCALLER ? "Too many options to ParseComLine()"
                                  : "ParseComLine() invocation error";
        }
        cf::OptionEntry row{pattern, va_arg(ap, int *), OPT_FLAG, nullptr, nullptr};
        if (std::strchr(pattern, '%')) {
            if (std::strchr(pattern, '(')) {
                row.kind = OPT_FUNC;
                row.func = va_arg(ap, cf::OptionFunc);
            } else {
                row.kind = OPT_VALUE;
                row.target = va_arg(ap, void *);
            }
        }
        rows[n++] = row;
    }
    va_end(ap);
    return ParseComLineTable(progname, argc, argv, rows.data(), n);
}

prop *xxaddprop(void *obj, const char *text, int flags) {
    RoutineScope scope("xxaddprop");
    if (!text || !*text) {
        xxerr("er", "null property string");
        return nullptr;
    }
    const char *colon = std::strchr(text, ':');
    std::string name(text, colon ? static_cast<std::size_t>(colon - text) : std::strlen(text));
    const char *value = colon ? colon + 1 : "";

    prop *p = xxfindprop(obj, name.c_str(), 0);
    if (!p && text[0] == '(') {
        // A qualified text changes the property of the name behind the qualifier.
        const char *close = std::strchr(text, ')');
        if (close && (!colon || close < colon)) {
            name.assign(close + 1, colon ? static_cast<std::size_t>(colon - close - 1)
                                         : std::strlen(close + 1));
            p = xxfindprop(obj, name.c_str(), 0);
        }
    }
    if (p && !(p->flags & PROPF_INHERITED)) {
        if (!*value) {
            xxerr("er", "null value parameter");
            return nullptr;
        }
        const std::size_t nlen = name.size();
        const std::size_t vlen = std::strlen(value);
        auto *t = xxalchars(&xxalbuf, nlen + 1 + vlen + 1);
        if (!t) return nullptr;
        std::memcpy(t, name.data(), nlen);
        t[nlen] = ':';
        std::memcpy(t + nlen + 1, value, vlen + 1);
        p->text = t;
        p->flags |= PROPF_ADDED;
        return p;
    }

    // A new property goes to the head of the list, so that it is found before older ones; its
    // qualifier and target are checked before it is linked, so a malformed one is not kept.
    prop *np = xxalprop(PROPF_ADDED | flags, text, nullptr);
    if (!np) return nullptr;
    np = xxfixnewprop(nullptr, np, 0);
    if (!np) return nullptr;
    xxlinkprop(obj, np, 1);
    return np;
}

void xxdumpint() {
    RoutineScope scope("xxdumpint");
    const rootnet *root = xxgetroot();
    const unsigned opts = root ? root->opts : 0;
    xxerror('m', "KDX Library Identification: %s", REVISION);
    if (const char *q = joined(xxqualifiers()))
        xxerror('m', "Qualifiers (-Q) in effect: %s", q);
    else
        xxerror('m', "No qualifiers (-Q) in effect");
    xxerror('m', "Path in effect: %s", cf::PGetPath());
    if (const char *l0 = joined(xxlogic0()))
        xxerror('m', "Ground (-0) nodes: %s", l0);
    else
        xxerror('m', "No Ground (-0) nodes");
    if (const char *l1 = joined(xxlogic1()))
        xxerror('m', "Power (-1) nodes: %s", l1);
    else
        xxerror('m', "No Power (-1) nodes");
    if (opts & XXR_LOGICPG)
        xxerror('m', "Extracting %s logically", "power (-1) and ground (-0) nodes");
    else
        xxerror('m', "Extracting %s by name", "power (-1) and ground (-0) nodes");
    if (opts & XXR_NOPPINS)
        xxerror('m', "Not extracting symbol power pins");
    else
        xxerror('m', "Extracting symbol power pins");
    if (opts & XXR_GRAPHICS) xxerror('m', "Saving graphical information for back-annotation");
}

int xxrdnet(net *n, FILE *stream) {
    RoutineScope scope("xxrdnet");
    if (!n) return 0;
    if (n->flags & NETF_READ) {
        xxsetcurnet(n);
        return 1;
    }
    if (n->flags & NETF_FAILED) return 0;

    int result = 0;
    bool design = false;
    if (xxfindmpg(n)) {
        // A cell of a design database already loaded: its pages are known, no file to open.
        xxsetcurnet(n);
        design = true;
    } else {
        const rootnet *root = xxgetroot();
        const int kinds = n->flags & NETF_KINDS;
        const char *path = nullptr;
        int kind = 0;
        if (n->netclass && *n->netclass) {
            // The class names a variant of the cell: directory, class and base name joined.
            const char *base = cf::filepart(n->name);
            std::string classed(n->name, static_cast<std::size_t>(base - n->name));
            classed += n->netclass;
            classed += base;
            kind = xxfdopen(stream, classed.c_str(), kinds | XXK_QUIET, &path);
        }
        if (!kind)
            kind = xxfdopen(stream, n->name, kinds | (root ? root->opts & XXR_QUIET : 0), &path);
        if (!kind) {
            n->flags |= NETF_FAILED;
            return 0;
        }
        xxsetcurnet(n);
        n->flags = static_cast<std::uint16_t>((n->flags & ~NETF_KINDS) | kind);
        xxlinkprop(n, xxalprop(PROPF_CLASS1, "bn", n->name), 2);
        xxlinkprop(n, xxalprop(PROPF_CLASS1, "file", path), 2);

        switch (kind) {
        case XXK_SCHEMATIC:
        case XXK_NETLIST:
            n->startbuf = xxalbuf;
            result = kind == XXK_SCHEMATIC ? xxrdsch() : xxrdimf();
            n->endbuf = xxalbuf;
            xxfdclose();
            break;
        case XXK_DESIGN:
            result = xxrddsnfn(n);
            xxfdclose();
            if (!result) {
                n->flags |= NETF_FAILED;
                return 0;
            }
            design = true;
            break;
        default:
            result = 1; // a kind no reader serves: nothing to read
            break;
        }
    }

    if (design) {
        if (!xxrddsnnets(n)) {
            n->flags |= NETF_FAILED;
            return 0;
        }
        n->startbuf = xxalbuf;
        result = xxrddsn(n);
        n->endbuf = xxalbuf;
    }

    if (!result) {
        n->flags |= NETF_FAILED;
        return 0;
    }
    n->flags |= NETF_READ;
    return result;
}

int xxrdnets() {
    RoutineScope scope("xxrdnets");
    rootnet *root = xxgetroot();
    if (!root) return 1;
    int failed = 0;
    int visited;
    do {
        // Nets read in this walk may add nets the walk has passed; walk again until a walk
        // finds nothing to read.
        visited = 0;
        int bucket = 0;
        xxnamed *r = nullptr;
        while ((r = xxnexthash(root->nets, r, &bucket, xxnotreadin)) != nullptr) {
            ++visited;
            net *n = static_cast<net *>(r);
            xxsetcurnet(n);
            if (!xxrdnet(n, nullptr)) {
                failed = 1;
                if (n->lastinst && n->lastinst->def)
                    xxerror('m',
                            "No primitive property on symbol %s, and no underlying schematic or "
                            "design file",
                            n->lastinst->def->name);
            }
        }
    } while (visited);
    return failed ? 0 : 1;
}

net *xxreadfile(FILE *stream, const char *name, const char **keep, int flags) {
    RoutineScope scope("xxreadfile");
    xxinit();
    rootnet *root = xxgetroot();
    if (!root) return nullptr;
    if (flags & (XXR_GRAPHICS | XXR_SYMLINES))
        flags |= XXR_KEEPALL;
    else if (keep)
        root->keep = keep;
    root->opts = static_cast<std::uint32_t>(flags);

    if (!pc.dumped && xxoptions().v) xxdumpint();
    pc.dumped = 1;

    if (!name || !*name) {
        xxfdopen(stream, name, XXK_DESIGN | XXK_SCHEMATIC, nullptr); // says why
        return nullptr;
    }
    net *n = xxfindnet(name, 0);
    if (!n) {
        // The name may be a design database holding several cells. A caller that reads netlist
        // files only has its file recognised quietly here: it is read below, and reported there
        // when it is missing.
        const bool netlistonly = (flags & (XXR_NETLIST | XXR_DSNSCH)) == XXR_NETLIST;
        const int probe = netlistonly ? XXK_NETLIST | XXK_QUIET : flags & XXR_QUIET;
        const int kind = xxfdopen(stream, name, XXK_DESIGN | XXK_SCHEMATIC | probe, nullptr);
        const filerec *f = xxcurfile();
        if (kind == XXK_DESIGN && cf::strcieql(f->section, "[design2]"))
            n = xxrddsn2(f->name);
        else
            xxfdclose();
        if (!n) {
            if (flags & XXR_MUSTEXIST) xxerror('f', "Design file %s not found", name);
            n = xxnewnetdef(name, nullptr);
            if (!n) return nullptr;
        }
    }
    if (n->flags & NETF_READ) return n;
    if (n->flags & NETF_FAILED) {
        xxerr("ren", "read already failed");
        return nullptr;
    }
    if (flags & XXR_DSNSCH) n->flags |= NETF_DSN | NETF_SCH;
    if (flags & XXR_NETLIST) n->flags |= NETF_NETLIST;
    if (!(flags & (XXR_DSNSCH | XXR_NETLIST)))
        n->flags |= (flags & XXR_MUSTEXIST) ? (NETF_DSN | NETF_SCH) : NETF_KINDS;

    if (!xxrdnet(n, stream)) return nullptr;
    if (!(flags & XXR_ONLY)) {
        const int all = xxrdnets();
        const int ports = xxdoio();
        if (!all || !ports) return nullptr;
    }
    return n;
}

} // namespace kdx
