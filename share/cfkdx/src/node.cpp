// node.cpp - nodes, their aliasing, buses, wires and points.
//
// A node is one electrical connection of a net, found or made by name when a reader connects a
// port. Two nodes that prove to be one connection are merged into one alias ring, with one
// representative chosen by a fixed order of preference. Names ending in "[n]" also make the node
// a member of a bus. The module remembers the wire and point appended last, so that a wire's
// points are appended without walking its list.
#include "kdxint.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kdx {

namespace {

// A net's node table is made with its first node and its bus table with its first bus: most nets
// of a part list never get either, and the two tables are the largest part of an empty net. Null
// only when out of memory.
hashtbl *nodetable(net *owner) {
    if (owner->nodetbl == nullptr) owner->nodetbl = xxnewhashtbl(NODE_BUCKETS);
    return owner->nodetbl;
}

hashtbl *bustable(net *owner) {
    if (owner->bustbl == nullptr) owner->bustbl = xxnewhashtbl(SYM_BUCKETS);
    return owner->bustbl;
}

struct NodeState {
    wire *lastwire;   // wire that received the last point
    point *lastpoint; // that point
};

constinit NodeState S{};

bool islogicname(const char *name) {
    return std::strncmp(name, "*logic", 6) == 0;
}

const char *orempty(const char *s) {
    return s ? s : "";
}

// Name of whatever stands in a node's port chain: a port, or the node itself at the end.
const char *chainname(const xxrec *r) {
    if (!r) return "(NULL)";
    return orempty(xxname(r, 1));
}

void traceaddports(port *p) {
    if (xxoptions().debug) xxerr("m", "node2->lastnodelink=%s.", chainname(p));
}

void tracering(node *keep, node *other) {
    if (!xxoptions().debug) return;
    xxerr("m", "End xxnodealias: node1=%s, node2=%s, nodelink=%s, lastnodelink=%s",
          orempty(keep->name), orempty(other->name), chainname(keep->nodelink),
          chainname(keep->lastnodelink));
    node *n = keep;
    do {
        xxerr("m", "Node=%s, type=%x, flags=%x", orempty(n->name), n->type, n->flags);
        n = n->alias;
    } while (n && n != keep);
}

} // namespace

node *xxnewnode(net *owner, const char *name, port *p, void *link) {
    RoutineScope scope("xxnewnode");
    XXASSERT(owner != nullptr);
    if (!owner) return nullptr;

    // A port without a wire name only lends its own name when that name is global.
    if (p && !name) {
        const char *pname = xxname(p, 1);
        std::size_t len = pname ? std::strlen(pname) : 0;
        if (len > 0 && pname[len - 1] == '!') name = pname;
    }
    char generated[32];
    const rootnet *root = xxgetroot();
    bool nopwr = root && (root->opts & ROOTO_NOPWRPINS) && p && (xxflags(p) & PORTF_PPIN);
    if (!name || nopwr) {
        std::snprintf(generated, sizeof generated, "f#%d", owner->fcount++);
        name = generated;
    }
    if (xxoptions().debug)
        xxerr("m", "xxnewnode: name=%s, link=%s", name, p ? orempty(xxname(p, 1)) : "(NULL)");

    int global = 0;
    int logic = 0;
    const char *look = xxchklogic(xxdeglobalize(name, &global), &logic);
    hashtbl *table = nodetable(owner);
    if (!table) return nullptr;
    int bucket = xxhashname(table, look);
    auto *nd = static_cast<node *>(xxhashlookup(table, look, bucket, 0));
    if (nd)
        nd = xxunalias(nd);
    else
        nd = xxmknode(owner, look, bucket);
    if (!nd) return nullptr;

    if (link) xxlinkup(nd, &nd->links, link);
    if (global || logic) nd->flags |= NODEF_GLOBAL;
    if (logic) nd->flags &= ~NODEF_FREE;

    if (p) {
        if (p->next) {
            // Already connected elsewhere: both names denote one connection.
            xxnodealias(nd, xxunalias(p->pnode));
            nd = xxunalias(nd);
        } else {
            p->next = nd->nodelink;
            if (!nd->lastnodelink) nd->lastnodelink = p;
            nd->nodelink = p;
            if ((nd->flags & NODEF_FREE) && !xxnodeisfree(nd)) nd->flags &= ~NODEF_FREE;
            p->pnode = nd;
            objtype kind = rectype(p);
            if (kind == objtype::symport || kind == objtype::arrayport) {
                auto *sym = static_cast<symbol *>(xxportobj(p, 0));
                XXASSERT(sym != nullptr && rectype(sym) == objtype::symbol);
                if (sym && rectype(sym) == objtype::symbol && !(sym->flags & SYMF_PRIM))
                    nd->flags |= NODEF_NONPRIM;
            }
        }
    }
    return nd;
}

