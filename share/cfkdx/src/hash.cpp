// hash.cpp - the hash tables of the library.
//
// Records carry their own bucket link, so a table is only a row of bucket heads behind a small
// header, all in "xxalbuf"; tables never grow and records are never removed. The bucket counts
// are fixed (and the walks by bucket are part of the library's behaviour), so a table that holds
// far more records than buckets - the symbols of a sheet with 100,000 parts - gets a look-up
// index on the heap beside its chains: same answers, same walks, but look-ups no longer grow
// with the length of a chain. The indexes are released with the object buffer (xxhashfree).
#include "kdxint.h"

#include <cstdint>
#include <cstdlib>

namespace kdx {

// An open-addressing table of the newest record of every name (names compared as strcieql does),
// kept in step with the chains by xxinshash.
struct hashindex {
    std::uint32_t mask; // slots - 1; the slot count is a power of two
    std::uint32_t used; // distinct names held
    xxnamed **slots;    // null when empty
    hashindex *next;    // every index of the library, for xxhashfree
};

namespace {

inline constexpr int INDEX_CHAIN = 8;          // average chain length that calls for an index
inline constexpr std::uint32_t INDEX_MIN = 64; // initial slot count

constinit struct {
    hashindex *all = nullptr; // every index made since the last xxhashfree
} hashstate;

// FNV-1a over the case-folded name: equal names under strcieql hash alike.
std::uint32_t foldhash(const char *name) {
    std::uint32_t h = 2166136261u;
    for (const char *c = name; *c != '\0'; ++c)
        h = (h ^ static_cast<unsigned char>(cf::toupperc(cf::schar(*c)))) * 16777619u;
    return h;
}

// The slot of `name`: the one holding it, or the empty one where it belongs.
xxnamed **indexslot(const hashindex *ix, const char *name) {
    std::uint32_t i = foldhash(name) & ix->mask;
    while (ix->slots[i] != nullptr && !cf::strcieql(ix->slots[i]->name, name))
        i = (i + 1) & ix->mask;
    return &ix->slots[i];
}

bool indexgrow(hashindex *ix, std::uint32_t slots) {
    auto **fresh = static_cast<xxnamed **>(std::calloc(slots, sizeof(xxnamed *)));
    if (fresh == nullptr) return false;
    xxnamed **old = ix->slots;
    std::uint32_t oldslots = old != nullptr ? ix->mask + 1 : 0;
    ix->slots = fresh;
    ix->mask = slots - 1;
    for (std::uint32_t i = 0; i < oldslots; ++i)
        if (old[i] != nullptr) *indexslot(ix, old[i]->name) = old[i];
    std::free(old);
    return true;
}

// Records r as the newest of its name. Returns false when memory ran out (the chains still
// answer every look-up then).
bool indexput(hashindex *ix, xxnamed *r) {
    if (r->name == nullptr) return true;
    if (2 * (ix->used + 1) > ix->mask + 1 && !indexgrow(ix, 2 * (ix->mask + 1))) return false;
    xxnamed **slot = indexslot(ix, r->name);
    if (*slot == nullptr) ++ix->used;
    *slot = r;
    return true;
}

void dropindex(hashtbl *t) {
    for (hashindex **p = &hashstate.all; *p != nullptr; p = &(*p)->next) {
        if (*p == t->index) {
            *p = t->index->next;
            break;
        }
    }
    std::free(t->index->slots);
    std::free(t->index);
    t->index = nullptr;
}

// Indexes every record of t, oldest first within each chain so that the newest wins.
void buildindex(hashtbl *t) {
    auto *ix = static_cast<hashindex *>(std::calloc(1, sizeof(hashindex)));
    if (ix == nullptr) return;
    ix->next = hashstate.all;
    hashstate.all = ix;
    t->index = ix;
    std::uint32_t slots = INDEX_MIN;
    while (slots < 4u * static_cast<std::uint32_t>(t->count))
        slots *= 2;
    if (!indexgrow(ix, slots)) {
        dropindex(t);
        return;
    }
    for (int b = 0; b < t->buckets; ++b) {
        int n = 0;
        for (xxnamed *r = t->heads[b]; r != nullptr; r = r->hlink)
            ++n;
        if (n == 0) continue;
        auto **chain =
            static_cast<xxnamed **>(std::malloc(static_cast<std::size_t>(n) * sizeof(xxnamed *)));
        if (chain == nullptr) {
            dropindex(t);
            return;
        }
        int i = 0;
        for (xxnamed *r = t->heads[b]; r != nullptr; r = r->hlink)
            chain[i++] = r;
        bool ok = true;
        while (ok && i > 0)
            ok = indexput(ix, chain[--i]);
        std::free(chain);
        if (!ok) {
            dropindex(t);
            return;
        }
    }
}

} // namespace

void xxhashfree() {
    while (hashstate.all != nullptr) {
        hashindex *ix = hashstate.all;
        hashstate.all = ix->next;
        std::free(ix->slots);
        std::free(ix);
    }
}

hashtbl *xxnewhashtbl(int buckets) {
    RoutineScope scope("xxnewhashtbl");
    XXASSERT(buckets > 0);
    if (buckets <= 0) return nullptr;
    std::size_t size = sizeof(hashtbl) + static_cast<std::size_t>(buckets) * sizeof(xxnamed *);
    auto *t = static_cast<hashtbl *>(xxcalmem(&xxalbuf, size));
    if (t == nullptr) return nullptr;
    t->buckets = buckets;
    t->significant = -1;
    t->heads = reinterpret_cast<xxnamed **>(t + 1);
    return t;
}

int xxhashname(const hashtbl *t, const char *name) {
    RoutineScope scope("xxhashname");
    XXASSERT(t != nullptr);
    if (t == nullptr || t->buckets <= 0) return 0;
    std::uint32_t h = 0; // the 32-bit signed sum, kept unsigned so that it wraps
    if (name != nullptr) {
        for (int n = 0; name[n] != '\0' && (t->significant < 0 || n < t->significant); ++n) {
            if (name[n] == '!') continue;
            h = 2u * h + static_cast<std::uint32_t>(cf::toupperc(cf::schar(name[n])));
        }
    }
    // |h| taken in 64 bits: the most negative value has no 32-bit absolute value.
    std::int64_t v = static_cast<std::int32_t>(h);
    if (v < 0) v = -v;
    return static_cast<int>(v % t->buckets);
}

xxnamed *xxhashlookup(const hashtbl *t, const char *name, int bucket, int /*flags*/) {
    RoutineScope scope("xxhashlookup");
    XXASSERT(t != nullptr);
    if (t == nullptr || name == nullptr || bucket < 0 || bucket >= t->buckets) return nullptr;
    if (t->index != nullptr) return *indexslot(t->index, name);
    for (xxnamed *r = t->heads[bucket]; r != nullptr; r = r->hlink)
        if (cf::strcieql(r->name, name)) return r;
    return nullptr;
}

xxnamed *xxfindhash(const hashtbl *t, const char *name) {
    RoutineScope scope("xxfindhash");
    if (t == nullptr) return nullptr;
    return xxhashlookup(t, name, xxhashname(t, name), 0);
}

void xxinshash(hashtbl *t, xxnamed *r, int bucket) {
    RoutineScope scope("xxinshash");
    XXASSERT(t != nullptr && r != nullptr && bucket >= 0 && bucket < t->buckets);
    if (t == nullptr || r == nullptr || bucket < 0 || bucket >= t->buckets) return;
    r->hlink = t->heads[bucket];
    t->heads[bucket] = r;
    ++t->count;
    if (t->index != nullptr) {
        if (!indexput(t->index, r)) dropindex(t);
    } else if (t->count > INDEX_CHAIN * t->buckets) {
        buildindex(t);
    }
}

void xxhashapply(hashtbl *t, void (*fn)(xxnamed *)) {
    QuietRoutineScope scope("xxhashapply");
    if (t == nullptr || fn == nullptr) return;
    for (int b = 0; b < t->buckets; ++b) {
        for (xxnamed *r = t->heads[b]; r != nullptr;) {
            xxnamed *next = r->hlink; // fn may relink r
            fn(r);
            r = next;
        }
    }
}

xxnamed *xxnexthash(hashtbl *t, xxnamed *prev, int *bucket, int (*filter)(xxnamed *)) {
    RoutineScope scope("xxnexthash");
    if (t == nullptr) return nullptr;
    xxnamed *r = nullptr;
    if (prev != nullptr)
        r = prev->hlink;
    else if (bucket != nullptr && *bucket >= 0 && *bucket < t->buckets)
        r = t->heads[*bucket];
    // The bucket index is fixed once and then only advanced, so a walk without the caller's
    // index variable still ends after the last bucket.
    bool known = false;
    int b = 0;
    for (;;) {
        for (; r != nullptr; r = r->hlink)
            if (filter == nullptr || filter(r) != 0) return r;
        if (!known) {
            b = bucket != nullptr ? *bucket : prev != nullptr ? xxhashname(t, prev->name) : -1;
            known = true;
        }
        if (b < -1) b = -1;
        if (++b >= t->buckets) return nullptr;
        if (bucket != nullptr) *bucket = b;
        r = t->heads[b];
    }
}

} // namespace kdx
