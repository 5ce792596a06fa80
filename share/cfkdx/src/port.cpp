// port.cpp - making ports: the declared ports of definitions and nets, the copies a placed
// symbol or a parent net gets, the packed arrays of primitive symbols, real ports, and the link
// lists through which a port inherits the properties of the objects it was made from.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

template <typename T> T *newrec(objtype type) {
    auto *r = static_cast<T *>(xxcalmem(&xxalbuf, sizeof(T)));
    if (r) r->type = static_cast<std::uint8_t>(type);
    return r;
}

bool endsbang(const char *name) {
    std::size_t len = std::strlen(name);
    return len > 0 && name[len - 1] == '!';
}

} // namespace

void xxlinkup(void *obj, linkcell **list, void *target) {
    kdx::RoutineScope scope("xxlinkup");
    if (!list || !target) {
        XXASSERT(list && target);
        return;
    }
    for (linkcell *c = *list; c; c = c->next) {
        if (c->obj == target) {
            // Already linked: only report where the two disagree.
            xxmergeprops(obj, static_cast<xxrec *>(target)->props, 0);
            return;
        }
    }
    auto *c = static_cast<linkcell *>(xxcalmem(&xxalbuf, sizeof(linkcell)));
    if (!c) return;
    c->next = *list;
    c->obj = target;
    *list = c;
}

port *xxnewvport(void *owner, hashtbl *table, const char *name, void *link) {
    kdx::RoutineScope scope("xxnewvport");
    if (!owner || !table || !name) {
        XXASSERT(owner && table && name);
        return nullptr;
    }
    objtype kind = rectype(owner);
    bool isnet = kind == objtype::net;
    bool global = xxobjtype(owner) == KDX_NET && isnet && endsbang(name);
    auto *p = static_cast<port *>(xxfindhash(table, name));
    if (!p) {
        if (kind != objtype::net && kind != objtype::symdef) {
            XXASSERT(kind == objtype::net || kind == objtype::symdef);
            return nullptr;
        }
        p = newrec<port>(isnet ? objtype::netport : objtype::symdefport);
        if (!p) return nullptr;
        p->name = xxalstr(&xxalbuf, name);
        if (!p->name) return nullptr;
        p->owner = static_cast<xxrec *>(owner);
        xxinshash(table, p, xxhashname(table, p->name));
        if (isnet)
            static_cast<net *>(owner)->nports++;
        else
            static_cast<symdef *>(owner)->nports++;
    }
    if (link) {
        xxlinkup(p, &p->links, link);
        p->flags = static_cast<std::uint16_t>(p->flags | (global ? PORTF_GLOBAL : 0) |
                                              static_cast<xxrec *>(link)->flags);
    } else if (isnet) {
        p->flags = global ? (PORTF_GLOBAL | PORTF_HIER) : PORTF_HIER;
    }
    return p;
}

port *xxdupport(void *owner, port *tmpl) {
    kdx::RoutineScope scope("xxdupport");
    if (!owner || !tmpl) {
        XXASSERT(owner && tmpl);
        return nullptr;
    }
    hashtbl *table = nullptr;
    objtype kind;
    if (rectype(owner) == objtype::symbol) {
        auto *sym = static_cast<symbol *>(owner);
        if (sym->flags & SYMF_ARRAY) {
            XXASSERT(!(sym->flags & SYMF_ARRAY));
            return nullptr;
        }
        table = sym->porttbl;
        kind = objtype::symport;
    } else if (rectype(owner) == objtype::net) {
        table = static_cast<net *>(owner)->porttbl;
        kind = objtype::netport;
    } else {
        XXASSERT(rectype(owner) == objtype::symbol || rectype(owner) == objtype::net);
        return nullptr;
    }
    if (!table) {
        XXASSERT(table);
        return nullptr;
    }
    if (auto *p = static_cast<port *>(xxfindhash(table, tmpl->name))) return p;
    auto *p = newrec<port>(kind);
    if (!p) return nullptr;
    p->name = tmpl->name;
    p->links = tmpl->links;
    p->flags = tmpl->flags;
    p->owner = static_cast<xxrec *>(owner);
    xxinshash(table, p, xxhashname(table, p->name));
    return p;
}

arrayport *xxnewnpla(symbol *sym, int n) {
    kdx::RoutineScope scope("xxnewnpla");
    if (!sym || n <= 0) return nullptr;
    // A primitive with more than about a thousand ports needs more than a block holds.
    auto *arr = static_cast<arrayport *>(xxcalbig(static_cast<std::size_t>(n) * sizeof(arrayport)));
    if (!arr) return nullptr;
    for (int i = 0; i < n; i++) {
        arr[i].type = static_cast<std::uint8_t>(objtype::arrayport);
        arr[i].index = i;
        // The list ends at the symbol, which is how the entry finds its owner.
        arr[i].props = reinterpret_cast<prop *>(sym);
    }
    return arr;
}

arrayport *xxsymarray(symbol *sym) {
    if (sym->parray == nullptr && sym->def != nullptr)
        sym->parray = xxnewnpla(sym, sym->def->nports);
    return sym->parray;
}

rport *xxnewrport(void *owner) {
    kdx::RoutineScope scope("xxnewrport");
    rport **first = nullptr;
    rport **last = nullptr;
    if (owner && rectype(owner) == objtype::net) {
        first = &static_cast<net *>(owner)->firstrport;
        last = &static_cast<net *>(owner)->lastrport;
    } else if (owner && rectype(owner) == objtype::symdef) {
        first = &static_cast<symdef *>(owner)->firstrport;
        last = &static_cast<symdef *>(owner)->lastrport;
    } else {
        XXASSERT(owner && (rectype(owner) == objtype::net || rectype(owner) == objtype::symdef));
        return nullptr;
    }
    auto *rp = newrec<rport>(objtype::rport);
    if (!rp) return nullptr;
    rp->next = static_cast<xxrec *>(owner);
    if (!*first) {
        *first = rp;
    } else {
        (*last)->next = rp;
    }
    *last = rp;
    return rp;
}

} // namespace kdx