node *xxmknode(net *owner, const char *name, int bucket) {
    RoutineScope scope("xxmknode");
    if (!owner || !nodetable(owner)) return nullptr;
    auto *nd = static_cast<node *>(xxcalmem(&xxalbuf, sizeof(node)));
    if (!nd) return nullptr;
    nd->type = static_cast<std::uint8_t>(objtype::node);
    nd->name = xxalstr(&xxalbuf, name);
    nd->owner = owner;
    nd->nodelink = nd;
    nd->alias = nd;
    nd->flags = NODEF_FREE;
    xxinshash(owner->nodetbl, nd, bucket);
    std::size_t len = nd->name ? std::strlen(nd->name) : 0;
    if (len > 0 && nd->name[len - 1] == ']') xxnewbus(owner, nd);
    nd->next = owner->nodes;
    owner->nodes = nd;
    return nd;
}

int xxnodeisfree(node *n) {
    RoutineScope scope("xxnodeisfree");
    XXASSERT(n != nullptr && rectype(n) == objtype::node);
    if (!n || rectype(n) != objtype::node) return 0;
    if (std::strcmp(orempty(n->name), "*logic0*") == 0 ||
        std::strcmp(orempty(n->name), "*logic1*") == 0)
        return 0;
    // Only "fewer than two" matters, so the count stops at two.
    int count = 0;
    for (port *p = xxportnext(n, nullptr, nullptr, 0); p && count < 2;
         p = xxportnext(n, p, nullptr, 0))
        ++count;
    return count < 2;
}

void xxnodealias(node *node1, node *node2) {
    RoutineScope scope("xxnodealias");
    // Joining a node that is no longer its ring's representative would leave two
    // representatives in one ring; its representative is joined instead.
    node1 = xxunalias(node1);
    node2 = xxunalias(node2);
    if (!node1 || !node2 || node1 == node2) return;
    bool debug = xxoptions().debug;
    if (debug)
        xxerr("m", "Begin xxnodealias: node1=%s and node2=%s", orempty(node1->name),
              orempty(node2->name));

    node *keep = node1;
    node *other = node2;
    if (xxchoosenode(orempty(node1->name), node1->flags, 0, orempty(node2->name), node2->flags,
                     0)) {
        keep = node2;
        other = node1;
    }
    traceaddports(node2->lastnodelink);
    keep->flags |= other->flags & NODEF_KEPT;

    if (other->lastnodelink) {
        other->lastnodelink->next = keep->nodelink;
        keep->nodelink = other->nodelink;
        if (!keep->lastnodelink) keep->lastnodelink = other->lastnodelink;
        // Its ports now belong to keep's chain; an own chain would run into keep's.
        other->nodelink = other;
        other->lastnodelink = nullptr;
    }

    // Splice the rings: keep, then other's whole ring, then the rest of keep's ring.
    node *pred = other;
    while (pred && pred->alias != other) {
        pred = pred->alias;
        if (pred == other) pred = nullptr; // other's ring does not come back to it
    }
    XXASSERT(pred != nullptr);
    if (pred) {
        pred->alias = keep->alias;
        keep->alias = other;
    }

    if (xxnodeisfree(keep))
        keep->flags |= NODEF_FREE;
    else
        keep->flags &= ~NODEF_FREE;
    other->flags |= NODEF_ALIASED;
    if (debug) tracering(keep, other);
}

int xxchoosenode(const char *name1, int flags1, int depth1, const char *name2, int flags2,
                 int depth2) {
    RoutineScope scope("xxchoosenode");
    name1 = orempty(name1);
    name2 = orempty(name2);
    bool logic1 = islogicname(name1);
    bool logic2 = islogicname(name2);
    bool global1 = flags1 & NODEF_GLOBAL;
    bool global2 = flags2 & NODEF_GLOBAL;
    bool differ = std::strcmp(name1, name2) != 0;

    if (logic1 && logic2 && differ)
        xxerr("w", "Logic0 and logic1 are connected together");
    else if (global1 && global2 && !logic1 && !logic2 && differ)
        xxerr("w", "Two global nodes are connected: %s and %s", name1, name2);

    if (global2 && logic2) return 1;
    if (global1 && logic1) return 0;
    if (global2 && !global1) return 1;
    if (global1 && !global2) return 0;

    // Generated names ("f#3", "io#0") give way to names a user wrote.
    bool hash1 = std::strchr(name1, '#') != nullptr;
    bool hash2 = std::strchr(name2, '#') != nullptr;
    if (hash1 && !hash2) return 1;
    if (hash2 && !hash1) return 0;
    if (hash1 && hash2) return 0;

    if (depth1 > depth2) return 1;
    if (depth1 < depth2) return 0;

    bool class1 = flags1 & NODEF_CLASSES;
    bool class2 = flags2 & NODEF_CLASSES;
    if (class2 && !class1) return 1;
    if (class1 && !class2) return 0;

    std::size_t len1 = std::strlen(name1);
    std::size_t len2 = std::strlen(name2);
    if (len1 != len2) return len2 < len1;
    return std::strcmp(name1, name2) > 0;
}

