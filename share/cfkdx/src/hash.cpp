// hash.cpp - the hash tables of the library.
//
// Records carry their own bucket link, so a table is only a row of bucket heads behind a small
// header, all in "xxalbuf"; tables never grow and records are never removed.
#include "kdxint.h"

#include <cstdint>

namespace kdx {

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
