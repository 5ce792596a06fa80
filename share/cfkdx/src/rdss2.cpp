// rdss2.cpp - the record parser of schematic and symbol files, and the wiring passes.
//
// xxrdlines reads one section against a table of record descriptors (the tables live in
// rdss.cpp); the passes behind it turn a drawing into connectivity: real ports become declared
// ports, wire ends join ports to nodes, and every port still open gets a node of its own. The
// module state is the parser's word buffers and the member-name arrays of the bus expansions.

#include "kdx.h"
#include "kdxint.h"

#include "platform/ui.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <unordered_map>

namespace kdx {

namespace {

// The real ports of the net being wired, by exact name (the first of a name wins, as in
// xxfrport): a sheet with many connectors has as many real ports as wire ends naming them.
struct SelfPorts {
    const net *owner;                                  // the net whose ports these are
    std::unordered_map<std::string_view, rport *> map; // name -> first real port of that name
};

inline constexpr int MSGBOX_STOP = 0x10; // the stop icon of the message box

constinit struct {
    char word[RDWORD];          // the word a field read last
    char pair[RDWORD];          // first word of a coordinate pair
    char idword[RDWORD];        // the instance name an exclusion mark refers to
    char endcopy[RDWORD];       // working copy of a wire end while it is split
    char *names1[BUSMAX];       // members of the first name of an expansion (wire or port)
    char *names2[BUSMAX];       // members of the second name (port or property value)
    const SelfPorts *selfports; // the net's real ports by name while xxschwire runs, else null
} rdss2{};

// The headers that open every message about a wire end.
constexpr const char *SCHDBERR =
    "schematic data base error (unconnected wires or symbols changed):\n\t";
constexpr const char *CONNERR = "connection error (number of ports and nodes do not match):\n\t";

// What the parser keeps while it reads one section. Local to each xxrdlines call, because a
// "use" record reads a whole symbol file (another section) in the middle of its line.
struct SectionParse {
    void *obj;       // the object being read (net or symbol definition)
    xxrec *cur;      // the port, wire or symbol made last; the object itself before that
    prop *qhead;     // pending qualifiers, waiting for the next property
    prop *qtail;     // last pending qualifier
    linecell *dtail; // last line of the net's detail list
    int result;      // 0 once any record failed
    bool graphics;   // XXR_GRAPHICS in effect
};

// Every record's texts stay in one "xxalbuf" block: room is made before the record starts.
void alroom(std::size_t n) {
    membuf *b = xxalbuf;
    if (b == nullptr || b->ptr >= b->eptr || static_cast<std::size_t>(b->eptr - b->ptr) < n)
        xxnewbuf(&xxalbuf, n);
}

std::uint32_t readopts() {
    rootnet *root = xxgetroot();
    return root ? root->opts : 0;
}

const char *orempty(const char *s) {
    return s ? s : "(NULL)";
}

// Keywords are a letter or a few; a call of the library's compare costs more than the compare.
bool sameword(const char *a, const char *b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

const rdrecord *findrecord(const rdrecord *table, const char *keyword) {
    for (const rdrecord *r = table; r->keyword[0] != '\0'; ++r)
        if (sameword(r->keyword, keyword)) return r;
    return nullptr;
}

// Points are written by the editor as plain decimal numbers; anything else reads as far as it
// is a number, and values beyond 32 bits are held at the limit.
std::int32_t tocoord(const char *s) {
    long long v = 0;
    bool neg = false;
    if (*s == '+' || *s == '-') neg = *s++ == '-';
    for (; cf::isdigitc(static_cast<unsigned char>(*s)); ++s) {
        v = v * 10 + (*s - '0');
        if (v > 0x80000000LL) v = 0x80000000LL;
    }
    if (neg) v = -v;
    if (v > 0x7fffffffLL) v = 0x7fffffffLL;
    return static_cast<std::int32_t>(v);
}

// The object being read, when it is a net.
net *asnet(void *obj) {
    return obj && rectype(obj) == objtype::net ? static_cast<net *>(obj) : nullptr;
}

// Hands the pending qualifiers to a new property: they become its qualifier list.
void handqualifiers(SectionParse &sp, prop *p) {
    if (p == nullptr) return;
    p->sub = sp.qhead;
    sp.qhead = sp.qtail = nullptr;
}

// Names the current object after the value of the property a field just attached; only
// objects made by the section's own records are named this way.
void namecurrent(SectionParse &sp, const prop *p) {
    if (p == nullptr || p->text == nullptr || sp.cur == nullptr) return;
    const char *colon = std::strchr(p->text, ':');
    const char *value = p->text;
    if (colon != nullptr)
        value = colon + 1;
    else
        for (int i = 0; i < 3 && *value != '\0'; ++i)
            ++value;
    switch (rectype(sp.cur)) {
    case objtype::rport:
    case objtype::symbol:
        static_cast<xxnamed *>(sp.cur)->name = value;
        break;
    case objtype::wire:
        static_cast<wire *>(sp.cur)->name = value;
        break;
    default:
        break;
    }
}

// Wire geometry: the first end, the points, the second end (the odd word at the end).
void readgeometry(SectionParse &sp) {
    if (sp.cur == nullptr || rectype(sp.cur) != objtype::wire) return;
    wire *w = static_cast<wire *>(sp.cur);
    if (xxrdstr(rdss2.word, RDWORD) != nullptr) {
        w->end1 = xxalstr(&xxalbuf, rdss2.word);
        for (;;) {
            if (xxrdstr(rdss2.pair, RDWORD) == nullptr) break;
            if (xxrdstr(rdss2.word, RDWORD) == nullptr) {
                w->end2 = xxalstr(&xxalbuf, rdss2.pair);
                break;
            }
            if (sp.graphics) xxnewpoint(w, tocoord(rdss2.pair), tocoord(rdss2.word));
        }
    }
}

// A symbol use: the definition is read from its symbol file at its first use.
bool readuse(SectionParse &sp) {
    net *owner = asnet(sp.obj);
    if (xxrdstr(rdss2.word, RDWORD) == nullptr || owner == nullptr) {
        xxerr("enl", "bad format, too few words");
        sp.result = 0;
        return false;
    }
    symdef *def = xxnewsymdef(nullptr, rdss2.word);
    if (def == nullptr) {
        sp.result = 0;
        return false;
    }
    if ((def->flags & (SDEFF_READ | SDEFF_FAILED)) == 0 && !xxrdsymdef(nullptr, def, 0)) {
        char text[RDWORD + 32];
        std::snprintf(text, sizeof text, "Symbol File:  %s", def->name);
        platform::SCH_MSGBOX(nullptr, "Open File Error", MSGBOX_STOP, text, 0, 0, 0);
        sp.result = 0;
    }
    symbol *sym = xxnewsym(owner, def, def->nports);
    if (sym != nullptr) sp.cur = sym;
    return true;
}

// An exclusion mark: the word after the instance name marks the instance inactive in the file
// that the object being read came from.
void readinact(SectionParse &sp) {
    std::memcpy(rdss2.idword, rdss2.word, sizeof rdss2.idword);
    if (xxrdstr(rdss2.word, RDWORD) == nullptr) return;
    if (cf::strcieql(rdss2.word, rdss2.idword) || !cf::strcieql(rdss2.word, "1")) return;
    const char *file = xxpropval(xxfindprop(sp.obj, "file", 0));
    if (file != nullptr) xxexclude(rdss2.idword, file);
}

// Runs one field; false ends the record (its remaining words are missing).
bool runfield(SectionParse &sp, const rdfield &f) {
    const int action = f.code & FLD_ACTION;
    if ((f.code & FLD_GRAPHIC) && !sp.graphics) {
        // A missing word is reported for each field that drops one; the record goes on.
        if (xxrdstr(rdss2.word, RDWORD) == nullptr) {
            xxerr("enl", "bad format, too few words");
            sp.result = 0;
        }
        return true;
    }
    void *target = (f.code & FLD_OBJ) ? sp.obj : static_cast<void *>(sp.cur);
    prop *made = nullptr;
    switch (action) {
    case FLD_WORD:
        if (xxrdstr(rdss2.word, RDWORD) == nullptr) return true;
        made = xxalprop(f.flags, f.name, rdss2.word);
        handqualifiers(sp, made);
        made = xxfixnewprop(target, made, f.flags);
        break;
    case FLD_MARK:
        made = xxalprop(f.flags, f.name, nullptr);
        handqualifiers(sp, made);
        if (made != nullptr) xxlinkprop(target, made, 2);
        break;
    case FLD_REST:
        made = xxrdprop();
        if (made == nullptr) {
            xxerr("enl", "bad format");
            sp.result = 0;
            return false;
        }
        handqualifiers(sp, made);
        made = xxfixnewprop(target, made, f.flags);
        break;
    case FLD_QUAL: {
        if (xxrdstr(rdss2.word, RDWORD) == nullptr) return true;
        prop *q = xxalprop(f.flags, f.name, rdss2.word);
        if (q != nullptr) xxproplink(&sp.qhead, &sp.qtail, q, 2);
        break;
    }
    case FLD_RPORT:
    case FLD_IPORT: {
        rport *rp = xxnewrport(sp.obj);
        if (rp == nullptr) return false;
        if (action == FLD_IPORT) rp->flags |= PORTF_HIDDEN;
        sp.cur = rp;
        break;
    }
    case FLD_WIRE: {
        net *owner = asnet(sp.obj);
        wire *w = owner ? xxnewwire(owner) : nullptr;
        if (w == nullptr) return false;
        sp.cur = w;
        break;
    }
    case FLD_ENDS:
        readgeometry(sp);
        break;
    case FLD_USE:
        if (!readuse(sp)) return false;
        break;
    case FLD_INACT:
        readinact(sp);
        break;
    default:
        XXASSERT(false);
        return false;
    }
    if (f.code & FLD_NAME) namecurrent(sp, made);
    return true;
}

// A record kept verbatim: its first line (keyword, blank, rest) and, for a block, the lines up
// to and including a "_" line or up to a section line.
void readverbatim(SectionParse &sp, const char *keyword, int cls) {
    net *owner = asnet(sp.obj);
    linecell **details = owner ? &owner->details : nullptr;
    bool keep = sp.graphics && details != nullptr;
    if (keep)
        xxsvline(keyword, details, &sp.dtail);
    else
        xxpurgeline();
    if (cls != RC_BLOCK) return;
    for (;;) {
        int c = xxpeek();
        if (c == EOF || c == '[') return;
        if (keep)
            xxsvline(nullptr, details, &sp.dtail);
        else
            xxpurgeline();
        if (c == '_') return;
    }
}

// The member names of a wire end: the wire's name as node names, the port's as port names.
bool expandpair(const char *wirename, const char *portname, int &nnodes, int &nports) {
    nnodes = wirename ? xxbusexp(&xxtmpbuf, wirename, rdss2.names1) : 0;
    nports = portname ? xxbusexp(&xxportbuf, portname, rdss2.names2) : 0;
    return nnodes != 0 && nports != 0;
}

// The net's real port of that name.
rport *selfport(net *owner, const char *name) {
    const SelfPorts *index = rdss2.selfports;
    if (index == nullptr || index->owner != owner || name == nullptr)
        return xxfrport(owner->firstrport, name);
    auto it = index->map.find(name);
    return it == index->map.end() ? nullptr : it->second;
}

// A wire end on a port of the schematic itself.
int wireself(net *owner, wire *w, const char *wname, const char *portname) {
    rport *rp = selfport(owner, portname);
    if (rp == nullptr) {
        xxerr("en", "%scannot find schematic port \"%s\" connected to wire \"%s\"", SCHDBERR,
              portname, orempty(wname));
        return 0;
    }
    rp->pwire = w;
    int nnodes, nports;
    if (!expandpair(wname, rp->name, nnodes, nports)) return 0;
    if (nnodes != nports)
        xxerr("wn", "%s schematic port \"%s\", wire \"%s\"", CONNERR, rp->name, wname);
    for (int i = 0; i < nnodes && i < nports; ++i) {
        port *np = xxfndp(owner, rdss2.names2[i]);
        XXASSERT(np != nullptr);
        if (np != nullptr) xxnewnode(owner, rdss2.names1[i], np, w);
    }
    return 1;
}

// Gives every open port of a symbol's port table a node of its own.
void freetable(net *owner, hashtbl *t) {
    int bucket = 0;
    for (xxnamed *r = xxnexthash(t, nullptr, &bucket, nullptr); r != nullptr;
         r = xxnexthash(t, r, &bucket, nullptr)) {
        port *p = static_cast<port *>(r);
        if (p->pnode == nullptr) xxnewnode(owner, nullptr, p, nullptr);
    }
}

void joinports(port *a, port *b) {
    XXASSERT(a->pnode != nullptr && b->pnode != nullptr);
    if (a->pnode != nullptr && b->pnode != nullptr)
        xxnodealias(xxunalias(a->pnode), xxunalias(b->pnode));
}

// A "wire(port):value" property of a frame or null symbol ties the port to the ports named by
// the value.
void wireprop(prop *p, void *obj, const char *portname) {
    symbol *sym = static_cast<symbol *>(obj);
    if ((sym->flags & SYMF_FRAME) == 0) {
        xxerr("w", "wire property on non-null symbol %s ignored", orempty(sym->name));
        return;
    }
    const char *value = xxpropval(p);
    if (value == nullptr) {
        xxerr("w", "valueless property: %s on symbol: %s", p->text, orempty(sym->name));
        return;
    }
    int nports = xxbusexp(&xxtmpbuf, portname, rdss2.names1);
    int nvalues = xxbusexp(&xxtmpbuf2, value, rdss2.names2);
    if (nports == 1) {
        port *a = xxgetsp(sym, rdss2.names1[0], p);
        if (a == nullptr) return;
        for (int i = 0; i < nvalues; ++i) {
            port *b = xxfsp(sym, rdss2.names2[i], 0);
            if (b == nullptr) return;
            joinports(a, b);
        }
        return;
    }
    for (int i = 0; i < nvalues && i < nports; ++i) {
        port *a = xxfsp(sym, rdss2.names1[i], 0);
        port *b = xxfsp(sym, rdss2.names2[i], 0);
        if (a == nullptr || b == nullptr) return;
        joinports(a, b);
    }
}

// Connector types of real ports, tested in this order; a length of 0 compares the whole value.
struct ConnectorType {
    const char *value;   // compared without regard to case
    int length;          // characters compared, 0 for all
    std::uint16_t flags; // port flags it sets
};

constexpr ConnectorType connectortypes[] = {
    {"hier", 4, PORTF_HIER},     {"wref", 4, PORTF_HIER | PORTF_WREF},
    {"off", 3, PORTF_OFF},       {"on", 2, PORTF_ON},
    {"probe", 0, PORTF_PROBE},   {"logic1", 0, PORTF_LOGIC1},
    {"logic0", 0, PORTF_LOGIC0}, {"global", 0, PORTF_GLOBAL},
};

std::uint16_t connectorflags(const rport *rp) {
    const char *value = xxpropval(xxfindprop(const_cast<rport *>(rp), "connectortype", 0));
    if (value == nullptr) return PORTF_HIER;
    for (const ConnectorType &t : connectortypes) {
        bool match =
            t.length ? cf::strncieql(value, t.value, t.length) : cf::strcieql(value, t.value);
        if (match) return t.flags;
    }
    xxerr("wn", "unrecognized connectortype: %s on port %s; using connectortype:hier", value,
          orempty(rp->name));
    return PORTF_HIER;
}

} // namespace

int xxrdlines(void *owner, const char *section, void *table) {
    RoutineScope scope("xxrdlines");
    const rdrecord *records = static_cast<const rdrecord *>(table);
    SectionParse sp{owner, static_cast<xxrec *>(owner),     nullptr, nullptr, nullptr,
                    1,     (readopts() & XXR_GRAPHICS) != 0};
    if (net *n = asnet(owner); n != nullptr) {
        for (sp.dtail = n->details; sp.dtail != nullptr && sp.dtail->next != nullptr;)
            sp.dtail = sp.dtail->next;
    }
    for (;;) {
        alroom(1024);
        int c = xxpeek();
        if (c == EOF || c == '[') break;
        if (c == '#') {
            xxpurgeline();
            continue;
        }
        if (xxrdstr(rdss2.word, RDWORD) == nullptr) {
            xxerr("wn", "end of file in %s section", section);
            break;
        }
        const rdrecord *r = findrecord(records, rdss2.word);
        if (r == nullptr) {
            xxerr("enl", "unrecognized record in %s section", section);
            sp.result = 0;
            xxpurgeline();
            continue;
        }
        if (r->cls == RC_LINE || r->cls == RC_BLOCK) {
            readverbatim(sp, r->keyword, r->cls);
            continue;
        }
        if (r->cls == RC_FIELDS || sp.graphics) {
            for (const rdfield *f = r->fields; f != nullptr && f->code != 0; ++f)
                if (!runfield(sp, *f)) break;
        }
        xxpurgeline();
    }
    return sp.result;
}

int xxrportexp(void *obj, hashtbl *ports, rport *first) {
    RoutineScope scope("xxrportexp");
    for (xxrec *r = first; r != nullptr && rectype(r) == objtype::rport;
         r = static_cast<rport *>(r)->next) {
        rport *rp = static_cast<rport *>(r);
        rp->flags |= connectorflags(rp);
        if (rp->name == nullptr) continue;
        int n = xxbusexp(&xxtmpbuf, rp->name, rdss2.names1);
        rp->nmembers = n;
        for (int i = 0; i < n; ++i)
            xxnewvport(obj, ports, rdss2.names1[i], rp);
    }
    return 1;
}

int xxschwire() {
    RoutineScope scope("xxschwire");
    net *owner = xxcurnet();
    if (owner == nullptr) return 0;
    SelfPorts index{owner, {}};
    for (xxrec *r = owner->firstrport; r != nullptr && rectype(r) == objtype::rport;
         r = static_cast<rport *>(r)->next) {
        auto *rp = static_cast<rport *>(r);
        if (rp->name != nullptr) index.map.try_emplace(rp->name, rp);
    }
    struct IndexInUse {
        explicit IndexInUse(const SelfPorts *p) { rdss2.selfports = p; }
        ~IndexInUse() { rdss2.selfports = nullptr; }
    } inuse(&index);

    int ok = 1;
    for (wire *w = owner->firstwire; w != nullptr; w = w->next) {
        if (!xxwport(w, w->end1)) ok = 0;
        if (!xxwport(w, w->end2)) ok = 0;
    }
    return ok;
}

int xxwport(wire *w, const char *end) {
    RoutineScope scope("xxwport");
    net *owner = xxcurnet();
    if (end == nullptr || owner == nullptr) return 1;
    // q.s.p: q is not examined, s names a symbol (or a schematic port after "SELF"), p its port.
    std::snprintf(rdss2.endcopy, sizeof rdss2.endcopy, "%s", end);
    char *q = rdss2.endcopy;
    char *s = nullptr;
    char *p = nullptr;
    if (char *dot = std::strchr(q, '.')) {
        *dot = '\0';
        s = dot + 1;
        if (char *dot2 = std::strchr(s, '.')) {
            *dot2 = '\0';
            p = dot2 + 1;
        }
    }
    const char *wname = w->name != nullptr ? w->name : xxpropval(xxfindprop(w, "id", 0));
    if (xxoptions().debug)
        xxerr("m", "wirename=%s,pptr=%s,pptr1=%s,ptr2=%s", orempty(wname), q, orempty(s),
              orempty(p));
    if (p == nullptr) {
        if (s == nullptr || !cf::streql(q, "SELF")) return 1;
        return wireself(owner, w, wname, s);
    }
    symbol *sym = xxfsym(owner, s, 0);
    if (sym == nullptr) {
        xxerr("en", "%s cannot find symbol \"%s\" connected to wire \"%s\"", SCHDBERR, s,
              orempty(wname));
        return 0;
    }
    if (sym->flags & SYMF_CONNECTOR) {
        // A connector stands for the schematic port of its own name; only the "pref" pin of a
        // wire-reference connector is a pin of the symbol.
        const rport *self = selfport(owner, s);
        bool wref = self != nullptr &&
                    (self->flags & (PORTF_HIER | PORTF_WREF)) == (PORTF_HIER | PORTF_WREF);
        if (!(wref && cf::strcieql(p, "pref"))) return wireself(owner, w, wname, s);
    }
    rport *rp = sym->def ? xxfrport(sym->def->firstrport, p) : nullptr;
    if (rp == nullptr) {
        xxerr("en", "%s cannot find port \"%s\" in symbol \"%s\"", SCHDBERR, p, s);
        return 0;
    }
    rp->pwire = w;
    int nnodes, nports;
    if (!expandpair(wname, rp->name, nnodes, nports)) return 0;
    if (nnodes != nports && (sym->flags & SYMF_FRAME) == 0)
        xxerr("wn", "%s symbol \"%s\", port \"%s\", wire \"%s\"", CONNERR, orempty(sym->name),
              rp->name, wname);
    for (int i = 0; i < nnodes && i < nports; ++i) {
        port *sp = xxfsp(sym, rdss2.names2[i], 0);
        XXASSERT(sp != nullptr);
        if (sp != nullptr) xxnewnode(owner, rdss2.names1[i], sp, w);
    }
    return 1;
}

void xxfrnode() {
    RoutineScope scope("xxfrnode");
    net *owner = xxcurnet();
    if (owner == nullptr) return;
    freetable(owner, owner->porttbl);
    for (symbol *sym = owner->firstsym; sym != nullptr; sym = sym->next) {
        if (sym->flags & SYMF_CONNECTOR) continue;
        if ((sym->flags & SYMF_ARRAY) == 0) {
            freetable(owner, sym->porttbl);
            continue;
        }
        int n = sym->def ? sym->def->nports : 0;
        arrayport *array = n > 0 ? xxsymarray(sym) : nullptr;
        for (int i = 0; i < n && array != nullptr; ++i) {
            arrayport *e = &array[i];
            if (e->pnode == nullptr) xxnewnode(owner, nullptr, e, nullptr);
        }
    }
}

void xxschportpass(net *n) {
    RoutineScope scope("xxschportpass");
    for (symbol *sym = n->firstsym; sym != nullptr; sym = sym->next)
        xxsymportapply(sym, "wire", wireprop);
}

void xxschsympass(net *n) {
    RoutineScope scope("xxschsympass");
    for (symbol *sym = n->firstsym; sym != nullptr; sym = sym->next)
        xxfixnewsym(n, sym);
}

} // namespace kdx
