// propif.cpp - finding properties and reading them.
//
// A property of an object may be written on the object itself or inherited: a symbol from its
// definition and the library root, a port from its definition port, the objects linked to it and
// the texts name(port) of its symbol, a node from the objects targeting the nodes of its alias
// ring. xxfprops walks those lists in a fixed order and hands each to a match routine, so the
// same walk serves a look-up (xxfppl stops at the first hit) and the property table (xxsvprop
// records every list).
#include "kdxint.h"

#include <cstdio>
#include <cstring>

namespace kdx {

namespace {

constexpr std::size_t IDTEXTLEN = 1025;   // "id:" and the name of the object
constexpr std::size_t WNAMELEN = 3100;    // kind word, quotes and a whole property text
constexpr std::size_t PORTTEXTLEN = 2048; // "name(port)"

struct PropifState {
    prop idprop;                // the synthesized "id" property, reused by every call
    char idtext[IDTEXTLEN];     // its text
    char iname[2][PROPNAMELEN]; // the two name buffers of xxpropiname
    char wname[WNAMELEN];       // the text of xxwname
    char porttext[PORTTEXTLEN]; // name(port) of the symbol-port search
};
constinit PropifState state{}; // module state

bool isprop(const void *r) {
    return r && rectype(r) == objtype::prop;
}

prop *listof(const void *obj) {
    return obj ? static_cast<const xxrec *>(obj)->props : nullptr;
}

int textlen(const char *s) {
    return static_cast<int>(std::strlen(s));
}

// A character as the name comparison of xxpmatch sees it (folded when it ignores case).
int firstchar(char c, bool nocase) {
    const int u = static_cast<unsigned char>(c);
    return nocase ? cf::toupperc(u) : u;
}

// The searches along link lists and the definition side of a port, shared by the port rows.
prop *linkedsearch(PropMatch match, const port *pt, const char *name, int flags) {
    const char *pname = pt->name ? pt->name : "";
    return xxflnprop(match, pt->links, name, textlen(name), pname, textlen(pname), flags);
}

prop *sdpsearch(PropMatch match, port *sdp, const char *name, int flags) {
    int len = textlen(name);
    if (prop *p = match(sdp->props, name, len, nullptr, 0, flags)) return p;
    return linkedsearch(match, sdp, name, flags);
}

prop *symportsearch(PropMatch match, port *sp, const char *name, int flags) {
    int len = textlen(name);
    if (prop *p = match(sp->props, name, len, nullptr, 0, flags)) return p;
    auto *sym = static_cast<symbol *>(xxportobj(sp, 0));
    if (!sym || rectype(sym) != objtype::symbol) return nullptr;
    if (port *sdp = xxsp2sdp(sym, sp))
        if (prop *p = sdpsearch(match, sdp, name, flags)) return p;
    const char *pname = xxportname(sp, 0);
    int n =
        std::snprintf(state.porttext, sizeof state.porttext, "%s(%s)", name, pname ? pname : "");
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof state.porttext)
        return nullptr; // no property name can be that long
    int tlen = n;
    if (prop *p = match(sym->props, state.porttext, tlen, nullptr, 0, flags)) return p;
    if (sym->def)
        if (prop *p = match(sym->def->props, state.porttext, tlen, nullptr, 0, flags)) return p;
    if (rootnet *root = xxgetroot())
        return match(root->props, state.porttext, tlen, nullptr, 0, flags);
    return nullptr;
}

prop *nodesearch(PropMatch match, node *nd, const char *name, int flags) {
    if (prop *p = match(nd->props, name, textlen(name), nullptr, 0, flags)) return p;
    // Along the ring from the successor up to and including the representative; a ring that
    // comes back to the start ends the walk in any case.
    node *n = nd->alias;
    while (n) {
        const char *nname = n->name ? n->name : "";
        if (prop *p = xxflnprop(match, n->links, name, textlen(name), nname, textlen(nname), flags))
            return p;
        if (!(n->flags & NODEF_ALIASED) || n == nd) break;
        n = n->alias;
    }
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Accessors

int xxchkprop(const void *p) {
    kdx::QuietRoutineScope scope("xxchkprop");
    if (!p) {
        xxerr("er", "NULL prop parameter");
        return 0;
    }
    if (!isprop(p)) {
        xxerr("er", "Parameter not a prop");
        return 0;
    }
    return 1;
}

const char *xxpropprop(const void *p) {
    kdx::RoutineScope scope("xxpropprop");
    return isprop(p) ? static_cast<const prop *>(p)->text : nullptr;
}

const char *xxproprval(const void *p) {
    kdx::RoutineScope scope("xxproprval");
    if (!isprop(p) || !static_cast<const prop *>(p)->text) return nullptr;
    const char *colon = std::strchr(static_cast<const prop *>(p)->text, ':');
    return colon ? colon + 1 : nullptr;
}

const char *xxpropval(const void *p) {
    kdx::RoutineScope scope("xxpropval");
    const char *v = xxproprval(p);
    if (!v || !*v) return nullptr;
    if (*v == '*' && (cf::strcieql(v, "*req*") || cf::strcieql(v, "*opt*"))) return nullptr;
    return v;
}

const char *xxpropfval(const void *p) {
    kdx::RoutineScope scope("xxpropfval");
    const char *v = xxpropval(p);
    return v ? v : "";
}

int xxpropflags(const void *p) {
    kdx::QuietRoutineScope scope("xxpropflags");
    return isprop(p) ? static_cast<const prop *>(p)->flags : 0;
}

const char *xxpropiname(const void *p, int flags) {
    kdx::QuietRoutineScope scope("xxpropiname");
    if (!isprop(p) || !static_cast<const prop *>(p)->text) return nullptr;
    const char *text = static_cast<const prop *>(p)->text;
    const char *t = text;
    if (*t == '(') {
        const char *q = t + 1;
        int error = 0;
        xxqematch(&q, &error);
        if (error) {
            xxerr("er", "bad qualifier in property: \"%s\"", text);
            return nullptr;
        }
        t = q;
    }
    if (!(flags & 2) && *t == '<') {
        const char *close = std::strchr(t, '>');
        if (!close) {
            xxerr("er", "bad target in property: \"%s\"", text);
            return nullptr;
        }
        t = close + 1;
    }
    std::size_t len = std::strcspn(t, ":");
    while (len > 0 && (t[len - 1] == ' ' || t[len - 1] == '\t'))
        len--;
    if (len >= PROPNAMELEN - 1) {
        xxerr("er", "property name too long: \"%s\"", text);
        return nullptr;
    }
    char *out = state.iname[flags & 1];
    std::memcpy(out, t, len);
    out[len] = '\0';
    return out;
}

const char *xxwname(const void *obj) {
    kdx::RoutineScope scope("xxwname");
    const char *kind = nullptr;
    const char *name = nullptr;
    if (!obj) {
        std::snprintf(state.wname, sizeof state.wname, "NULL object");
        return state.wname;
    }
    switch (rectype(obj)) {
    case objtype::symbol:
    case objtype::symdef:
        kind = "symbol";
        name = static_cast<const xxnamed *>(obj)->name;
        break;
    case objtype::node:
        kind = "node";
        name = static_cast<const xxnamed *>(obj)->name;
        break;
    case objtype::bus:
        kind = "bus";
        name = static_cast<const xxnamed *>(obj)->name;
        break;
    case objtype::symport:
    case objtype::arrayport:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::rport:
        kind = "port";
        name = xxportname(obj, 0);
        break;
    case objtype::net:
    case objtype::rootnet:
        kind = "net";
        name = rectype(obj) == objtype::net ? xxname(obj, 0) : "";
        break;
    case objtype::prop:
        kind = "property";
        name = static_cast<const prop *>(obj)->text;
        break;
    case objtype::wire:
        kind = "wire";
        name = "";
        break;
    }
    if (!kind) kind = "object";
    std::snprintf(state.wname, sizeof state.wname, "%s \"%s\"", kind, name ? name : "");
    return state.wname;
}

// ---------------------------------------------------------------------------------------------
// Searching

prop *xxfppl(prop *list, const char *name, int namelen, const char *target, int targetlen,
             int flags) {
    kdx::RoutineScope scope("xxfppl");
    // Every look-up walks whole lists: a text that has no qualifier and does not begin with the
    // name's first character cannot match, so it is passed over without asking xxpmatch (unless
    // the trace shows every call).
    const bool quick = name != nullptr && namelen > 0 && *name != '(' && !(flags & FP_QUALONLY) &&
                       flags != FP_WHOLE && !xxtracing();
    const bool nocase = (flags & FP_NOCASE) != 0;
    const int first = quick ? firstchar(*name, nocase) : 0;
    for (prop *p = list; isprop(p); p = p->props) {
        if (quick && p->text != nullptr && p->text[0] != '(' &&
            firstchar(p->text[0], nocase) != first)
            continue;
        if (xxpmatch(name, namelen, p, target, targetlen, flags)) return p;
    }
    return nullptr;
}

prop *xxflnprop(PropMatch match, linkcell *links, const char *name, int namelen, const char *target,
                int targetlen, int flags) {
    kdx::RoutineScope scope("xxflnprop");
    for (linkcell *c = links; c; c = c->next)
        if (c->obj)
            if (prop *p = match(listof(c->obj), name, namelen, target, targetlen, flags)) return p;
    return nullptr;
}

prop *xxfprops(PropMatch match, void *obj, const char *name, int flags) {
    kdx::RoutineScope scope("xxfprops");
    if (!obj || !match || !name) return nullptr;
    int len = textlen(name);
    rootnet *root = xxgetroot();
    // The match routines (xxfppl, xxsvprop) neither find nor record anything in an empty list,
    // and every part asks for several properties: an empty list (the root's, mostly) is passed
    // over without the call, unless the trace shows every call.
    const bool traced = xxtracing();
    auto search = [&](prop *list) {
        return list || traced ? match(list, name, len, nullptr, 0, flags) : nullptr;
    };
    switch (rectype(obj)) {
    case objtype::symbol: {
        auto *sym = static_cast<symbol *>(obj);
        if (prop *p = search(sym->props)) return p;
        if (!(flags & FP_NODEF) && sym->def)
            if (prop *p = search(sym->def->props)) return p;
        return root ? search(root->props) : nullptr;
    }
    case objtype::symdef: {
        if (prop *p = search(listof(obj))) return p;
        return root ? search(root->props) : nullptr;
    }
    case objtype::net: {
        auto *n = static_cast<net *>(obj);
        if (prop *p = match(n->props, name, len, nullptr, 0, flags)) return p;
        return xxflnprop(match, n->frames, name, len, nullptr, 0, flags);
    }
    case objtype::rootnet:
    case objtype::bus:
    case objtype::wire:
        return match(listof(obj), name, len, nullptr, 0, flags);
    case objtype::node:
        return nodesearch(match, static_cast<node *>(obj), name, flags);
    case objtype::symport:
    case objtype::arrayport:
        return symportsearch(match, static_cast<port *>(obj), name, flags);
    case objtype::symdefport:
        return sdpsearch(match, static_cast<port *>(obj), name, flags);
    case objtype::netport: {
        auto *np = static_cast<port *>(obj);
        if (prop *p = sdpsearch(match, np, name, flags)) return p;
        linkcell *first = np->links;
        if (first && first->obj && rectype(first->obj) == objtype::rport) {
            symbol *sym = static_cast<rport *>(first->obj)->sym;
            if (sym && sym->def) return match(sym->def->props, name, len, nullptr, 0, flags);
        }
        return nullptr;
    }
    case objtype::rport: {
        auto *rp = static_cast<rport *>(obj);
        if (prop *p = match(rp->props, name, len, nullptr, 0, flags)) return p;
        if (rp->sym && rp->sym->def)
            return match(rp->sym->def->props, name, len, nullptr, 0, flags);
        return nullptr;
    }
    case objtype::prop:
        return match(static_cast<prop *>(obj)->sub, name, len, nullptr, 0, flags);
    }
    xxerr("er", "unrecognized object type");
    return nullptr;
}

namespace {

// The argument checks of the two look-ups; reported in the caller's routine.
bool findargsok(const void *obj, const char *name) {
    if (!obj) {
        xxerr("er", "NULL object parameter");
        return false;
    }
    if (!name || !*name) {
        xxerr("er", "null property name parameter");
        return false;
    }
    return true;
}

} // namespace

namespace {

// What a look-up says of the property it found: a required value the object does not supply.
prop *checkrequired(void *obj, const char *name, prop *p) {
    if (rectype(obj) != objtype::symdef) {
        const char *raw = xxproprval(p);
        if (raw && *raw == '*' && cf::strcieql(raw, "*req*"))
            xxerr("w", "required property \"%s\" not supplied in %s", name, xxwname(obj));
    }
    return p;
}

} // namespace

prop *xxfindpropfp(void *obj, const char *name, int flags) {
    kdx::QuietRoutineScope scope("xxfindpropfp");
    if (!findargsok(obj, name)) return nullptr;
    prop *p = xxfprops(xxfppl, obj, name, flags);
    if (!p) {
        if (flags & FP_WARN) xxerr("w", "property \"%s\" not found in %s", name, xxwname(obj));
        return nullptr;
    }
    return checkrequired(obj, name, p);
}

prop *xxfindprop(void *obj, const char *name, int flags) {
    kdx::RoutineScope scope("xxfindprop");
    if (!findargsok(obj, name)) return nullptr;
    if (std::strcmp(name, "id") == 0) {
        switch (rectype(obj)) {
        case objtype::node:
        case objtype::bus:
        case objtype::symport:
        case objtype::arrayport:
        case objtype::symdefport:
        case objtype::netport: {
            const char *oname = xxname(obj, 3);
            std::snprintf(state.idtext, sizeof state.idtext, "id:%s", oname ? oname : "");
            state.idprop = prop{};
            state.idprop.type = static_cast<std::uint8_t>(objtype::prop);
            state.idprop.text = state.idtext;
            return &state.idprop;
        }
        default:
            break;
        }
    }
    return xxfindpropfp(obj, name, flags);
}

SymPropLookup::SymPropLookup(symbol *sym, const char *const *names, int count)
    : sym_(sym), names_(names) {
    XXASSERT(count <= MAXNAMES);
    if (!sym || rectype(sym) != objtype::symbol || count > MAXNAMES || xxtracing()) return;
    // The lists xxfprops searches for a symbol, in its order. In a plain text (no qualifier)
    // xxpmatch finds a name exactly when the text begins with it and a ':' or the end follows.
    rootnet *root = xxgetroot();
    prop *lists[] = {sym->props, sym->def ? sym->def->props : nullptr,
                     root ? root->props : nullptr};
    std::size_t len[MAXNAMES];
    for (int i = 0; i < count; ++i)
        len[i] = std::strlen(names[i]);
    for (prop *list : lists)
        for (prop *p = list; isprop(p); p = p->props) {
            const char *t = p->text;
            if (!t) continue;
            if (*t == '(') return; // a qualifier is evaluated, with its messages, by each look-up
            for (int i = 0; i < count; ++i)
                if (!found_[i] && *t == *names[i] && std::strncmp(t, names[i], len[i]) == 0 &&
                    (t[len[i]] == ':' || t[len[i]] == '\0'))
                    found_[i] = p;
        }
    walked_ = true;
}

prop *SymPropLookup::find(int i) {
    if (!walked_) return xxfindprop(sym_, names_[i], 0);
    kdx::RoutineScope scope("xxfindprop");
    return found_[i] ? checkrequired(sym_, names_[i], found_[i]) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per-port properties of a symbol

void xxsymportapply(void *obj, const char *name, PortPropFn fn) {
    kdx::RoutineScope scope("xxsymportapply");
    if (!obj || !name || !fn) {
        XXASSERT(obj && name && fn);
        return;
    }
    prop *own = nullptr;
    prop *deflist = nullptr;
    if (rectype(obj) == objtype::symbol) {
        auto *sym = static_cast<symbol *>(obj);
        own = sym->props;
        deflist = sym->def ? sym->def->props : nullptr;
    } else if (rectype(obj) == objtype::symdef) {
        own = static_cast<symdef *>(obj)->props;
    } else {
        XXASSERT(rectype(obj) == objtype::symbol || rectype(obj) == objtype::symdef);
        return;
    }
    int len = textlen(name);
    const bool traced = xxtracing();
    for (int pass = 0; pass < 2; pass++) {
        prop *list = pass == 0 ? own : deflist;
        for (prop *p = list; isprop(p); p = p->props) {
            // Every symbol is asked this for a few names, and most of its properties start with
            // another letter: those cannot match. A qualified text still goes through the match,
            // which reports a bad qualifier.
            if (!traced && p->text != nullptr && p->text[0] != name[0] && p->text[0] != '(')
                continue;
            if (!xxpmatch(name, len, p, nullptr, 0, FP_PORTFORM)) continue;
            const char *iname = xxpropiname(p, 0);
            if (!iname) continue;
            // The callback may read other names through xxpropiname: keep a copy.
            char pname[PROPNAMELEN];
            std::snprintf(pname, sizeof pname, "%s", iname);
            char *open = std::strchr(pname, '(');
            char *close = open ? std::strchr(open, ')') : nullptr;
            if (!close) continue;
            if (pass == 1 && xxfppl(own, pname, textlen(pname), nullptr, 0, 0))
                continue; // the instance overrides its definition
            *close = '\0';
            fn(p, obj, open + 1);
        }
    }
}

} // namespace kdx
