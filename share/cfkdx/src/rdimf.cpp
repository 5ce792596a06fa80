// rdimf.cpp - the netlist-file reader.
//
// A netlist file ("[simulation]") describes one cell without graphics: its ports and technology,
// aliases between nodes, and symbol uses whose port entries name their nodes directly. xxrdimf
// reads one into the read driver's current net. The properties of a record are the
// blank-separated words on its line, one property each, and the port entries behind a "ports:"
// property are read as words the same way; the schematic and symbol readers keep xxrdprop, which
// takes the rest of a line as one property, for their free-text values. State: the port entries
// of the use record being read (in "xxportbuf") and the synthetic name of its definition.
#include "kdxint.h"
#include "platform/sysfile.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kdx {

namespace {

inline constexpr int IMF_WORD = 1024; // a property word or a port entry, with its terminator
inline constexpr int IMF_ALIAS = 512; // a word of an alias line, with its terminator
inline constexpr int SYNTH_NAMES = 3; // port names that make up a synthetic definition name
inline constexpr std::size_t SYNTH_SIZE = SYNTH_NAMES * (IMF_WORD + 1) + 1;
inline constexpr std::size_t SIMBUF = 512;  // "xxtmpbuf" while "[simulation]" is read
inline constexpr std::size_t DETBUF = 2048; // "xxtmpbuf" and "xxportbuf" while "[detail]" is read

// Property flags of the properties this reader makes.
inline constexpr int PF_CLASS1 = 0x01;  // placement and port attributes ("orn:", "IO:", ...)
inline constexpr int PF_CLASS2 = 0x02;  // every other property; merged by xxmergeprops
inline constexpr int PF_PRIMDEF = 0x12; // "primitive" of a definition made from its uses

constinit struct {
    int nentries;               // port entries of the use record being read
    char synthetic[SYNTH_SIZE]; // "_" and each of the first three port names of the record
} imf{};

constexpr const char SIMULATION[] = "[simulation]";
constexpr const char DETAIL[] = "[detail]";

bool hasprefix(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// 1 for placement and port attributes, 2 for every other property text. (The public
// xxpropflags of the property routines gives a property's flag word; this one classifies a
// property of a netlist file.)
int xxpropflags(const prop *p) {
    QuietRoutineScope scope("xxpropflags");
    const char *t = p->text;
    for (const char *k : {"orn:", "X:", "Y:", "IO:", "group:"})
        if (hasprefix(t, k)) return PF_CLASS1;
    return PF_CLASS2;
}

// Consumes the record character the reader stands on ("=", "U").
void consume() {
    filerec *f = xxcurfile();
    if (!f->open || !f->stream) return;
    xxgetc(*f);
    f->midline = 1;
}

// A record's properties are collected on a stand-in net before they have their object: its
// head and tail make each append constant-time, as xxfixnewprop appends.
struct PropList {
    net holder{};
    PropList() { holder.type = static_cast<std::uint8_t>(objtype::net); }
    // Attaches the word as a property (its qualifier may drop it).
    void attach(const char *word) {
        if (prop *p = xxalprop(0, word, nullptr)) xxfixnewprop(&holder, p, xxpropflags(p));
    }
    void link(int flags, const char *name, const char *value) {
        if (prop *p = xxalprop(flags, name, value)) xxlinkprop(&holder, p, 2);
    }
    prop *head() const { return holder.props; }
};

// Appends a chain of properties behind obj's own.
void appendprops(xxrec *obj, prop *chain) {
    if (!chain) return;
    if (!obj->props) {
        obj->props = chain;
        return;
    }
    prop *last = obj->props;
    while (propnext(last))
        last = propnext(last);
    last->props = chain;
}

// ---- Port entries in "xxportbuf": port name and node text, each terminated ----

char *entries() {
    return reinterpret_cast<char *>(xxportbuf + 1);
}

void clearentries() {
    imf.nentries = 0;
    imf.synthetic[0] = '\0';
    if (xxportbuf) xxportbuf->ptr = entries();
}

// Room for one more entry; the buffer doubles as it fills, so a long record costs linear time.
bool entryroom() {
    if (xxportbuf && xxportbuf->eptr - xxportbuf->ptr >= IMF_WORD) return true;
    std::size_t used = xxportbuf ? static_cast<std::size_t>(xxportbuf->ptr - entries()) : 0;
    xxnewbuf(&xxportbuf, used / 2 > IMF_WORD ? used / 2 : IMF_WORD);
    return xxportbuf && xxportbuf->eptr - xxportbuf->ptr >= IMF_WORD;
}

// Steps over one entry: its port name, then *node its node text; the next entry.
char *nextentry(char *entry, char **node) {
    *node = entry + std::strlen(entry) + 1;
    return *node + std::strlen(*node) + 1;
}

void appendsynthetic(const char *portname) {
    std::size_t len = std::strlen(imf.synthetic);
    std::snprintf(imf.synthetic + len, sizeof imf.synthetic - len, "_%s", portname);
}

bool isnodeprim(const std::string &prim) {
    return prim == "N" || prim == "*N*";
}

} // namespace

int xxrdimf() {
    RoutineScope scope("xxrdimf");
    net *n = xxcurnet();
    if (!n) return 0;
    xxelapsed();
    if (!xxrdsection(n, SIMULATION, xxrdimfports, nullptr, 1)) return 0;
    xxrdsection(n, "[tools]", xxsvsec, &n->tools, 0);
    xxcnetports(n, n->porttbl);
    if (!xxrdsection(n, DETAIL, xxrdimfdet, nullptr, 1)) return 0;
    if (xxpeek() == '[') xxrdsection(n, "[comments]", xxsvsec, &n->comments, 0);
    if (xxoptions().verbose) xxerr("m", "Read in %s (%d)", n->name, xxelapsed());
    return 1;
}

int xxrdimfports(void *, const char *, void *) {
    RoutineScope scope("xxrdimfports");
    xxbufinit(&xxtmpbuf, SIMBUF);
    for (;;) {
        switch (xxpeek()) {
        case EOF:
            xxerr("enl", "Premature end of file in %s section", SIMULATION);
            return 0;
        case '#':
            xxpurgeline();
            break;
        case '[':
            return 1;
        case 'p':
            if (!xxrdimfport()) return 0;
            break;
        case 't':
            xxrdimftech();
            break;
        default:
            xxerr("enl", "Unrecognized record in %s section", SIMULATION);
            return 0;
        }
    }
}

port *xxrdimfport() {
    RoutineScope scope("xxrdimfport");
    net *n = xxcurnet();
    char word[IMF_WORD];
    // The name is the word without its first three characters, so a shorter word names nothing.
    if (n && xxrdstr(word, IMF_WORD) && std::strcmp(word, "port") == 0 && xxrdstr(word, IMF_WORD) &&
        std::strlen(word) >= 3) {
        port *p = xxnewvport(n, n->porttbl, word + 3, nullptr);
        if (p) {
            PropList props;
            while (xxrdstr(word, IMF_WORD))
                props.attach(word);
            appendprops(p, props.head());
            xxpurgeline();
            return p;
        }
    }
    xxerr("enl", "bad port record");
    return nullptr;
}

int xxrdimftech() {
    RoutineScope scope("xxrdimftech");
    net *n = xxcurnet();
    char word[IMF_WORD];
    if (n && xxrdstr(word, IMF_WORD) && std::strcmp(word, "tech") == 0 && xxrdstr(word, IMF_WORD)) {
        if (prop *p = xxalprop(PF_CLASS1, "technology", word)) xxlinkprop(n, p, 2);
        xxpurgeline();
        return 1;
    }
    xxerr("enl", "invalid technology line");
    // A bad technology line does not end the section: the next line is the next record.
    xxpurgeline();
    return 0;
}

int xxrdimfdet(void *, const char *, void *) {
    RoutineScope scope("xxrdimfdet");
    xxbufinit(&xxtmpbuf, DETBUF);
    xxbufinit(&xxportbuf, DETBUF);
    int uses = 0;
    for (;;) {
        switch (xxpeek()) {
        case EOF:
        case '[':
            if (uses == 0) xxerr("wnl", "Empty %s section", DETAIL);
            return 1;
        case '#':
            xxpurgeline();
            break;
        case '=':
            if (!xxrdimfalias()) return 0;
            break;
        case 'U':
            if (!xxrdimfu()) return 0;
            ++uses;
            break;
        default:
            xxerr("enl", "unrecognized record in %s section", DETAIL);
            return 0;
        }
    }
}

int xxrdimfalias() {
    RoutineScope scope("xxrdimfalias");
    net *n = xxcurnet();
    consume();
    char first[IMF_ALIAS];
    char second[IMF_ALIAS];
    const char *a = xxrdstr(first, IMF_ALIAS) ? std::strchr(first, ':') : nullptr;
    const char *b = a && xxrdstr(second, IMF_ALIAS) ? std::strchr(second, ':') : nullptr;
    if (!n || !a || !b) {
        xxerr("enl", "invalid alias (\"=\") entry");
        return 0;
    }
    node *na = xxnewnode(n, a + 1, nullptr, nullptr);
    node *nb = xxnewnode(n, b + 1, nullptr, nullptr);
    if (na && nb) xxnodealias(xxunalias(na), xxunalias(nb));
    xxpurgeline();
    return 1;
}

xxrec *xxrdimfu() {
    RoutineScope scope("xxrdimfu");
    net *owner = xxcurnet();
    if (!owner) return nullptr;
    consume();
    clearentries();
    PropList props;
    std::string bn, prim, id;
    bool hasbn = false, hasports = false;
    int nports = 0;
    int words = 0;
    char word[IMF_WORD];
    while (xxrdstr(word, IMF_WORD)) {
        ++words;
        prop probe{};
        probe.type = static_cast<std::uint8_t>(objtype::prop);
        probe.text = word;
        if (hasprefix(word, "bn:")) {
            if (!word[3]) {
                xxerr("enl", "null \"bn\" property");
                return nullptr;
            }
            bn = word + 3;
            hasbn = true;
        } else if (hasprefix(word, "ports:")) {
            if (!cf::strisdigit(word + 6)) {
                xxerr("enl", "invalid ports property: \"%s\"", word);
                return nullptr;
            }
            // More entries than any line can hold simply run out of words.
            long long value = 0;
            for (const char *d = word + 6; *d && value <= INT32_MAX; ++d)
                value = value * 10 + (*d - '0');
            nports = value > INT32_MAX ? INT32_MAX : static_cast<int>(value);
            hasports = true;
            if (!xxrduports(nports, imf.synthetic)) return nullptr;
        } else if (xxpmatch("primitive", 9, &probe, nullptr, 0, 0)) {
            const char *v = xxproprval(&probe);
            if (!v || !*v) {
                xxerr("enl", "null \"primitive\" property");
                return nullptr;
            }
            prim = v;
        } else if (hasprefix(word, "id:")) {
            if (!word[3]) {
                xxerr("enl", "null \"id\" property");
                return nullptr;
            }
            id = word + 3;
        } else {
            props.attach(word);
        }
    }
    if (words == 0) {
        xxerr("enl", "no primitive or bn, must have one or the other");
        return nullptr;
    }

    if (isnodeprim(prim)) {
        if (hasports) {
            xxerr("enl", "ports specified on node (primtive:N)");
            return nullptr;
        }
        if (id.empty()) {
            xxerr("enl", "missing id property on node");
            return nullptr;
        }
        if (hasbn) props.link(PF_CLASS2, "bn", bn.c_str());
        node *nd = xxnewnode(owner, id.c_str(), nullptr, nullptr);
        if (!nd) return nullptr;
        if (!nd->props)
            nd->props = props.head();
        else
            xxmergeprops(nd, props.head(), 2);
        xxpurgeline();
        return nd;
    }
    if (prim.empty() && !hasbn) {
        xxerr("enl", "no primitive or bn, must have one or the other");
        return nullptr;
    }

    const std::string defname = hasbn ? bn : imf.synthetic + ("_" + prim);
    if (defname.size() + 1 > MAXSTRLEN) {
        xxerr("enl", "name of symbol definition too long: %s", defname.c_str());
        return nullptr;
    }
    symdef *def = xxnewsymdef(nullptr, defname.c_str());
    if (!def) return nullptr;
    if (!prim.empty()) {
        if (hasbn) {
            props.link(PF_CLASS2, "primitive", prim.c_str());
        } else if (!(def->flags & SDEFF_READ)) {
            if (prop *p = xxalprop(PF_PRIMDEF, "primitive", prim.c_str())) xxlinkprop(def, p, 2);
            def->flags |= SDEFF_PRIM;
        }
    }
    if (!(def->flags & SDEFF_READ)) {
        if (!xxmksymdefports(def, nports)) return nullptr;
        // Two entries with one port name declare one port; the record then does not describe
        // its definition, and placing it would leave an entry without its port.
        if (def->nports != nports) {
            xxerr("enl",
                  "ports of symbol %s do not match its \"ports:\" entry (%d ports, %d entries)",
                  def->name, def->nports, nports);
            return nullptr;
        }
        xxfixnewsymdef(def, hasbn ? (bn + ".sym").c_str() : nullptr);
        def->flags |= SDEFF_READ;
    }

    // A primitive's ports are an array with one entry per port of its definition, which every
    // walk of the symbol's ports relies on, whatever this record lists.
    symbol *sym = xxnewsym(owner, def, def->nports);
    if (!sym) return nullptr;
    sym->props = props.head();
    if (!id.empty()) {
        if (prop *p = xxalprop(PF_CLASS2, "id", id.c_str())) {
            xxlinkprop(sym, p, 2);
            sym->name = xxproprval(p);
        }
    }
    const int connected = xxcsymports(owner, sym, nports);
    const int fixed = xxfixnewsym(owner, sym);
    if (!connected || !fixed) return nullptr;
    xxpurgeline();
    return sym;
}

int xxrduports(int n, char *synthetic) {
    RoutineScope scope("xxrduports");
    clearentries();
    synthetic[0] = '\0';
    char word[IMF_WORD];
    for (int i = 0; i < n; ++i) {
        if (!entryroom()) return 0;
        if (!xxrdstr(word, IMF_WORD)) {
            xxerr("enl", "not as many ports in record as in \"ports:\" entry");
            return 0;
        }
        char *colon = std::strchr(word, ':');
        if (!colon || !colon[1]) {
            xxerr("enl", "no node specified in port entry");
            return 0;
        }
        *colon = '\0';
        // "port:node" becomes "port\0node\0": as long as the word with its terminator.
        const std::size_t size =
            std::strlen(colon + 1) + static_cast<std::size_t>(colon - word) + 2;
        std::memcpy(xxportbuf->ptr, word, size);
        xxportbuf->ptr += size;
        ++imf.nentries;
        if (i < SYNTH_NAMES) appendsynthetic(word);
    }
    return 1;
}

int xxmksymdefports(symdef *def, int n) {
    RoutineScope scope("xxmksymdefports");
    char *entry = imf.nentries > 0 ? entries() : nullptr;
    for (int i = 0; i < n && i < imf.nentries; ++i) {
        char *text = nullptr;
        char *next = nextentry(entry, &text);
        port *p = xxnewvport(def, def->porttbl, entry, nullptr);
        if (!p) return 0;
        if (const char *open = std::strchr(text, '(')) {
            // node(io,group)
            const char *close = text + std::strlen(text) - 1;
            const char *comma = std::strchr(open, ',');
            if (!comma || *close != ')') {
                xxerr("enl", "bad port entry");
                return 0;
            }
            const std::string io(open + 1, comma);
            const std::string group(comma + 1, close);
            if (prop *q = xxalprop(PF_CLASS1, "IO", io.c_str())) xxlinkprop(p, q, 2);
            if (prop *q = xxalprop(0, "group", group.c_str())) xxfixnewprop(p, q, PF_CLASS1);
        }
        entry = next;
    }
    return 1;
}

int xxcsymports(net *owner, symbol *sym, int n) {
    RoutineScope scope("xxcsymports");
    char *entry = imf.nentries > 0 ? entries() : nullptr;
    for (int i = 0; i < n && i < imf.nentries; ++i) {
        char *text = nullptr;
        char *next = nextentry(entry, &text);
        port *sp = xxfsp(sym, entry, 0);
        if (!sp) {
            xxerr("e", "different instances of symbol %s have different port names",
                  sym->def->name);
            return 0;
        }
        // The entry is read for the last time: its node name ends at the "(".
        if (char *open = std::strchr(text, '(')) *open = '\0';
        xxnewnode(owner, text, sp, nullptr);
        entry = next;
    }
    return 1;
}

} // namespace kdx
