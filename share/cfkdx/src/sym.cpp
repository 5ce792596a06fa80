// sym.cpp - constructors of symbol definitions and placed symbols.
//
// The readers make a definition or net, place symbols in it, attach their properties and then
// fix each symbol: its special properties ("primitive", "model", "id", "class", "ppin",
// "connect") become flags, real ports, node connections and the net it instantiates. No state.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

const char *orempty(const char *s) {
    return s ? s : "";
}

// "ppin(A)": port A is a power pin, on the symbol and on its definition alike.
void doppin(prop *p, void *obj, const char *portname) {
    RoutineScope scope("doppin");
    if (rectype(obj) == objtype::symbol) {
        auto *sym = static_cast<symbol *>(obj);
        port *sp = xxgetsp(sym, portname, p);
        if (!sp) return;
        sp->flags |= PORTF_PPIN;
        if (port *sdp = xxsp2sdp(sym, sp)) sdp->flags |= PORTF_PPIN;
    } else {
        if (port *sdp = xxgetsdp(static_cast<symdef *>(obj), portname, p)) sdp->flags |= PORTF_PPIN;
    }
}

// "connect(A):node": a hidden port A is wired to the named node.
void doconnect(prop *p, void *obj, const char *portname) {
    RoutineScope scope("doconnect");
    if (rectype(obj) != objtype::symbol) return;
    auto *sym = static_cast<symbol *>(obj);
    port *sp = xxgetsp(sym, portname, p);
    if (!sp) return;
    if (!(xxflags(sp) & PORTF_HIDDEN)) {
        xxerr("w", "connect property on visible port %s, symbol %s ignored", portname,
              orempty(sym->name));
        return;
    }
    const char *value = xxpropval(p);
    if (!value) {
        xxerr("w", "valueless property: %s on symbol: %s", orempty(xxpropprop(p)),
              orempty(sym->name));
        return;
    }
    xxnewnode(sym->owner, value, sp, nullptr);
}

} // namespace

symdef *xxnewsymdef(void * /*owner*/, const char *name) {
    RoutineScope scope("xxnewsymdef");
    rootnet *root = xxgetroot();
    XXASSERT(root != nullptr && name != nullptr);
    if (!root || !name) return nullptr;
    int bucket = xxhashname(root->symdefs, name);
    if (auto *d = static_cast<symdef *>(xxhashlookup(root->symdefs, name, bucket, 0))) return d;
    auto *d = static_cast<symdef *>(xxcalmem(&xxalbuf, sizeof(symdef)));
    if (!d) return nullptr;
    d->type = static_cast<std::uint8_t>(objtype::symdef);
    d->name = xxalstr(&xxalbuf, name);
    xxsettn(d, name, PROPF_CLASS1 | PROPF_INHERITED);
    d->porttbl = xxnewhashtbl(PORT_BUCKETS);
    xxinshash(root->symdefs, d, bucket);
    return d;
}

symbol *xxnewsym(net *owner, symdef *def, int nports) {
    RoutineScope scope("xxnewsym");
    XXASSERT(owner != nullptr && def != nullptr);
    if (!owner || !def) return nullptr;
    auto *sym = static_cast<symbol *>(xxcalmem(&xxalbuf, sizeof(symbol)));
    if (!sym) return nullptr;
    sym->type = static_cast<std::uint8_t>(objtype::symbol);
    sym->def = def;
    sym->owner = owner;
    if (def->flags & SDEFF_PRIM) {
        // The array is made when a port is first asked for (xxsymarray); while the routine trace
        // runs it is made here, so the trace reads as it always has.
        sym->flags |= SYMF_ARRAY;
        if (xxtracing()) sym->parray = xxnewnpla(sym, nports);
    } else {
        sym->porttbl = xxnewhashtbl(PORT_BUCKETS);
        int bucket = 0;
        for (xxnamed *r = xxnexthash(def->porttbl, nullptr, &bucket, nullptr); r;
             r = xxnexthash(def->porttbl, r, &bucket, nullptr))
            xxdupport(sym, static_cast<port *>(r));
    }
    if (owner->lastsym)
        owner->lastsym->next = sym;
    else
        owner->firstsym = sym;
    owner->lastsym = sym;
    return sym;
}

