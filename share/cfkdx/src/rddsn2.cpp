// rddsn2.cpp - design databases: the "[design2]" reader and the database it fills.
//
// A "[design2]" file lists, for the top design and every sub-design, its pages and the instance
// name of each page, with the search path the design was made with, tool lines, back-annotated
// attributes and comments. xxrddsn2 reads it into the database below, which lives in "xxalbuf"
// for the rest of the run; xxfindmpg hands a design's pages to the read driver from there.
// State: the database (entry list, attribute list, tool and comment lines, recorded path, top
// net) and the line buffer of myfgets; xxfreeall forgets the database with the object buffer.
#include "kdxint.h"
#include "platform/sysfile.h"

#include "cfpath.h"

#include <cstring>

namespace kdx {

namespace {

inline constexpr int DSN2_LINEMAX = 999; // characters myfgets keeps of one line
inline constexpr std::size_t DSN2_LINEBUF = DSN2_LINEMAX + 3; // a line, "@D" and the terminator
inline constexpr int ATTR_WORDS = 8;              // words of an attribute line after its keyword
inline constexpr std::size_t DSNPATH_SIZE = 4096; // xxdsnpath's result buffer
inline constexpr int DSN2_BUCKETS = 97;           // the designs of a database, by name

struct Dsn2State {
    dsn2entry *entries;         // entry list, in file order
    dsn2entry *lastentry;       // its last entry, where the next one is appended
    prop *attrs;                // attribute properties, newest first
    linecell *tools;            // "[tools]" lines
    linecell *lasttool;         // their last cell
    linecell *comments;         // "[comments]" lines
    linecell *lastcomment;      // their last cell
    const char *path;           // the search path of the "p" line (in "xxalbuf"); null when none
    net *top;                   // the net made for the file; null when no database was read
    hashtbl *designs;           // the first 'D' entry of each name
    char line[DSN2_LINEBUF];    // the line myfgets returns
    char dsnpath[DSNPATH_SIZE]; // xxdsnpath's result
};

constinit Dsn2State dsn2{};

// Forgets the database of a "[design2]" file.
void forget() {
    dsn2.entries = dsn2.lastentry = nullptr;
    dsn2.attrs = nullptr;
    dsn2.tools = dsn2.lasttool = nullptr;
    dsn2.comments = dsn2.lastcomment = nullptr;
    dsn2.path = nullptr;
    dsn2.top = nullptr;
    dsn2.designs = nullptr;
}

// Appends an entry {kind, name, text2} behind *last; the texts are copied into "xxalbuf".
dsn2entry *newdsn2s(dsn2entry **head, dsn2entry **last, char kind, const char *name,
                    const char *text2) {
    RoutineScope scope("newdsn2s");
    auto *e = static_cast<dsn2entry *>(xxcalmem(&xxalbuf, sizeof(dsn2entry)));
    if (!e) return nullptr;
    e->kind = kind;
    if (name && !(e->name = xxalstr(&xxalbuf, name))) return nullptr;
    if (text2 && !(e->text2 = xxalstr(&xxalbuf, text2))) return nullptr;
    if (*last)
        (*last)->next = e;
    else
        *head = e;
    *last = e;
    return e;
}

// Splits the words behind a record keyword (the keyword and the character after it are
// skipped) in place; returns how many of at most `max` words were found.
int splitwords(char *line, char **words, int max) {
    char *s = line[0] ? line + 1 : line;
    if (*s) ++s;
    int n = 0;
    while (n < max) {
        while (*s == ' ' || *s == '\t')
            ++s;
        if (!*s) break;
        words[n++] = s;
        while (*s && *s != ' ' && *s != '\t')
            ++s;
        if (*s) *s++ = '\0';
    }
    return n;
}

dsn2entry *findkind(char kind) {
    for (dsn2entry *e = dsn2.entries; e; e = e->next)
        if (e->kind == kind) return e;
    return nullptr;
}

// Skips a line the reader has peeked at and decided to pass over.
void skipline() {
    myfgets();
}

// What the next record line starts with, comment lines passed over; EOF at the end of the file
// and at the next section line alike.
int peekrecord() {
    for (;;) {
        const int c = xxpeek();
        if (c != '#') return c == '[' ? EOF : c;
        skipline();
    }
}

int invalidline() {
    xxerr("ne", "Invalid line in file");
    return 0;
}

// "[sch:sym]": entries, each an entry line, its "c" lines and a closing "_".
int rdschsym() {
    RoutineScope scope("rdschsym");
    for (;;) {
        int c = peekrecord();
        if (c == EOF) return 1;
        char *line = myfgets();
        if (!line) return 1;
        dsn2entry *e;
        char *words[2];
        if (c == 'D' || c == 's' || c == 't') {
            if (splitwords(line, words, 1) < 1) return invalidline();
            // Designs are known to symbol lookups by their name with "@D". The word ends at
            // most at the line's terminator, and the buffer keeps two bytes behind the longest
            // line for the mark.
            if (c == 'D') std::memcpy(words[0] + std::strlen(words[0]), "@D", 3);
            e = newdsn2s(&dsn2.entries, &dsn2.lastentry, static_cast<char>(c), words[0], nullptr);
            if (e && c == 'D' && !xxfindhash(dsn2.designs, e->name))
                xxinshash(dsn2.designs, e, xxhashname(dsn2.designs, e->name));
        } else if (c == 'T') {
            e = newdsn2s(&dsn2.entries, &dsn2.lastentry, 'T', nullptr, nullptr);
        } else {
            return invalidline();
        }
        if (!e) return 0;
        dsn2entry *lastsub = nullptr;
        for (;;) {
            c = peekrecord();
            if (c != 'c') break;
            line = myfgets();
            if (!line || splitwords(line, words, 2) < 2) return invalidline();
            if (!newdsn2s(&e->subs, &lastsub, 'c', words[0], words[1])) return 0;
        }
        if (c != '_') return invalidline();
        skipline();
    }
}

// "[attributes]": one property per line, its placement as qualifiers.
int rdattrs() {
    RoutineScope scope("rdattrs");
    for (;;) {
        int c = peekrecord();
        if (c == EOF) return 1;
        if (c != 'p') return invalidline();
        char *line = myfgets();
        char *w[ATTR_WORDS];
        // A short line would leave the property or its placement undefined.
        if (!line || splitwords(line, w, ATTR_WORDS) < ATTR_WORDS) return invalidline();
        prop *p = xxalprop(PROPF_ATTR, w[7], nullptr);
        if (!p) return 0;
        // Each qualifier goes to the head, so the list reads path, symid, tx, ty, scale, rot,
        // display.
        xxaddsubp(p, "display", w[6]);
        xxaddsubp(p, "rot", w[5]);
        xxaddsubp(p, "scale", w[4]);
        xxaddsubp(p, "ty", w[3]);
        xxaddsubp(p, "tx", w[2]);
        xxaddsubp(p, "symid", w[1]);
        xxaddsubp(p, "path", w[0]);
        p->props = dsn2.attrs;
        dsn2.attrs = p;
    }
}

// "[tools]" and "[comments]": lines kept as they are, appended across repeated sections.
int rdlines(linecell **head, linecell **last) {
    for (int c = xxpeek(); c != EOF && c != '['; c = xxpeek())
        xxsvline(nullptr, head, last);
    return 1;
}

// The preamble: comments and the "p" line, up to the first section. 0 when it is malformed.
int rdpreamble() {
    RoutineScope scope("rdpreamble");
    for (;;) {
        int c = peekrecord();
        if (c == EOF) return 1;
        if (c != 'p') return 0;
        char *line = myfgets();
        if (!line || line[1] != ' ') return 0;
        char *words[1];
        const char *recorded = splitwords(line, words, 1) ? words[0] : "";
        if (!(dsn2.path = xxalstr(&xxalbuf, recorded))) return 0;
        const char *current = cf::PGetPath();
        if (!current) current = "";
        if (!cf::strcieql(dsn2.path, current)) {
            const char *prog = xxprogname();
            xxerror('w', "%s:\n\tschedit path=%s\n\t%s path=%s",
                    "Path specified differs from that used to create schematic", dsn2.path,
                    prog && *prog ? prog : "Extract", current);
        }
    }
}

// Reads the sections up to the end of the file; 1 when they could be read, with the required
// ones and the top entry seen.
int rdsections() {
    bool schsym = false, attrs = false;
    for (const char *line; (line = myfgets());) {
        if (cf::strcieql(line, "[sch:sym]")) {
            if (!rdschsym()) return 0;
            schsym = true;
        } else if (cf::strcieql(line, "[tools]")) {
            rdlines(&dsn2.tools, &dsn2.lasttool);
        } else if (cf::strcieql(line, "[attributes]")) {
            if (!rdattrs()) return 0;
            attrs = true;
        } else if (cf::strcieql(line, "[comments]")) {
            rdlines(&dsn2.comments, &dsn2.lastcomment);
        } else {
            xxerr("en", "Unrecognized section: %s.", line);
            for (;;) {
                int c = xxpeek();
                if (c == EOF) return 0;
                if (c == '[') break;
                skipline();
            }
        }
    }
    if (!schsym || !attrs) return 0;
    // Every design of the database hangs below its top entry: a file without one is refused as
    // its other malformed lines are (the file is still open, so the message names it).
    return findkind('T') != nullptr ? 1 : invalidline();
}

} // namespace

char *myfgets() {
    RoutineScope scope("myfgets");
    filerec *f = xxcurfile();
    if (!f->stream) return nullptr;
    int n = 0, c;
    long len = 0; // characters of the line, kept or not
    bool any = false;
    // A line longer than the buffer is cut; its tail is dropped, never read as a line of its own.
    while ((c = xxgetc(*f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n < DSN2_LINEMAX) dsn2.line[n++] = static_cast<char>(c);
        ++len;
    }
    if (!any) return nullptr;
    if (c == '\n') {
        if (len == n && n > 0 && dsn2.line[n - 1] == '\r') --n;
        ++f->line;
    }
    dsn2.line[n] = '\0';
    return dsn2.line;
}

net *xxrddsn2(const char *file) {
    RoutineScope scope("xxrddsn2");
    forget();
    if (!(dsn2.designs = xxnewhashtbl(DSN2_BUCKETS))) {
        xxfdclose();
        return nullptr;
    }
    if (!rdpreamble() || !rdsections()) {
        forget();
        xxfdclose();
        return nullptr;
    }
    xxfdclose();
    net *top = xxdsn2init();
    if (!top) {
        forget();
        return nullptr;
    }
    dsn2.top = top;
    top->tools = dsn2.tools;
    top->comments = dsn2.comments;
    if (prop *p = xxalprop(1, "file", file)) xxlinkprop(top, p, 2);
    if (xxoptions().dsndebug) xxwritedsn("stdout");
    return top;
}

net *xxdsn2init() {
    RoutineScope scope("xxdsn2init");
    dsn2entry *t = findkind('T');
    XXASSERT(t);
    if (!t) return nullptr;
    // A one-page design is that page itself.
    if (t->subs && !t->subs->next) return xxnewnetdef(t->subs->name, nullptr);
    return xxnewnetdef("*top*", nullptr);
}

int xxfindmpg(net *n) {
    RoutineScope scope("xxfindmpg");
    if (!dsn2.top || !n || !n->name) return 0;
    dsn2entry *e = nullptr;
    if (cf::strcieql(n->name, "*top*")) {
        e = findkind('T');
        XXASSERT(e);
        if (!e) return 0;
    } else {
        e = static_cast<dsn2entry *>(xxfindhash(dsn2.designs, n->name));
        if (!e) return 0;
    }
    std::size_t size = 1;
    for (dsn2entry *c = e->subs; c; c = c->next)
        size += std::strlen(c->name) + 1;
    char *pages = static_cast<char *>(xxalmem(&xxalbuf, size));
    if (!pages) return 0;
    char *s = pages;
    for (dsn2entry *c = e->subs; c; c = c->next) {
        std::size_t len = std::strlen(c->name);
        std::memcpy(s, c->name, len);
        s += len;
        *s++ = ' ';
    }
    *s = '\0';
    n->pages = pages;
    n->pageids = e->subs;
    return 1;
}

dsn2entry *xxfinddp(dsn2entry *list, const char *name) {
    RoutineScope scope("xxfinddp");
    for (dsn2entry *e = list; e; e = e->next)
        if (name ? e->name && cf::strcieql(e->name, name) : !e->name) return e;
    return nullptr;
}

void xxaddsubp(prop *p, const char *name, const char *value) {
    RoutineScope scope("xxaddsubp");
    if (prop *q = xxalprop(PROPF_QUAL, name, value)) xxlinkprop(p, q, 1);
}

const char *xxdsnpathof(const char *const *nets, const char *const *insts, int depth) {
    std::size_t n = 0;
    auto put = [&](const char *s) {
        for (; s && *s && n + 1 < DSNPATH_SIZE; ++s)
            dsn2.dsnpath[n++] = *s;
    };
    for (int i = 0; i < depth; ++i) {
        if (i == 0) {
            if (!cf::strcieql(nets[0], "*top*")) put(nets[0]);
        } else if (n == 0) {
            put(nets[i]);
        } else {
            put(";");
            put(insts[i]);
        }
    }
    dsn2.dsnpath[n] = '\0';
    // Designs are held as "name@D"; the mark never shows in a path.
    char *w = dsn2.dsnpath;
    for (const char *r = dsn2.dsnpath; *r;) {
        if (r[0] == '@' && r[1] == 'D') {
            r += 2;
            continue;
        }
        *w++ = *r++;
    }
    *w = '\0';
    return dsn2.dsnpath;
}

const char *xxdsnpath(const void *) {
    RoutineScope scope("xxdsnpath");
    // Paths belong to cell uses of a flattened hierarchy; nothing here is flattened, so every
    // object lies in no cell use.
    return xxdsnpathof(nullptr, nullptr, 0);
}

dsn2entry *xxdsn2entries() {
    return dsn2.entries;
}
prop *xxdsn2attrs() {
    return dsn2.attrs;
}
linecell **xxdsn2tools() {
    return &dsn2.tools;
}
linecell *xxdsn2comments() {
    return dsn2.comments;
}
const char *xxdsn2path() {
    return dsn2.path;
}
net *xxdsn2top() {
    return dsn2.top;
}
void xxdsn2free() {
    forget();
}

} // namespace kdx
