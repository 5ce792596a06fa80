// portkind.h - telling port records from other records, for the port modules that take any
// object and must refuse what is not a port.
#pragma once

#include "kdxint.h"

namespace kdx {

// True for every kind of port record, whichever object owns it.
inline bool isport(const void *obj) {
    if (!obj) return false;
    switch (rectype(obj)) {
    case objtype::symport:
    case objtype::arrayport:
    case objtype::symdefport:
    case objtype::netport:
    case objtype::rport:
        return true;
    default:
        return false;
    }
}

} // namespace kdx
