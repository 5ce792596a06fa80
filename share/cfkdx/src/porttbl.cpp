// porttbl.cpp - walking the ports of any object, connecting ports to the nodes of their names,
// and bringing the probe ports of sub-circuits up to the nets that place them.
#include "kdxint.h"

#include <cstdio>
#include <vector>

namespace kdx {

namespace {

struct PorttblState {
    void *walkowner; // the object xxportnext is walking
};
constinit PorttblState state{}; // module state

constexpr std::uint32_t ROPT_NOPPIN = 0x100; // root option: symbol power pins not extracted

port *firstintable(hashtbl *t) {
    if (!t) return nullptr;
    int bucket = 0;
    return static_cast<port *>(xxnexthash(t, nullptr, &bucket, nullptr));
}

port *nextintable(hashtbl *t, port *cur) {
    if (!t) return nullptr;
    int bucket = xxhashname(t, cur->name);
    return static_cast<port *>(xxnexthash(t, cur, &bucket, nullptr));
}

int isprobe(port *p) {
    return (p->flags & PORTF_PROBE) != 0;
}

// A port copied into a net is connected like the net's own declared ports.
node *connectnetport(net *n, port *p) {
    node *nd = xxnewnode(n, p->name, p, nullptr);
    if (!nd) {
        XXASSERT(nd);
        return nullptr;
    }
    nd->flags = static_cast<std::uint16_t>(nd->flags | (p->flags & PORTF_CLASSES));
    if (p->flags & PORTF_GLOBALS) nd->flags = NODEF_GLOBAL;
    return nd;
}

int probepass(net *n);

// Brings the probe ports of every sub-circuit placed in n up into n.
int probesymbols(net *n) {
    for (symbol *s = n->firstsym; s; s = s->next) {
        if (s->flags & SYMF_LEAF) continue;
        net *sub = s->instnet;
        if (!sub) {
            XXASSERT(sub);
            return 0;
        }
        if (!probepass(sub)) return 0;
        // Collected first: connecting nodes walks ports too, and xxportnext has one cursor.
        std::vector<port *> probes;
        for (port *q = xxportnext(sub, nullptr, isprobe, 0); q; q = xxportnext(sub, q, isprobe, 0))
            probes.push_back(q);
        int io = 0;
        for (port *q : probes) {
            port *np = xxdupport(n, q);
            port *sp = xxdupport(s, q);
            if (!np || !sp) return 0;
            node *parent = connectnetport(n, np);
            char ioname[32];
            std::snprintf(ioname, sizeof ioname, "io#%d", io++);
            node *inner = xxnewnode(n, ioname, sp, nullptr);
            if (!parent || !inner) return 0;
            xxnodealias(xxunalias(inner), xxunalias(parent));
        }
    }
    return 1;
}

// The probe pass over one net and, first, every net it places.
int probepass(net *n) {
    kdx::RoutineScope scope("doio2");
    if (!(n->flags & NETF_READ)) return 0;
    // Being visited is tested first: a net met again on its own way down places itself.
    if (n->flags & NETF_VISITING) {
        xxerr("e", "recursive schematic calls itself: %s", n->name ? n->name : "");
        return 0;
    }
    if (n->flags & NETF_PROBED) return 1;
    n->flags |= NETF_PROBED | NETF_VISITING;
    int ok = probesymbols(n);
    n->flags = static_cast<std::uint16_t>(n->flags & ~NETF_VISITING);
    return ok;
}

} // namespace

int firstsymport(symbol *sym, port **cursor) {
    kdx::QuietRoutineScope scope("firstsymport");
    *cursor = nullptr;
    if (!sym || !sym->def || sym->def->nports == 0) return 0;
    if (sym->flags & SYMF_ARRAY)
        *cursor = xxsymarray(sym);
    else
        *cursor = firstintable(sym->porttbl);
    return *cursor != nullptr;
}

int nextsymport(symbol *sym, port **cursor) {
    kdx::QuietRoutineScope scope("nextsymport");
    port *cur = *cursor;
    if (!sym || !cur) {
        *cursor = nullptr;
        return 0;
    }
    if (sym->flags & SYMF_ARRAY) {
        int i = cur->index + 1;
        *cursor = sym->def && i < sym->def->nports ? &sym->parray[i] : nullptr;
    } else {
        *cursor = nextintable(sym->porttbl, cur);
    }
    return *cursor != nullptr;
}

int xxnport(void *owner, port **cursor, int /*flags*/) {
    kdx::QuietRoutineScope scope("xxnport");
    if (!owner || !cursor) {
        xxerr("er", "invalid parameter");
        return 0;
    }
    // Without a cursor the walk starts at the owner's first port; with one it goes on from there,
    // a real port always along its own chain, whatever the owner.
    port *cur = *cursor;
    if (cur && !isport(cur)) {
        xxerr("er", "invalid parameter");
        return 0;
    }
    if (cur && rectype(cur) == objtype::rport) {
        xxrec *nx = cur->next;
        *cursor = nx && rectype(nx) == objtype::rport ? static_cast<port *>(nx) : nullptr;
        return *cursor != nullptr;
    }
    switch (rectype(owner)) {
    case objtype::symbol: {
        auto *sym = static_cast<symbol *>(owner);
        return cur ? nextsymport(sym, cursor) : firstsymport(sym, cursor);
    }
    case objtype::node: {
        node *rep = xxunalias(static_cast<node *>(owner));
        xxrec *nx = cur ? cur->next : rep ? rep->nodelink : nullptr;
        *cursor = nx && nx != rep && isport(nx) ? static_cast<port *>(nx) : nullptr;
        return *cursor != nullptr;
    }
    case objtype::net:
    case objtype::symdef: {
        hashtbl *t = rectype(owner) == objtype::net ? static_cast<net *>(owner)->porttbl
                                                    : static_cast<symdef *>(owner)->porttbl;
        *cursor = cur ? nextintable(t, cur) : firstintable(t);
        return *cursor != nullptr;
    }
    default:
        xxerr("er", "invalid parameter");
        return 0;
    }
}

port *xxportnext(void *obj, port *prev, PortFilter filter, int flags) {
    kdx::RoutineScope scope("xxportnext");
    if (!obj) {
        xxerr("er", "NULL object parameter");
        return nullptr;
    }
    if (!prev) state.walkowner = obj;
    void *owner = state.walkowner;
    rootnet *root = xxgetroot();
    bool noppin = root && (root->opts & ROPT_NOPPIN);
    port *cur = prev;
    while (xxnport(owner, &cur, 0)) {
        int f = xxflags(cur);
        if (noppin && (f & PORTF_PPIN)) continue;
        if ((f & PORTF_GLOBALS) && !(flags & PN_GLOBALS)) continue;
        if (f & (PORTF_ON | PORTF_SKIP)) continue;
        if (!(flags & PN_FRAMES)) {
            auto *po = static_cast<xxrec *>(xxportobj(cur, 0));
            if (po && (po->flags & SYMF_FRAME)) continue;
        }
        if (filter && !filter(cur)) continue;
        return cur;
    }
    return nullptr;
}

void xxcports(net *n, symbol *sym) {
    kdx::RoutineScope scope("xxcports");
    if (!n || !sym || !sym->def) return;
    hashtbl *t = sym->def->porttbl;
    for (port *sdp = firstintable(t); sdp; sdp = nextintable(t, sdp))
        xxnewnode(n, sdp->name, xxsdp2sp(sym, sdp), nullptr);
}

void xxcnetports(net *n, hashtbl *table) {
    kdx::RoutineScope scope("xxcnetports");
    if (!n || !table) return;
    for (port *p = firstintable(table); p; p = nextintable(table, p))
        connectnetport(n, p);
}

int xxdoio() {
    kdx::RoutineScope scope("xxdoio");
    rootnet *root = xxgetroot();
    if (!root || !root->nets) return 1;
    int bucket = 0;
    for (xxnamed *r = xxnexthash(root->nets, nullptr, &bucket, nullptr); r;
         r = xxnexthash(root->nets, r, &bucket, nullptr))
        if (!probepass(static_cast<net *>(r))) return 0;
    return 1;
}

} // namespace kdx
