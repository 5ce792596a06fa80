// symtbl.cpp - the symbol list of a net for the part list, and the small text lists of the
// library (null-terminated heap arrays of heap texts).
//
// No state: every list belongs to its caller.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>

namespace kdx {

namespace {

inline constexpr int SYMTBL_STEP = 1024; // the symbol array grows by this many entries

} // namespace

int xxsymtbl(void *obj, symbol ***array_out, int (*filter)(symbol *), int flags) {
    RoutineScope scope("xxsymtbl");
    if (array_out) *array_out = nullptr;
    if (!obj) {
        xxerr("re", "NULL object parameter");
        return 0;
    }
    // Every symbol of one net shares the net's file, so it is looked up once.
    const char *file = nullptr;
    if (rectype(obj) == objtype::net) file = xxpropval(xxfindprop(obj, "file", 0));

    symbol **array = nullptr;
    int capacity = 0;
    int count = 0;
    symbol *sym = nullptr;
    while (xxnsym(obj, &sym)) {
        if ((sym->flags & SYMF_FRAME) && !(flags & SYMTBL_FRAMES)) continue;
        if ((sym->flags & SYMF_CONNECTOR) && !(flags & SYMTBL_CONNECTORS)) continue;
        if (filter && !filter(sym)) continue;
        if (xxexcluded(sym->name, file)) continue;
        if (array_out && count == capacity) {
            auto bytes = static_cast<std::size_t>(capacity + SYMTBL_STEP) * sizeof(symbol *);
            auto *grown = static_cast<symbol **>(std::realloc(array, bytes));
            if (!grown) {
                std::free(array);
                xxerr("f", "OUT OF MEMORY !!!");
                return 0;
            }
            array = grown;
            capacity += SYMTBL_STEP;
        }
        if (array_out) array[count] = sym;
        ++count;
    }
    if (!array_out) return count;
    if (count == 0) {
        std::free(array);
        return 0;
    }
    if (count < capacity) {
        auto *exact = static_cast<symbol **>(
            std::realloc(array, static_cast<std::size_t>(count) * sizeof(symbol *)));
        if (!exact) {
            std::free(array);
            xxerr("f", "OUT OF MEMORY !!!");
            return 0;
        }
        array = exact;
    }
    *array_out = array;
    return count;
}

int xxaddlist(char ***list, const char *text) {
    RoutineScope scope("xxaddlist");
    if (!list || !text) return 0;
    std::size_t n = 0;
    if (*list) {
        for (; (*list)[n]; ++n) {
            if (std::strcmp((*list)[n], text) == 0) return 1;
        }
    }
    char *copy = cf::stralloc(text);
    auto *grown = static_cast<char **>(std::realloc(*list, (n + 2) * sizeof(char *)));
    if (!copy || !grown) {
        std::free(copy);
        if (grown) *list = grown;
        xxerr("f", "OUT OF MEMORY !!!");
        return 0;
    }
    grown[n] = copy;
    grown[n + 1] = nullptr;
    *list = grown;
    return 1;
}

char *xxgetlist(membuf **buf, char *const *list) {
    RoutineScope scope("xxgetlist");
    std::size_t len = 0;
    if (list) {
        for (char *const *p = list; *p; ++p)
            len += std::strlen(*p) + 1;
    }
    if (len == 0) len = 1;
    xxbufinit(buf, len);
    auto *out = static_cast<char *>(xxalmem(buf, len));
    if (!out) return nullptr;
    char *w = out;
    if (list) {
        for (char *const *p = list; *p; ++p) {
            if (p != list) *w++ = ',';
            std::size_t l = std::strlen(*p);
            std::memcpy(w, *p, l);
            w += l;
        }
    }
    *w = '\0';
    return out;
}

} // namespace kdx
