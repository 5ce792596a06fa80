// util.cpp - the object buffers (membuf) and the allocation entry points.
//
// "xxalbuf" is a chain of fixed-size blocks whose records never move; the four scratch buffers
// are single blocks that grow by reallocation. Owns the five buffer variables.
#include "kdxint.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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
    membuf *old = *buf;
    if (old != nullptr && usable(old) >= size) {
        old->ptr = area(old);
        return;
    }
    std::size_t total = size + MEMBUF_SLACK + MEMBUF_HDR;
    // Made before the old block is let go, so a failure leaves the buffer as it was.
    void *mem = size <= SIZE_MAX - MEMBUF_SLACK - MEMBUF_HDR ? std::calloc(total, 1) : nullptr;
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
        std::free(old);
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
    void *mem = std::realloc(old, total);
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
    xxbufinit(&fresh, ALBUF_BLOCK);
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
