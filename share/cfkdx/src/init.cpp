// init.cpp - the start and end of the library: the root record, its two tables and the buffers.
//
// Owns the root record and the initialised mark. Everything the object model holds lives in the
// "xxalbuf" chain and goes in one sweep with xxfreeall.
#include "kdxint.h"

#include <cstdlib>

namespace kdx {

namespace {

constinit struct {
    bool initialised = false; // between xxinit and xxfreeall
    rootnet *root = nullptr;  // the library root, in the first "xxalbuf" block
} lib;

static_assert(std::is_trivially_destructible_v<rootnet>);
static_assert(std::is_trivially_destructible_v<hashtbl>);

void freescratch(membuf **buf) {
    std::free(*buf);
    *buf = nullptr;
}

} // namespace

void xxinit() {
    RoutineScope scope("xxinit");
    if (lib.initialised) return;
    xxrdinit();
    xxbufinit(&xxalbuf, ALBUF_BLOCK);
    membuf *first = xxalbuf;
    auto *root = static_cast<rootnet *>(xxcalmem(&xxalbuf, sizeof(rootnet)));
    if (first == nullptr || root == nullptr) {
        xxfreeall(); // only with -xxnofatal: leave the library uninitialised, nothing half made
        return;
    }
    root->type = static_cast<std::uint8_t>(objtype::rootnet);
    root->firstblk = first;
    lib.root = root;
    root->nets = xxnewhashtbl(ROOT_NET_BUCKETS);
    root->symdefs = xxnewhashtbl(ROOT_SYMDEF_BUCKETS);
    xxbufinit(&xxtmpbuf2, SCRATCH_BLOCK);
    xxbufinit(&xxtmpbuf, SCRATCH_BLOCK);
    xxbufinit(&xxportbuf, SCRATCH_BLOCK);
    if (root->nets == nullptr || root->symdefs == nullptr || xxtmpbuf2 == nullptr ||
        xxtmpbuf == nullptr || xxportbuf == nullptr) {
        xxfreeall();
        return;
    }
    lib.initialised = true;
}

void xxfreeall() {
    RoutineScope scope("xxfreeall");
    lib.initialised = false;
    xxrdfree();
    xxhashfree();
    xxdsn2free();
    membuf *cur = xxalbuf;
    xxalbuf = nullptr;
    freescratch(&xxportbuf);
    freescratch(&xxlinebuf);
    freescratch(&xxtmpbuf);
    freescratch(&xxtmpbuf2);
    // The chain is walked from its first block; the root record lives in that block, so its
    // link is read before anything is freed. Without a root (a start cut short), the current
    // block leads back to the first through the prev links.
    membuf *b = lib.root != nullptr ? lib.root->firstblk : cur;
    while (b != nullptr && b->prev != nullptr)
        b = b->prev;
    xxchainfree(b);
    lib.root = nullptr;
}

void xxfree(void *p) {
    RoutineScope scope("xxfree");
    std::free(p);
}

rootnet *xxgetroot() {
    return lib.root;
}

} // namespace kdx
