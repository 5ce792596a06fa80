// miscif.cpp - generic access to any object of the database: kind, type code, flags, name; and
// the readers' lap timer.
//
// Objects are handed around as plain record addresses; these routines dispatch on the type code
// of the common head. The only state is the time of the timer's previous call.
#include "kdxint.h"

#include <ctime>

namespace kdx {

namespace {

struct MiscState {
    std::time_t lap; // time of xxelapsed's previous call
    bool started;    // xxelapsed has been called before
};

constinit MiscState S{};

} // namespace

int xxobjtype(const void *obj) {
    RoutineScope scope("xxobjtype");
    if (!obj) return KDX_NONE;
    switch (rectype(obj)) {
    case objtype::net:
    case objtype::rootnet:
        return KDX_NET;
    case objtype::symbol:
        return KDX_SYMBOL;
    case objtype::symdef:
        return KDX_SYMDEF;
    case objtype::node:
        return KDX_NODE;
    case objtype::bus:
        return KDX_BUS;
    case objtype::symport:
    case objtype::arrayport:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::rport:
        return KDX_PORT;
    case objtype::prop:
        return KDX_PROP;
    default:
        return KDX_NONE;
    }
}

int xxtype(const void *obj) {
    RoutineScope scope("xxtype");
    return obj ? static_cast<int>(rectype(obj)) : 0;
}

int xxflags(const void *obj) {
    RoutineScope scope("xxflags");
    objtype t = obj ? rectype(obj) : objtype{};
    switch (t) {
    case objtype::net:
    case objtype::symbol:
    case objtype::node:
    case objtype::bus:
    case objtype::symdef:
    case objtype::prop:
    case objtype::rootnet:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::rport:
        return static_cast<const xxrec *>(obj)->flags;
    case objtype::symport:
    case objtype::arrayport: {
        // A placed symbol's port inherits what its definition declares.
        auto *p = static_cast<port *>(const_cast<void *>(obj));
        int flags = p->flags;
        if (const port *sdp = xxsp2sdp(nullptr, p)) flags |= sdp->flags;
        return flags;
    }
    default:
        xxerr("er", "unrecognized object parameter (type 0x%x)", static_cast<unsigned>(t));
        return 0;
    }
}

const char *xxname(const void *obj, int flags) {
    RoutineScope scope("xxname");
    objtype t = obj ? rectype(obj) : objtype{};
    switch (t) {
    case objtype::symbol:
    case objtype::node:
    case objtype::bus:
    case objtype::symport:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::symdef:
    case objtype::rport:
        return static_cast<const xxnamed *>(obj)->name;
    case objtype::arrayport: {
        const port *sdp = xxsp2sdp(nullptr, static_cast<port *>(const_cast<void *>(obj)));
        return sdp ? sdp->name : nullptr;
    }
    case objtype::net:
        return xxpropval(xxfindprop(const_cast<void *>(obj), "tn", 0));
    case objtype::prop:
        return xxpropiname(obj, flags);
    default:
        XXASSERT(false); // not an object with a name
        return nullptr;
    }
}

int xxelapsed() {
    RoutineScope scope("xxelapsed");
    std::time_t now = std::time(nullptr);
    int seconds = S.started ? static_cast<int>(now - S.lap) : 0;
    S.lap = now;
    S.started = true;
    return seconds;
}

} // namespace kdx
