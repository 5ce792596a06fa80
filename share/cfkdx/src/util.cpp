// util.cpp - the object buffers (membuf) and the allocation entry points.
//
// "xxalbuf" is a chain of fixed-size blocks whose records never move; the four scratch buffers
// are single blocks that grow by reallocation. Owns the five buffer variables.
//
// A large design fills thousands of "xxalbuf" blocks, and the kernel handing out their memory a
// page at a time cost more than a tenth of a run. The chain's blocks are therefore carved from
// slabs of a few megabytes whose pages a helper thread has the kernel map ahead of the reader; a
// block that a caller grows or replaces moves to the heap, and the slabs go whole when the chain
// is released. Sanitizer builds give every block its own heap allocation, so that an overrun
// between blocks is caught.
#include "kdxint.h"

#include "platform/sysfile.h"
#include "platform/worker.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

namespace kdx {

constinit membuf *xxalbuf = nullptr;
constinit membuf *xxtmpbuf = nullptr;
constinit membuf *xxtmpbuf2 = nullptr;
constinit membuf *xxlinebuf = nullptr;
constinit membuf *xxportbuf = nullptr;

namespace {

char *area(membuf *b) {
    return reinterpret_cast<char *>(b) + MEMBUF_HDR;
}

std::size_t usable(const membuf *b) {
    return static_cast<std::size_t>(b->eptr - reinterpret_cast<const char *>(b)) - MEMBUF_HDR;
}

std::size_t used(const membuf *b) {
    return static_cast<std::size_t>(b->ptr - reinterpret_cast<const char *>(b)) - MEMBUF_HDR;
}

std::size_t alignup(std::size_t n) {
    return (n + RECALIGN - 1) & ~(RECALIGN - 1);
}

// Where the next object of the current block would start; the area begins aligned because heap
// blocks are max-aligned and the header is a multiple of the alignment.
char *nextobj(membuf *b) {
    return area(b) + alignup(used(b));
}

static_assert(MEMBUF_HDR % RECALIGN == 0, "the usable area must start aligned");

#if defined(__SANITIZE_ADDRESS__)
constexpr bool USE_SLABS = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool USE_SLABS = false;
#else
constexpr bool USE_SLABS = true;
#endif
#else
constexpr bool USE_SLABS = true;
#endif

inline constexpr std::size_t SLAB_SIZE = std::size_t{2}
                                         << 20; // 31 blocks; the rest is never mapped

// The head of a slab, at its start; the blocks follow it.
struct slab {
    slab *next; // the slab made before this one
    char *free; // first byte not yet handed out
    char *end;  // end of the slab
};
inline constexpr std::size_t SLAB_TASKS_QUEUED = 64; // maps and unmaps waiting for the helper
inline constexpr std::size_t SLAB_HDR = (sizeof(slab) + RECALIGN - 1) & ~(RECALIGN - 1);

// A block of the chain as a slab holds it, and the part of a slab such blocks fill: the rest
// is never written, so it is not mapped ahead either.
inline constexpr std::size_t CHAIN_BLOCK =
    (ALBUF_BLOCK + MEMBUF_SLACK + MEMBUF_HDR + RECALIGN - 1) & ~(RECALIGN - 1);
inline constexpr std::size_t SLAB_FILLED =
    SLAB_HDR + (SLAB_SIZE - SLAB_HDR) / CHAIN_BLOCK * CHAIN_BLOCK;

// Memory for a slab; null when it cannot be had.
slab *mapslab() {
    void *mem = platform::MapMemory(SLAB_SIZE);
    if (mem == nullptr) return nullptr;
    auto *s = static_cast<slab *>(mem);
    s->free = static_cast<char *>(mem) + SLAB_HDR;
    s->end = static_cast<char *>(mem) + SLAB_SIZE;
    return s;
}

// Unmaps a chain of slabs.
void unmapall(slab *s) {
    while (s != nullptr) {
        slab *next = s->next;
        platform::UnmapMemory(s, SLAB_SIZE);
        s = next;
    }
}

// The slabs in use and the next one. A helper has the kernel map the spare's pages while the
// reader fills the current slab, and unmaps a released chain while the run finishes, so the
// kernel's work on the memory runs beside the reading. The reader never waits for the helper:
// the kernel maps a page once, for whichever asks first, and leaves what is written in it alone.
struct slabstore {
    slab *slabs = nullptr;                      // in use, newest first
    slab *spare = nullptr;                      // made ahead, not in use yet
    platform::Worker helper{SLAB_TASKS_QUEUED}; // ended at the end of the process at last
};

slabstore &store() {
    static slabstore s; // made on first use, so the library has no static constructor
    return s;
}

// A new current slab: the spare when there is one. Null when the memory cannot be had. A small
// design fits its first slab; only one that fills it gets spares made ahead.
slab *newslab() {
    slabstore &st = store();
    slab *s = st.spare != nullptr ? st.spare : mapslab();
    st.spare = nullptr;
    if (s == nullptr) return nullptr;
    const bool growing = st.slabs != nullptr;
    s->next = st.slabs;
    st.slabs = s;
    if (growing) {
        st.spare = mapslab();
        if (slab *spare = st.spare; spare != nullptr && platform::MEMORY_HELPER)
            st.helper.post([spare] { platform::PrefaultMemory(spare, SLAB_FILLED); });
    }
    return s;
}

// `total` cleared bytes for a block of the "xxalbuf" chain: from a slab when possible (fresh
// mappings are already zero), else from the heap. Null when neither has the memory.
void *chainblock(std::size_t total) {
    if (USE_SLABS && total <= SLAB_SIZE - SLAB_HDR) {
        const std::size_t size = (total + RECALIGN - 1) & ~(RECALIGN - 1);
        slab *s = store().slabs;
        if (s == nullptr || static_cast<std::size_t>(s->end - s->free) < size) s = newslab();
        if (s != nullptr) {
            void *block = s->free;
            s->free += size;
            return block;
        }
    }
    return std::calloc(total, 1);
}

bool inslab(const void *p) {
    const auto *c = static_cast<const char *>(p);
    for (const slab *s = store().slabs; s != nullptr; s = s->next)
        if (c >= reinterpret_cast<const char *>(s) && c < s->end) return true;
    return false;
}

// Lets a block go: a heap block is freed, a slab block waits for its slab to go.
void releaseblock(membuf *b) {
    if (!inslab(b)) std::free(b);
}

// Grows a block to `total` bytes keeping its first `keep`; a slab block moves to the heap.
void *regrow(membuf *b, std::size_t total, std::size_t keep) {
    if (!inslab(b)) return std::realloc(b, total);
    void *mem = std::malloc(total);
    if (mem != nullptr) std::memcpy(mem, b, keep);
    return mem;
}

// Makes *buf an empty block of at least `size` usable bytes (see xxbufinit); `chained` blocks
// belong to the "xxalbuf" chain and may come from a slab.
void initblock(membuf **buf, std::size_t size, bool chained) {
    membuf *old = *buf;
    if (old != nullptr && usable(old) >= size) {
        old->ptr = area(old);
        return;
    }
    std::size_t total = size + MEMBUF_SLACK + MEMBUF_HDR;
    // Made before the old block is let go, so a failure leaves the buffer as it was.
    void *mem = nullptr;
    if (size <= SIZE_MAX - MEMBUF_SLACK - MEMBUF_HDR)
        mem = chained ? chainblock(total) : std::calloc(total, 1);
    if (mem == nullptr) {
        xxerr("f", "OUT OF MEMORY !!!");
        return;
    }
    membuf *b = static_cast<membuf *>(mem);
    if (old != nullptr) {
        b->prev = old->prev;
        b->next = old->next;
        if (b->prev != nullptr) b->prev->next = b;
        if (b->next != nullptr) b->next->prev = b;
        releaseblock(old);
    }
    b->ptr = area(b);
    b->eptr = reinterpret_cast<char *>(b) + total;
    *buf = b;
    if (xxoptions().debug)
        xxerr("m", "xxbufinit: bufptr=%lx *bufptr=%lx bufsiz=%x",
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(buf)),
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(b)),
              static_cast<unsigned>(total));
}

