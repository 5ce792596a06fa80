// portif.cpp - finding ports by name, mapping a symbol's ports to its definition's and back,
// and the owner, node and name of any port.
//
// A primitive symbol keeps its ports as a packed array indexed like its definition's port
// array; any other symbol has a table of copies named like the definition ports. The mapping
// routines hide the difference.
#include "kdxint.h"

#include <cstring>

namespace kdx {

namespace {

// The definition port an array entry stands for, when the symbol's definition has it.
port *arraydefport(const symbol *sym, const port *ap) {
    const symdef *sd = sym->def;
    if (!sd || !sd->portarr || ap->index < 0 || ap->index >= sd->nports) return nullptr;
    return sd->portarr[ap->index];
}

} // namespace

int chkport(const void *obj) {
    kdx::QuietRoutineScope scope("chkport");
    if (!obj) {
        xxerr("er", "NULL port parameter");
        return 0;
    }
    if (!isport(obj)) {
        xxerr("er", "parameter not a port");
        return 0;
    }
    return 1;
}

port *xxfsdp(symdef *sd, const char *name) {
    kdx::RoutineScope scope("xxfsdp");
    if (!sd || !sd->porttbl || !name) return nullptr;
    return static_cast<port *>(xxfindhash(sd->porttbl, name));
}

port *xxfsp(symbol *sym, const char *name, int /*flags*/) {
    kdx::RoutineScope scope("xxfsp");
    if (!sym || !name) return nullptr;
    if (sym->flags & SYMF_ARRAY) {
        port *sdp = xxfsdp(sym->def, name);
        if (!sdp) return nullptr;
        arrayport *array = rectype(sdp) == objtype::symdefport ? xxsymarray(sym) : nullptr;
        if (!array || sdp->index < 0 || sdp->index >= sym->def->nports) {
            XXASSERT(rectype(sdp) == objtype::symdefport && array);
            return nullptr;
        }
        return &array[sdp->index];
    }
    if (!sym->porttbl) return nullptr;
    return static_cast<port *>(xxfindhash(sym->porttbl, name));
}

port *xxfndp(net *n, const char *name) {
    kdx::RoutineScope scope("xxfndp");
    if (!n || !n->porttbl || !name) return nullptr;
    return static_cast<port *>(xxfindhash(n->porttbl, name));
}

port *xxgetsdp(symdef *sd, const char *name, prop *p) {
    kdx::QuietRoutineScope scope("xxgetsdp");
    port *r = xxfsdp(sd, name);
    if (!r)
        xxerr("w", "Cannot find port %s in symbol %s mentioned in property %s", name ? name : "",
              sd && sd->name ? sd->name : "", p && p->text ? p->text : "");
    return r;
}

port *xxgetsp(symbol *sym, const char *name, prop *p) {
    kdx::QuietRoutineScope scope("xxgetsp");
    port *r = xxfsp(sym, name, 0);
    if (!r)
        xxerr("w", "Cannot find port %s in symbol %s mentioned in property %s", name ? name : "",
              sym && sym->name ? sym->name : "", p && p->text ? p->text : "");
    return r;
}

port *xxsdp2sp(symbol *sym, port *sdp) {
    kdx::RoutineScope scope("xxsdp2sp");
    if (!sym || !sdp) return nullptr;
    if (sym->flags & SYMF_ARRAY) {
        if (!sym->def || sdp->index < 0 || sdp->index >= sym->def->nports) return nullptr;
        arrayport *array = xxsymarray(sym);
        return array ? &array[sdp->index] : nullptr;
    }
    if (!sym->porttbl) return nullptr;
    return static_cast<port *>(xxfindhash(sym->porttbl, sdp->name));
}

port *xxsp2sdp(symbol *sym, port *sp) {
    kdx::RoutineScope scope("xxsp2sdp");
    if (!sp) return nullptr;
    if (!sym) sym = static_cast<symbol *>(xxportobj(sp, 0));
    if (!sym || rectype(sym) != objtype::symbol) {
        XXASSERT(sym && rectype(sym) == objtype::symbol);
        return nullptr;
    }
    if (rectype(sp) == objtype::symport) return xxfsdp(sym->def, sp->name);
    if (rectype(sp) == objtype::arrayport) return arraydefport(sym, sp);
    XXASSERT(rectype(sp) == objtype::symport || rectype(sp) == objtype::arrayport);
    return nullptr;
}

rport *xxfrport(void *list, const char *name) {
    kdx::RoutineScope scope("xxfrport");
    if (!name) return nullptr;
    for (auto *r = static_cast<xxrec *>(list); r && rectype(r) == objtype::rport;
         r = static_cast<rport *>(r)->next) {
        auto *rp = static_cast<rport *>(r);
        if (rp->name && std::strcmp(rp->name, name) == 0) return rp;
    }
    return nullptr;
}

void *xxportobj(const void *p, int /*flags*/) {
    kdx::RoutineScope scope("xxportobj");
    if (!chkport(p)) return nullptr;
    const auto *pt = static_cast<const port *>(p);
    switch (rectype(p)) {
    case objtype::arrayport: {
        xxrec *r = pt->props;
        while (r && rectype(r) == objtype::prop)
            r = static_cast<prop *>(r)->props;
        return r;
    }
    case objtype::rport: {
        xxrec *r = pt->next;
        while (r && rectype(r) == objtype::rport)
            r = static_cast<rport *>(r)->next;
        return r;
    }
    default:
        return pt->owner;
    }
}

node *xxportnode(const void *p) {
    kdx::RoutineScope scope("xxportnode");
    if (p && (rectype(p) == objtype::symdefport || rectype(p) == objtype::rport)) {
        xxerr("er", "No node associated with port.");
        return nullptr;
    }
    if (!isport(p)) {
        xxerr("er", "argument is not a port");
        return nullptr;
    }
    node *nd = static_cast<const port *>(p)->pnode;
    if (!nd) return nullptr;
    bool debug = xxoptions().debug != 0;
    if (debug) xxerr("m", "Start xxfpunalias, netuse=%lx, node=%s", 0UL, nd->name ? nd->name : "");
    nd = xxunalias(nd);
    if (debug)
        xxerr("m", "End xxfpunalias, netuse=%lx, node=%s", 0UL, nd && nd->name ? nd->name : "");
    return nd;
}

const char *xxportname(const void *p, int flags) {
    kdx::RoutineScope scope("xxportname");
    if (!isport(p)) {
        xxerr("er", "bashed pointer");
        return nullptr;
    }
    return xxname(p, flags);
}

} // namespace kdx
