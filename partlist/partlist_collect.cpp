// partlist_collect.cpp - collection and counting of the parts of a design hierarchy.
//
// Two walks over the loaded hierarchy: countsheets counts how often every sub-sheet is placed,
// listsheets then lists each sheet once, its quantities multiplied by its placements. Parts are
// counted into the five category lists and Other by their part name and property text; the
// sheet list holds the placement counts. All lists are released at the end of each sheet or by
// the run's clean-up.
#include "partlistint.h"

#include "kdx.h"
#include "cfstring.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace partlist {

namespace {

inline constexpr int NET_DESIGN = 0x0008;    // net flags: read from a design file
inline constexpr int NET_SCHEMATIC = 0x0100; // net flags: read from a schematic file
inline constexpr int SYM_PRIMITIVE = 0x0004; // symbol flags: a primitive part
inline constexpr int PROPTBL_NODEF = 0x0400; // xxproptbl: only the symbol's own search order

// The category lists in the order of their letters' meaning; Other takes the rest.
enum Category { Distributed, Control, Discrete, Functional, Electrical, NCATEGORIES };

// Category names as the map and the report spell them.
constexpr const char *categoryname[NCATEGORIES] = {
    "Distributed", // d
    "Control",     // c
    "Discrete",    // i
    "Functional",  // s
    "Electrical",  // e
};

struct CollectState {
    ListHead *category[NCATEGORIES]; // parts of the current sheet per category
    ListHead *other;                 // uncategorised parts and the blocks of the current sheet
    ListHead *sheets;                // placement counts of the sub-sheets
    char descr[LOOKUP_DESCR_SIZE];   // what lookupMap filled last
    const char *parent;              // name of the sheet that places the one being walked
    char propbuf[PROPKEY_SIZE];      // propkey's result
};

constinit CollectState state{};

// The walk's own path, so that a hierarchy that places itself cannot recurse without end (the
// load refuses such a design; this only guards the walk).
std::vector<kdx::net *> &walkpath() {
    static std::vector<kdx::net *> path;
    return path;
}

struct SymbolArray {
    kdx::symbol **syms = nullptr; // malloc'ed by xxsymtbl
    int count = 0;