// True when the current block can take `size` bytes plus the slack xxalmem keeps.
bool fits(const membuf *cur, std::size_t size) {
    if (cur == nullptr || cur->ptr >= cur->eptr) return false;
    membuf *b = const_cast<membuf *>(cur);
    char *p = nextobj(b);
    if (p > b->eptr) return false;
    return static_cast<std::size_t>(b->eptr - p) >= size + ALMEM_SLACK;
}

} // namespace

const char *xxbufname(membuf **buf) {
    QuietRoutineScope scope("xxbufname");
    if (buf == &xxalbuf) return "xxalbuf";
    if (buf == &xxportbuf) return "xxportbuf";
    if (buf == &xxlinebuf) return "xxlinebuf";
    if (buf == &xxtmpbuf) return "xxtmpbuf";
    if (buf == &xxtmpbuf2) return "xxtmpbuf2";
    return "unknown buf";
}

void xxbufinit(membuf **buf, std::size_t size) {
    RoutineScope scope("xxbufinit");
    initblock(buf, size, buf == &xxalbuf);
}

void xxbufexpand(membuf **buf, std::size_t size) {
    RoutineScope scope("xxbufexpand");
    membuf *old = *buf;
    if (old == nullptr) {
        xxbufinit(buf, size);
        return;
    }
    std::size_t inuse = used(old);
    // Grow from the aligned end of the contents so the request fits behind the next alignment.
    std::size_t base = alignup(inuse);
    if (size > (SIZE_MAX - base - MEMBUF_SLACK - MEMBUF_HDR) / 2) {
        xxerr("f", "OUT OF MEMORY !!!");
        return;
    }
    std::size_t newsize = base + 2 * size;
    if (xxoptions().memdebug)
        xxerror('m', "xxbufexpand %s, oldsize=%d, used=%d, newsize=%d", xxbufname(buf),
                static_cast<int>(usable(old)), static_cast<int>(inuse), static_cast<int>(newsize));
    std::size_t total = newsize + MEMBUF_SLACK + MEMBUF_HDR;
    void *mem = regrow(old, total, MEMBUF_HDR + inuse);
    if (mem == nullptr) {
        xxerr("f", "OUT OF MEMORY !!!");
        return;
    }
    membuf *b = static_cast<membuf *>(mem);
    if (xxoptions().debug)
        xxerr("m", "xxbufexpand: bufptr=%lx *bufptr=%lx bufsiz=%x",
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(buf)),
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(b)),
              static_cast<unsigned>(total));
    if (b->prev != nullptr) b->prev->next = b;
    if (b->next != nullptr) b->next->prev = b;
    b->ptr = area(b) + inuse;
    b->eptr = area(b) + newsize;
    *buf = b;
}