node *xxunalias(node *n) {
    RoutineScope scope("xxunalias");
    if (!n) return nullptr;
    node *start = n;
    while (n->flags & NODEF_ALIASED) {
        if (xxoptions().debug) xxerr("m", "Following alias");
        n = n->alias;
        if (!n || n == start) {
            XXASSERT(false); // a ring of aliases without a representative
            return start;
        }
    }
    return n;
}

int xxchkbus(net *owner, node *n) {
    QuietRoutineScope scope("xxchkbus");
    if (!n || !n->name) return 1;
    std::size_t len = std::strlen(n->name);
    if (len > 0 && n->name[len - 1] == ']') return xxnewbus(owner, n);
    return 1;
}

int xxnewbus(net *owner, node *n) {
    RoutineScope scope("xxnewbus");
    XXASSERT(owner != nullptr && n != nullptr);
    if (!owner || !n) return 0;
    const char *name = orempty(n->name);
    std::size_t len = std::strlen(name);
    const char *open = std::strrchr(name, '[');
    bool legal = len > 0 && name[len - 1] == ']' && open && open + 1 < name + len - 1;
    long index = 0;
    if (legal) {
        for (const char *s = open + 1; s < name + len - 1; ++s) {
            if (!cf::isdigitc(static_cast<unsigned char>(*s))) {
                legal = false;
                break;
            }
            // The range fields are 16-bit: larger indices stay at the largest they can hold.
            if (index <= INT16_MAX) index = index * 10 + (*s - '0');
        }
    }
    if (!legal) {
        xxerr("enl", "Illegal bus name \"%s\"", name);
        return 0;
    }
    auto idx = static_cast<std::int16_t>(index > INT16_MAX ? INT16_MAX : index);

    std::string stem(name, static_cast<std::size_t>(open - name));
    hashtbl *table = bustable(owner);
    if (!table) return 0;
    int bucket = xxhashname(table, stem.c_str());
    auto *b = static_cast<bus *>(xxhashlookup(table, stem.c_str(), bucket, 0));
    if (!b) {
        b = static_cast<bus *>(xxcalmem(&xxalbuf, sizeof(bus)));
        if (!b) return 0;
        b->type = static_cast<std::uint8_t>(objtype::bus);
        b->name = xxalstr(&xxalbuf, stem.c_str());
        b->owner = owner;
        b->lastmember = b;
        b->high = idx;
        b->low = idx;
        xxinshash(owner->bustbl, b, bucket);
    }
    xxbusalias(b, n);
    if (idx > b->high) b->high = idx;
    if (idx < b->low) b->low = idx;
    return 1;
}

void xxbusalias(bus *b, node *n) {
    RoutineScope scope("xxbusalias");
    if (!b || !n) return;
    n->nodebus = b;
    b->lastmember = n;
}

wire *xxnewwire(net *owner) {
    RoutineScope scope("xxnewwire");
    XXASSERT(owner != nullptr);
    if (!owner) return nullptr;
    auto *w = static_cast<wire *>(xxcalmem(&xxalbuf, sizeof(wire)));
    if (!w) return nullptr;
    w->type = static_cast<std::uint8_t>(objtype::wire);
    if (owner->lastwire)
        owner->lastwire->next = w;
    else
        owner->firstwire = w;
    owner->lastwire = w;
    return w;
}

point *xxnewpoint(wire *w, int x, int y) {
    RoutineScope scope("xxnewpoint");
    XXASSERT(w != nullptr);
    if (!w) return nullptr;
    auto *pt = static_cast<point *>(xxcalmem(&xxalbuf, sizeof(point)));
    if (!pt) return nullptr;
    pt->x = x;
    pt->y = y;
    // The remembered point is trusted only while its wire has points: a wire made after
    // xxfreeall may reuse the old wire's address, never its points.
    if (w == S.lastwire && w->points && S.lastpoint) {
        S.lastpoint->next = pt;
    } else if (!w->points) {
        w->points = pt;
    } else {
        point *last = w->points;
        while (last->next)
            last = last->next;
        last->next = pt;
    }
    S.lastwire = w;
    S.lastpoint = pt;
    return pt;
}

} // namespace kdx
