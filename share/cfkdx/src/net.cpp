// net.cpp - net definitions: making, checking, naming and finding the nets of the library.
//
// A net is one netlist (a schematic or design cell), kept in the root's net table by its file
// name. Nets are made on first mention, by a hierarchical symbol or by the read driver, and are
// read later; the module has no state of its own.
#include "kdxint.h"
#include "platform/sysfile.h"

#include <string>

namespace kdx {

void xxsettn(xxrec *obj, const char *name, int pflags) {
    const char *base = name;
    for (const char *s = name; *s; ++s) {
        if (*s == '/' || *s == '\\') base = s + 1;
    }
    // The extension is cut as the page reader cuts it: a name that is all extension (".sch") is
    // left whole, since an empty type name would leave a page without one. A name that ends in
    // a separator ("./", "sub\") has no last component at all: it is kept whole for the same
    // reason, written with the system's separators as the path of the file it reads ("sub/.sch")
    // is, so that both spellings of one folder give one type name.
    std::string cell(*base ? base : name);
    if (!*base) {
        for (char &c : cell)
            if (c == '/' || c == '\\') c = platform::PATH_SEPARATOR;
    } else if (std::size_t dot = cell.rfind('.'); dot != std::string::npos && dot != 0) {
        cell.erase(dot);
    }
    prop *p = xxalprop(pflags, "tn", cell.c_str());
    if (p) xxlinkprop(obj, p, 2);
}

net *xxnewnetdef(const char *name, symbol *sym) {
    RoutineScope scope("xxnewnetdef");
    rootnet *root = xxgetroot();
    XXASSERT(root != nullptr && name != nullptr);
    if (!root || !name) return nullptr;

    int bucket = xxhashname(root->nets, name);
    auto *n = static_cast<net *>(xxhashlookup(root->nets, name, bucket, 0));
    if (!n) {
        n = static_cast<net *>(xxcalmem(&xxalbuf, sizeof(net)));
        if (!n) return nullptr;
        n->type = static_cast<std::uint8_t>(objtype::net);
        // A new cell is looked for among the kinds of file its parent came from.
        if (sym && sym->owner)
            n->flags = sym->owner->flags & NETF_KINDS;
        else if (net *cur = xxcurnet())
            n->flags = cur->flags & NETF_KINDS;
        else
            n->flags = NETF_SCH | NETF_DSN;
        n->name = xxalstr(&xxalbuf, name);
        xxinshash(root->nets, n, bucket);
        n->symtbl = xxnewhashtbl(SYM_BUCKETS);
        n->porttbl = xxnewhashtbl(PORT_BUCKETS);
        // The node and bus tables come with the first node and bus (node).
        n->root = root;
        xxsettn(n, name, PROPF_CLASS1);
    }
    if (sym) n->lastinst = sym;
    return n;
}

int chknet(const void *obj) {
    QuietRoutineScope scope("chknet");
    if (!obj) {
        xxerr("er", "NULL net parameter");
        return 0;
    }
    objtype t = rectype(obj);
    if (t != objtype::net && t != objtype::rootnet) {
        xxerr("er", "parameter is not a net");
        return 0;
    }
    return 1;
}

const char *xxnetname(void *obj, int flags) {
    RoutineScope scope("xxnetname");
    if (!chknet(obj)) return nullptr;
    return xxname(obj, flags);
}

net *xxfindnet(const char *name, int /*flags*/) {
    RoutineScope scope("xxfindnet");
    rootnet *root = xxgetroot();
    if (!root || !name) return nullptr;
    return static_cast<net *>(xxfindhash(root->nets, name));
}

} // namespace kdx