void xxchainfree(membuf *first) {
    // Only the blocks a caller moved to the heap are freed one by one; the slabs go whole. A
    // large design has thousands of blocks in hundreds of slabs: each block is looked up among
    // the slabs in address order rather than slab by slab.
    std::vector<const slab *> slabs;
    try {
        for (const slab *s = store().slabs; s != nullptr; s = s->next)
            slabs.push_back(s);
    } catch (const std::bad_alloc &) {
        slabs.clear(); // looked up slab by slab, then
    }
    std::sort(slabs.begin(), slabs.end());
    for (membuf *b = first; b != nullptr;) {
        membuf *next = b->next;
        if (slabs.empty()) {
            releaseblock(b);
        } else {
            const auto *at = reinterpret_cast<const char *>(b);
            auto after =
                std::upper_bound(slabs.begin(), slabs.end(), at, [](const char *p, const slab *s) {
                    return p < reinterpret_cast<const char *>(s);
                });
            if (after == slabs.begin() || at >= (*std::prev(after))->end) std::free(b);
        }
        b = next;
    }
    slabstore &st = store();
    slab *gone = std::exchange(st.slabs, nullptr);
    if (st.spare != nullptr) {
        st.spare->next = gone;
        gone = std::exchange(st.spare, nullptr);
    }
    // Giving a large design's memory back takes the kernel a while; the helper does it while
    // the run finishes (the next run's first task, or the end of the process, waits for it).
    if (platform::MEMORY_HELPER && gone != nullptr && gone->next != nullptr) {
        st.helper.post([gone] { unmapall(gone); });
        st.helper.retire();
    } else {
        unmapall(gone);
    }
}

void xxnewbuf(membuf **buf, std::size_t size) {
    RoutineScope scope("xxnewbuf");
    membuf *old = *buf;
    if (old == nullptr) {
        xxbufinit(buf, size);
        return;
    }
    if (old->ptr > old->eptr)
        xxerr("i", "Memory Buffer Overflow:ptr=0x%lx,eptr=0x%lx",
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(old->ptr)),
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(old->eptr)));
    if (buf != &xxalbuf) {
        xxbufexpand(buf, size);
        return;
    }
    if (size > ALBUF_BLOCK) {
        xxerr("f", "Object is too large to fit in membuf");
        return; // no block could take it: the caller stops
    }
    // The new block is made first so that a failure leaves the chain and its current block whole.
    membuf *fresh = nullptr;
    {
        RoutineScope init("xxbufinit");
        initblock(&fresh, ALBUF_BLOCK, true);
    }
    if (fresh == nullptr) return;
    std::ptrdiff_t waste = old->eptr - old->ptr;
    old->eptr = old->ptr; // sealed: the rest of the block is given up
    old->next = fresh;
    fresh->prev = old;
    *buf = fresh;
    if (xxoptions().memdebug) {
        int oldsize = static_cast<int>(old->ptr - reinterpret_cast<char *>(old));
        int newsize = static_cast<int>(fresh->eptr - reinterpret_cast<char *>(fresh));
        xxerror('m', "xxnewbuf: old=0x%lx,oldsize=%d=0x%x,new=0x%lx,newsize=%d=0x%x,waste=%ld",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(old)), oldsize,
                static_cast<unsigned>(oldsize),
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(fresh)), newsize,
                static_cast<unsigned>(newsize), static_cast<long>(waste));
    }
}

