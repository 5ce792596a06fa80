// symif.cpp - checked access to symbols and symbol definitions: type checks, look-ups, names,
// the part name and iteration over the symbols of a net.
//
// The part name is composed in one process-wide heap buffer, released by xxsymfree; that buffer
// is the module's only state. The part list asks for the name of every part it counts, so the
// buffer is kept while the name fits and remade only to grow.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>

namespace kdx {

namespace {

struct SymifState {
    char *part;       // the last part name composed by xxsympart
    std::size_t size; // its size, terminator included
    std::size_t room; // bytes allocated for part
};

constinit SymifState S{};

} // namespace

int chksym(const void *obj, int accept) {
    QuietRoutineScope scope("chksym");
    if (!obj) {
        xxerr("er", "NULL symbol parameter");
        return 0;
    }
    objtype t = rectype(obj);
    if (t == objtype::symdef) {
        if (!(accept & 0x0a)) {
            xxerr("er", "parameter is a symbol definition, not a symbol");
            return 0;
        }
    } else if (t == objtype::symbol) {
        if (!(accept & 0x01)) {
            xxerr("er", "parameter is a symbol, not a symbol definition");
            return 0;
        }
    } else {
        xxerr("er", "parameter is not a symbol");
        return 0;
    }
    return static_cast<int>(t);
}

symbol *xxfsym(net *owner, const char *name, int /*flags*/) {
    RoutineScope scope("xxfsym");
    if (!name) {
        // A warning with the routine chain: the letters "wi" would make it an internal error
        // that ends the run.
        xxerr("wr", "null name to xxfsym()");
        return nullptr;
    }
    if (!owner) return nullptr;
    return static_cast<symbol *>(xxfindhash(owner->symtbl, name));
}

symdef *xxfindsymdef(void * /*owner*/, const char *name, int /*flags*/) {
    RoutineScope scope("xxfindsymdef");
    rootnet *root = xxgetroot();
    if (!root || !name) return nullptr;
    return static_cast<symdef *>(xxfindhash(root->symdefs, name));
}

symdef *xxsymdef(void *obj) {
    RoutineScope scope("xxsymdef");
    if (!chksym(obj, 0x01)) return nullptr;
    return static_cast<symbol *>(obj)->def;
}

net *xxsymnetdescr(void *obj) {
    RoutineScope scope("xxsymnetdescr");
    if (!chksym(obj, 0x01)) return nullptr;
    return static_cast<symbol *>(obj)->instnet;
}

const char *xxsymname(void *obj, int flags) {
    RoutineScope scope("xxsymname");
    if (!chksym(obj, 0x0b)) return nullptr;
    return xxname(obj, flags);
}

const char *xxsympart(void *obj) {
    RoutineScope scope("xxsympart");
    if (!chksym(obj, 0x0b)) return nullptr;
    static const char *const names[] = {"primitive", "prefix", "suffix"};
    SymPropLookup props(static_cast<symbol *>(obj), names, 3);
    const char *prim = xxpropval(props.find(0));
    const char *prefix = "";
    const char *suffix = "";
    if (prim && !cf::strcieql(prim, "*subedit*")) {
        if (const char *v = xxpropval(props.find(1))) prefix = v;
        if (const char *v = xxpropval(props.find(2))) suffix = v;
    } else {
        prim = "";
    }
    std::size_t lp = std::strlen(prefix);
    std::size_t lm = std::strlen(prim);
    std::size_t ls = std::strlen(suffix);

    S.size = lp + lm + ls + 1;
    if (S.size > S.room) {
        std::free(S.part);
        S.room = S.size < 64 ? 64 : S.size;
        S.part = static_cast<char *>(std::malloc(S.room));
        if (!S.part) {
            S.size = 0;
            S.room = 0;
            xxerr("f", "OUT OF MEMORY !!!");
            return "";
        }
    }
    std::memcpy(S.part, prefix, lp);
    std::memcpy(S.part + lp, prim, lm);
    std::memcpy(S.part + lp + lm, suffix, ls);
    S.part[S.size - 1] = '\0';
    return S.part;
}

void xxsymfree() {
    std::free(S.part);
    S.part = nullptr;
    S.size = 0;
    S.room = 0;
}

int xxnsym(void *owner, symbol **cursor) {
    QuietRoutineScope scope("xxnsym");
    if (!owner || rectype(owner) != objtype::net || !cursor ||
        (*cursor && rectype(*cursor) != objtype::symbol)) {
        xxerr("er", "invalid parameter");
        return 0;
    }
    if (*cursor)
        *cursor = (*cursor)->next;
    else
        *cursor = static_cast<net *>(owner)->firstsym;
    return *cursor != nullptr;
}

} // namespace kdx
