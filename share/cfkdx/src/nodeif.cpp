// nodeif.cpp - checked access to nodes for the rest of the program.
//
// The type check that every node accessor starts with, and the node's name. No state.
#include "kdxint.h"

namespace kdx {

int xxchknode(const void *obj) {
    QuietRoutineScope scope("xxchknode");
    if (!obj) {
        xxerr("er", "NULL node parameter");
        return 0;
    }
    if (rectype(obj) != objtype::node) {
        xxerr("er", "parameter is not a node (type=%x)", static_cast<unsigned>(rectype(obj)));
        return 0;
    }
    return static_cast<int>(objtype::node);
}

const char *xxnodename(void *obj, int flags) {
    RoutineScope scope("xxnodename");
    XXASSERT(obj != nullptr && rectype(obj) == objtype::node);
    if (!obj || rectype(obj) != objtype::node) return nullptr;
    return xxname(obj, flags);
}

} // namespace kdx