    explicit SymbolArray(kdx::net *n) { count = kdx::xxsymtbl(n, &syms, nullptr, 0); }
    ~SymbolArray() { std::free(syms); }
    SymbolArray(const SymbolArray &) = delete;
    SymbolArray &operator=(const SymbolArray &) = delete;
};

// Only nets read from a design or a schematic file take part in the walks.
bool walkable(kdx::net *n) {
    return n != nullptr && (kdx::xxflags(n) & (NET_DESIGN | NET_SCHEMATIC)) != 0;
}

bool primitive(kdx::symbol *s) {
    return (kdx::xxflags(s) & SYM_PRIMITIVE) != 0;
}

kdx::net *hierarchical(kdx::symbol *s) {
    return primitive(s) ? nullptr : kdx::xxsymnetdescr(s);
}

const char *sheetname(kdx::net *n) {
    const char *name = kdx::xxnetname(n, 0);
    return name != nullptr ? name : "";
}

// The file key of a sub-sheet: its file path behind the first separator (the whole path when
// it has none).
const char *filekey(kdx::net *n) {
    const char *file = kdx::xxpropfval(kdx::xxfindprop(n, "file", 0));
    if (file == nullptr) return "";
    for (const char *p = file; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/') return p + 1;
    return file;
}

ListHead **categorylist(const char *category) {
    if (category == nullptr) return &state.other;
    for (int i = 0; i < NCATEGORIES; ++i)
        if (cf::strcieql(category, categoryname[i])) return &state.category[i];
    return &state.other;
}

ListHead **letterlist(char letter, const char **name) {
    int c;
    switch (letter) {
    case 'c':
        c = Control;
        break;
    case 'd':
        c = Distributed;
        break;
    case 'e':
        c = Electrical;
        break;
    case 'i':
        c = Discrete;
        break;
    case 's':
        c = Functional;
        break;
    default:
        return nullptr;
    }
    *name = categoryname[c];
    return &state.category[c];
}

void trace(const char *what, kdx::symbol *s) {
    if (runopts().debug) {
        const char *name = kdx::xxsymname(s, 0);
        kdx::xxerror('m', "Calling %s for %s", what, name != nullptr ? name : "");
    }
}

void traceplain(const char *what) {
    if (runopts().debug) kdx::xxerror('m', "Calling %s", what);
}

// Copies src into dst (size bytes), cut to fit.
void copytext(char *dst, std::size_t size, const char *src) {
    const std::size_t len = strnlen(src, size - 1);
    std::memcpy(dst, src, len);
    dst[len] = '\0';
}

bool onpath(kdx::net *n) {
    const auto &path = walkpath();
    return std::find(path.begin(), path.end(), n) != path.end();
}

struct PathStep {
    explicit PathStep(kdx::net *n) { walkpath().push_back(n); }
    ~PathStep() { walkpath().pop_back(); }
    PathStep(const PathStep &) = delete;
    PathStep &operator=(const PathStep &) = delete;
};

} // namespace

const char *propkey(kdx::symbol *sym) {
    char *buf = state.propbuf;
    buf[0] = '\0';
    // A part entry holds at most PROPTEXT_SIZE - 1 characters; a wider column stops there.
    const int width = std::min(runopts().proplen, static_cast<int>(PROPTEXT_SIZE) - 1);
    kdx::prop **table = nullptr;
    int n = kdx::xxproptbl(sym, &table, nullptr, PROPTBL_NODEF);
    std::size_t len = 0;
    for (int i = 2; i < n; ++i) {
        const char *value = kdx::xxpropval(table[i]);
        if (value == nullptr) continue;
        std::size_t vlen = std::strlen(value);
        if (static_cast<long>(len + vlen) < width) {
            std::memcpy(buf + len, value, vlen);
            len += vlen;
            buf[len++] = ';';
            buf[len] = '\0';
        }
    }
    if (n > 0) std::free(table);
    return buf;
}

int subcount(const char *sheet, int *visits, const char *parent) {
    if (state.sheets == nullptr || parent == nullptr) return 0;
    int count = 0;
    const std::size_t len = std::strlen(sheet);
    for (ListEntry *e = state.sheets->next; e != state.sheets; e = e->next) {
        const char *dot = std::strchr(e->key, '.');
        std::size_t keylen =
            dot != nullptr ? static_cast<std::size_t>(dot - e->key) : std::strlen(e->key);
        if (keylen != len || std::strncmp(e->key, sheet, len) != 0) continue;
        auto *se = static_cast<SheetEntry *>(e);
        if (se->visit == 2) {
            *visits += 2;
            return count;
        }
        count = se->count;
        se->visit = se->visit == 1 ? 2 : 1;
        *visits += 1;
    }
    return count;
}

void addparts(kdx::net *n, const char *parent) {
    if (!walkable(n)) return;
    const char *sheet = sheetname(n);
    int visits = 0;
    const int mult = subcount(sheet, &visits, parent);
    if (visits >= 2) return;

    SymbolArray syms(n);
    for (int i = 0; i < syms.count; ++i) {
        kdx::symbol *s = syms.syms[i];
        if (!primitive(s)) continue;
        trace("xxsympart", s);
        const char *part = kdx::xxsympart(s);
        trace("addlist", s);
        const char *category = lookupMap(part, state.descr);
        auto *e = static_cast<PartEntry *>(
            addlist(categorylist(category), part, sizeof(PartEntry), 0, s));
        if (e == nullptr) continue;
        e->symbol = s;
        // The report keeps at most DESCR_SIZE - 1 characters of a description.
        if (category != nullptr)
            copytext(e->description, DESCR_SIZE, state.descr);
        e->count += mult != 0 ? mult : 1;
        // addlist has just built this symbol's property text; the entry takes it over.
        copytext(e->properties, PROPTEXT_SIZE, state.propbuf);
    }

    std::string heading = sheet;
    if (heading.find(".sch") == std::string::npos) heading += ".sch";
    printsheet(heading.c_str());

    for (const char *l = categoryletters(); *l != '\0'; ++l) {
        const char *name = nullptr;
        ListHead **list = letterlist(*l, &name);
        if (list == nullptr) continue;
        makeprint(*list);
        if (listhasentries(*list)) printout(name);
        freeprint();
    }
    if (listhasentries(state.other)) {
        makeprint(state.other);
        printout("");
        freeprint();
        freelist(&state.other);
    }
    for (auto &list : state.category)
        freelist(&list);
}

void addblocks(kdx::net *n, int mode, const char *parent) {
    if (!walkable(n)) return;
    const char *sheet = sheetname(n);
    int mult = 0;
    if (mode == 0) {
        int visits = 0;
        mult = subcount(sheet, &visits, parent);
        if (visits >= 2) return;
    }

    SymbolArray syms(n);
    for (int i = 0; i < syms.count; ++i) {
        kdx::net *child = hierarchical(syms.syms[i]);
        if (child == nullptr) continue;
        const char *key = filekey(child);
        if (mode == 1) {
            auto *e = static_cast<SheetEntry *>(
                addlist(&state.sheets, key, sizeof(SheetEntry), 0, nullptr));
            if (e != nullptr) e->count += 1;
        } else {
            auto *e =
                static_cast<PartEntry *>(addlist(&state.other, key, sizeof(PartEntry), 0, nullptr));
            if (e != nullptr) e->count += mult != 0 ? mult : 1;
        }
    }

    traceplain("makeprint");
    makeprint(state.other);
    traceplain("printout");
    printout("");
    freelist(&state.other);
    freeprint();
}

void countsheets(kdx::net *n) {
    if (!walkable(n) || onpath(n)) return;
    SymbolArray syms(n);
    if (syms.count == 0) return;
    PathStep step(n);
    addblocks(n, 1, nullptr);
    for (int i = 0; i < syms.count; ++i) {
        kdx::net *child = hierarchical(syms.syms[i]);
        if (child == nullptr) continue;
        state.parent = sheetname(n);
        countsheets(child);
    }
}

void listsheets(kdx::net *n) {
    if (!walkable(n) || onpath(n)) return;
    SymbolArray syms(n);
    if (syms.count == 0) return;
    PathStep step(n);
    addparts(n, state.parent);
    addblocks(n, 0, state.parent);
    for (int i = 0; i < syms.count; ++i) {
        kdx::net *child = hierarchical(syms.syms[i]);
        if (child == nullptr) continue;
        state.parent = sheetname(n);
        listsheets(child);
    }
}

void clearparent() {
    state.parent = nullptr;
}

void freecollect() {
    for (auto &list : state.category)
        freelist(&list);
    freelist(&state.other);
    freelist(&state.sheets);
    state.parent = nullptr;
    walkpath().clear();
}

} // namespace partlist