int xxfixnewsym(net *owner, symbol *sym) {
    RoutineScope scope("xxfixnewsym");
    XXASSERT(sym != nullptr && sym->def != nullptr && sym->owner == owner);
    if (!sym || !sym->def || sym->owner != owner) return 1;

    static const char *const names[] = {"primitive", "model"};
    SymPropLookup props(sym, names, 2);
    if (prop *p = props.find(0)) {
        if (!cf::strcieql(xxpropfval(p), "*subedit*")) sym->flags |= SYMF_PRIM;
    }

    const char *model = nullptr;
    if (prop *p = props.find(1)) {
        model = xxpropval(p);
        const char *v = xxpropfval(p);
        sym->flags |= SYMF_MODEL;
        if (cf::strcieql(v, "null")) {
            sym->flags |= SYMF_PRIM | SYMF_FRAME;
        } else if (cf::strcieql(v, "frame")) {
            sym->flags |= SYMF_FRAME;
            xxlinkup(owner, &owner->frames, sym);
        } else if (cf::strcieql(v, "connector")) {
            sym->flags |= SYMF_CONNECTOR;
        } else {
            // A model names a cell: the symbol is hierarchical even with a "primitive".
            sym->flags &= ~(SYMF_PRIM | SYMF_FRAME);
        }
    }

    if (sym->flags & SYMF_CONNECTOR) {
        if (rport *rp = xxnewrport(owner)) {
            rp->name = xxpropval(xxfindprop(sym, "id", FP_WARN));
            rp->sym = sym;
            rp->props = sym->props;
        }
        int n = sym->def->nports;
        bool wref =
            n == 2 &&
            std::strcmp(orempty(xxpropval(xxfindprop(sym->def, "connectortype", 0))), "wref") == 0;
        if (n != 1 && !wref)
            xxerr("wn", "Symbolic connector (model:connector) %s", "must have exactly 1 port");
    }

    xxnetsymi(sym, model, 0);

    if (sym->name) {
        int bucket = xxhashname(owner->symtbl, sym->name);
        if (xxhashlookup(owner->symtbl, sym->name, bucket, 0) &&
            !(sym->flags & (SYMF_CONNECTOR | SYMF_FRAME)))
            xxerr("wn", "two symbols have the same name: %s", sym->name);
        xxinshash(owner->symtbl, sym, bucket);
    }

    xxsymportapply(sym, "ppin", doppin);
    xxsymportapply(sym, "connect", doconnect);

    sym->seq = owner->nprim + owner->nhier;
    if (!(sym->flags & (SYMF_PRIM | SYMF_CONNECTOR)) &&
        (!(sym->flags & SYMF_FRAME) || (sym->flags & SYMF_MODEL))) {
        ++owner->nhier;
        owner->flags |= NETF_HIER;
    } else {
        ++owner->nprim;
    }
    return 1;
}

int xxfixnewsymdef(symdef *def, const char *file) {
    RoutineScope scope("xxfixnewsymdef");
    XXASSERT(def != nullptr);
    if (!def) return 1;
    if (file) {
        if (prop *p = xxalprop(PROPF_CLASS1 | PROPF_INHERITED, "file", file)) xxlinkprop(def, p, 2);
    }
    if (def->nports > 0) {
        auto **arr =
            static_cast<port **>(xxcalbig(static_cast<std::size_t>(def->nports) * sizeof(port *)));
        int i = 0;
        int bucket = 0;
        if (arr) {
            for (xxnamed *r = xxnexthash(def->porttbl, nullptr, &bucket, nullptr); r;
                 r = xxnexthash(def->porttbl, r, &bucket, nullptr)) {
                XXASSERT(i < def->nports);
                if (i >= def->nports) break;
                auto *p = static_cast<port *>(r);
                p->index = i;
                arr[i++] = p;
            }
            XXASSERT(i == def->nports);
        }
        def->portarr = arr;
    }
    if (xxfindprop(def, "primitive", 0)) def->flags |= SDEFF_PRIM;
    xxsymportapply(def, "ppin", doppin);
    return 1;
}

net *xxnetsymi(symbol *sym, const char *model, int /*flags*/) {
    RoutineScope scope("xxnetsymi");
    if (!sym || (sym->flags & SYMF_LEAF)) return nullptr;
    const char *cell = sym->def ? sym->def->name : nullptr;
    if ((sym->flags & SYMF_MODEL) && !(sym->flags & SYMF_FRAME) && model && *model) cell = model;
    XXASSERT(cell != nullptr);
    if (!cell) return nullptr;
    net *n = xxnewnetdef(cell, sym);
    if (!n) return nullptr;
    sym->instnet = n;
    ++n->nuse;
    if (const char *cls = xxpropval(xxfindprop(sym, "class", 0))) {
        if (n->netclass && std::strcmp(n->netclass, cls) != 0)
            xxerr("w", "multiple class properties (%s and %s) for net %s", cls, n->netclass,
                  orempty(n->name));
        n->netclass = cls;
    }
    return n;
}

} // namespace kdx
