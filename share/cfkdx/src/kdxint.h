// kdxint.h - record layouts and state shared inside the KDX library.
//
// Every record begins with the common head: the type code in the low four bits of the first
// byte, the 16-bit flags and the property-list head. Records that live in hash tables extend it
// with the name and the bucket link, so the hash routines work on any of them. Records are
// plain, trivially destructible structs placed in the "xxalbuf" object buffer and never freed
// one by one.
//
// The header is divided into one section per module group; each group adds its declarations
// inside its own section only.
#pragma once

#include "kdx.h"
#include "cfstring.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kdx {

// ===== Common record head =====

inline constexpr std::uint8_t TYPEMASK = 0x0f; // type code bits of the first byte

// Type codes of the records (low four bits of the first byte).
enum class objtype : std::uint8_t {
    symbol = 1,
    node = 2,
    bus = 3,
    symport = 4,
    arrayport = 5,
    net = 6,
    symdefport = 7,
    netport = 8,
    symdef = 10,
    rport = 11,
    prop = 12,
    rootnet = 13,
    wire = 14,
};

struct xxrec {
    std::uint8_t type;   // type code in the low four bits
    std::uint8_t spare;  // unused
    std::uint16_t flags; // meaning per record kind
    prop *props;         // head of the property list
};

struct xxnamed : xxrec {
    const char *name; // in "xxalbuf"
    xxnamed *hlink;   // next record of the same hash bucket
};

inline objtype rectype(const void *r) {
    return static_cast<objtype>(static_cast<const xxrec *>(r)->type & TYPEMASK);
}

// ===== End of common record head =====

// ===== Memory buffers and library lifetime (init, util) =====
// ===== End of memory buffers =====

// ===== Hash tables (hash) =====
// ===== End of hash tables =====

// ===== Object model records (sym, net, node, port, prop) =====
// ===== End of object model records =====

// ===== Reader state (rd, rd2, rdss, rddsn, rddsn2, pc) =====
// ===== End of reader state =====

} // namespace kdx