// Text needs no alignment, so it is packed right behind the previous object: most strings are
// short and rounding each one up to a record boundary cost a large share of the buffer.
char *xxalchars(membuf **buf, std::size_t size) {
    RoutineScope scope("xxalmem");
    if (buf == nullptr) {
        void *p = std::malloc(size != 0 ? size : 1);
        if (p == nullptr) xxerror('f', "Out of memory");
        return static_cast<char *>(p);
    }
    if (size > SIZE_MAX - ALMEM_SLACK - RECALIGN) {
        xxerr("f", "Object is too large to fit in membuf");
        return nullptr;
    }
    membuf *b = *buf;
    if (b == nullptr || b->ptr >= b->eptr ||
        static_cast<std::size_t>(b->eptr - b->ptr) < size + ALMEM_SLACK) {
        xxnewbuf(buf, size + ALMEM_SLACK);
        b = *buf;
        if (b == nullptr || b->ptr >= b->eptr ||
            static_cast<std::size_t>(b->eptr - b->ptr) < size + ALMEM_SLACK)
            return nullptr;
    }
    char *p = b->ptr;
    b->ptr = p + size;
    return p;
}

void *xxalmem(membuf **buf, std::size_t size) {
    RoutineScope scope("xxalmem");
    if (buf == nullptr) {
        void *p = std::malloc(size != 0 ? size : 1);
        if (p == nullptr) xxerror('f', "Out of memory");
        return p;
    }
    if (size > SIZE_MAX - ALMEM_SLACK - RECALIGN) {
        xxerr("f", "Object is too large to fit in membuf");
        return nullptr;
    }
    if (!fits(*buf, size)) {
        xxnewbuf(buf, size + ALMEM_SLACK);
        // Still no room only when the growth failed and -xxnofatal let the run go on.
        if (!fits(*buf, size)) return nullptr;
    }
    membuf *b = *buf;
    char *p = nextobj(b);
    b->ptr = p + size;
    return p;
}

void *xxcalmem(membuf **buf, std::size_t size) {
    RoutineScope scope("xxcalmem");
    if (size > SIZE_MAX - 1) {
        xxerr("f", "Object is too large to fit in membuf");
        return nullptr;
    }
    size = (size + 1) & ~static_cast<std::size_t>(1);
    void *p = xxalmem(buf, size);
    if (p != nullptr) std::memset(p, 0, size);
    return p;
}

void *xxalsolo(std::size_t size) {
    if (xxalbuf == nullptr) xxbufinit(&xxalbuf, ALBUF_BLOCK);
    membuf *cur = xxalbuf;
    if (cur == nullptr) return nullptr;
    if (size > SIZE_MAX - MEMBUF_HDR) {
        xxerr("f", "Object is too large to fit in membuf");
        return nullptr;
    }
    void *mem = std::calloc(MEMBUF_HDR + size, 1);
    if (mem == nullptr) {
        xxerr("f", "OUT OF MEMORY !!!");
        return nullptr;
    }
    // The block is full from the start, so it never takes other objects; standing in front of
    // the current block, it is reached when the chain is released from its first block.
    auto *b = static_cast<membuf *>(mem);
    b->ptr = b->eptr = area(b) + size;
    b->next = cur;
    b->prev = cur->prev;
    if (cur->prev != nullptr) cur->prev->next = b;
    cur->prev = b;
    return area(b);
}

void *xxcalbig(std::size_t size) {
    return size <= ALBUF_MAXREQ ? xxcalmem(&xxalbuf, size) : xxalsolo(size);
}

char *xxalstr(membuf **buf, const char *s) {
    RoutineScope scope("xxalstr");
    if (s == nullptr) s = "";
    std::size_t n = std::strlen(s) + 1;
    if (n > MAXSTRLEN) {
        xxerror('i', "String too long: %s", s);
        return nullptr;
    }
    char *p = xxalchars(buf, n);
    if (p != nullptr) std::memcpy(p, s, n);
    return p;
}

} // namespace kdx
