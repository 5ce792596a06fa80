// partlist_collect.cpp - collection and counting of the parts of a design hierarchy.
//
// Two walks over the loaded hierarchy: countsheets counts how often every sub-sheet is placed,
// listsheets then lists each sheet once, its quantities multiplied by its placements. Parts are
// counted into the five category lists and Other by their part name and property text; the
// sheet list holds the placement counts. All lists are released at the end of each sheet or by
// the run's clean-up.
//
// A sheet placed many times is walked at every placement, and each placement asks the library
// the same questions of the same, unchanging design; the answers are kept per net for the walks
// of one run (sheetcache) and the sheet list keeps an index by sheet name for subcount. While the
// library traces its routines, the walks ask the library every time, so the trace stays whole.
#include "partlistint.h"

#include "kdx.h"
#include "cfstring.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace partlist {

namespace {

inline constexpr int NET_DESIGN = 0x0008;    // net flags: read from a design file
inline constexpr int NET_SCHEMATIC = 0x0100; // net flags: read from a schematic file
inline constexpr int SYM_PRIMITIVE = 0x0004; // symbol flags: a primitive part
inline constexpr int PROPTBL_NODEF = 0x0400; // xxproptbl: only the symbol's own search order

// Category names as the map and the report spell them.
constexpr const char *categorynames[NCATEGORIES] = {
    "Distributed", // d
    "Control",     // c
    "Discrete",    // i
    "Functional",  // s
    "Electrical",  // e
};

struct CollectState {
    ListHead *other;            // the blocks of the current sheet
    ListHead *sheets;           // placement counts of the sub-sheets
    bool sheetsindexed;         // sheetindex() matches the sheet list
    const char *parent;         // name of the sheet that places the one being walked
    char propbuf[PROPKEY_SIZE]; // propkey's result
};

constinit CollectState state{};

// The walk's own path, so that a hierarchy that places itself cannot recurse without end (the
// load refuses such a design; this only guards the walk).
std::vector<kdx::net *> &walkpath() {
    static std::vector<kdx::net *> path;
    return path;
}

bool isprimitive(kdx::symbol *s) {
    return (kdx::xxflags(s) & SYM_PRIMITIVE) != 0;
}

kdx::net *hierarchical(kdx::symbol *s) {
    return isprimitive(s) ? nullptr : kdx::xxsymnetdescr(s);
}

// What the walks learn of one net; each part is filled when first asked for.
struct SheetInfo {
    bool haveflags = false;
    bool havename = false;
    bool havekey = false;
    bool havesyms = false;
    int flags = 0;                                          // xxflags of the net
    const char *name = nullptr;                             // its sheet name
    const char *key = nullptr;                              // its file key
    int count = 0;                                          // symbols from xxsymtbl
    std::unique_ptr<kdx::symbol *[], cf::FreeDeleter> syms; // xxsymtbl's array
    std::vector<bool> prim;                                 // per symbol: primitive
    // Its hierarchical symbols and the nets they instantiate, in symbol order.
    std::vector<std::pair<kdx::symbol *, kdx::net *>> children;
};

// The answers of the library for the walks of one run; emptied by freecollect. Made on first
// use rather than at load, so the library has no static constructor.
std::unordered_map<kdx::net *, SheetInfo> &sheetcache() {
    static std::unordered_map<kdx::net *, SheetInfo> cache;
    return cache;
}

void dropcache() {
    sheetcache().clear();
}

// Null while the library traces its routine entries: then every question goes to it again.
SheetInfo *cached(kdx::net *n) {
    if (kdx::xxtracing()) return nullptr;
    return &sheetcache()[n];
}

// One answer of the library about a net: asked once per run and kept in its SheetInfo (asked
// every time while the library traces).
template <class T, class Ask>
T remembered(kdx::net *n, bool SheetInfo::*have, T SheetInfo::*value, Ask ask) {
    SheetInfo *info = cached(n);
    if (info == nullptr) return ask(n);
    if (!(info->*have)) {
        info->*value = ask(n);
        info->*have = true;
    }
    return info->*value;
}

int netflags(kdx::net *n) {
    return remembered(n, &SheetInfo::haveflags, &SheetInfo::flags,
                      [](kdx::net *net) { return kdx::xxflags(net); });
}

// Only nets read from a design or a schematic file take part in the walks.
bool walkable(kdx::net *n) {
    return n != nullptr && (netflags(n) & (NET_DESIGN | NET_SCHEMATIC)) != 0;
}

const char *asksheetname(kdx::net *n) {
    const char *name = kdx::xxnetname(n, 0);
    return name != nullptr ? name : "";
}

const char *sheetname(kdx::net *n) {
    return remembered(n, &SheetInfo::havename, &SheetInfo::name, asksheetname);
}

// The file key of a sub-sheet: its file path behind the first separator (the whole path when
// it has none).
const char *askfilekey(kdx::net *n) {
    const char *file = kdx::xxpropfval(kdx::xxfindprop(n, "file", 0));
    if (file == nullptr) return "";
    for (const char *p = file; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/') return p + 1;
    return file;
}

const char *filekey(kdx::net *n) {
    return remembered(n, &SheetInfo::havekey, &SheetInfo::key, askfilekey);
}

// The symbols of a net as the walks take them (xxsymtbl with no filter and the flags 0), with
// what the walks ask of each: primitive, or the net it instantiates.
class SymbolArray {
  public:
    explicit SymbolArray(kdx::net *n) {
        info_ = cached(n);
        if (info_ == nullptr) {
            count = kdx::xxsymtbl(n, &syms, nullptr, 0);
            return;
        }
        if (!info_->havesyms) fill(n);
        syms = info_->syms.get();
        count = info_->count;
    }
    ~SymbolArray() {
        if (info_ == nullptr) std::free(syms);
    }
    SymbolArray(const SymbolArray &) = delete;
    SymbolArray &operator=(const SymbolArray &) = delete;

    bool primitive(int i) const {
        return info_ != nullptr ? static_cast<bool>(info_->prim[static_cast<std::size_t>(i)])
                                : isprimitive(syms[i]);
    }
    // Calls visit with each hierarchical symbol and the net it instantiates, in symbol order.
    // Without the per-run answers each symbol is asked just before its net is visited, as the
    // walks always asked.
    template <class Visit> void eachchild(Visit &&visit) const {
        if (info_ != nullptr) {
            for (const auto &[sym, child] : info_->children)
                visit(sym, child);
            return;
        }
        for (int i = 0; i < count; ++i)
            if (kdx::net *child = hierarchical(syms[i])) visit(syms[i], child);
    }

    kdx::symbol **syms = nullptr;
    int count = 0;

  private:
    void fill(kdx::net *n) {
        kdx::symbol **array = nullptr;
        info_->count = kdx::xxsymtbl(n, &array, nullptr, 0);
        info_->syms.reset(array);
        info_->havesyms = true;
        const auto size = static_cast<std::size_t>(info_->count);
        info_->prim.resize(size);
        for (std::size_t i = 0; i < size; ++i) {
            kdx::symbol *s = info_->syms[i];
            info_->prim[i] = isprimitive(s);
            if (!info_->prim[i])
                if (kdx::net *child = kdx::xxsymnetdescr(s)) info_->children.emplace_back(s, child);
        }
    }

    SheetInfo *info_ = nullptr;
};

using SheetIndex = std::unordered_map<std::string_view, std::vector<SheetEntry *>>;

// The entries of the sheet list by their key up to the first '.', each group in list order. The
// keys view the entries' own texts. Made on first use rather than at load.
SheetIndex &sheetindexstore() {
    static SheetIndex index;
    return index;
}

SheetIndex &sheetindex() {
    SheetIndex &index = sheetindexstore();
    if (!state.sheetsindexed) {
        index.clear();
        if (state.sheets != nullptr) {
            for (ListEntry *e = state.sheets->next; e != state.sheets; e = e->next) {
                std::string_view key(e->key);
                index[key.substr(0, key.find('.'))].push_back(static_cast<SheetEntry *>(e));
            }
        }
        state.sheetsindexed = true;
    }
    return index;
}

// Copies src into dst (size bytes), cut to fit.
void copytext(char *dst, std::size_t size, const char *src) {
    const std::size_t len = strnlen(src, size - 1);
    std::memcpy(dst, src, len);
    dst[len] = '\0';
}

// A primitive part as the walk met it: what the library said of it, kept as texts of the job
// (the library hands its answers out in buffers it reuses).
struct MetPart {
    kdx::symbol *symbol;
    std::ptrdiff_t name;  // offset of the part name in the job's texts; -1: the library had none
    std::ptrdiff_t props; // offset of its property text
    std::ptrdiff_t inst;  // offset of its instance name; -1: not asked (no export of groups)
};

// A sub-sheet placed by a listed sheet, for the export: offsets of its texts in the job's.
struct MetChild {
    std::ptrdiff_t inst;
    std::ptrdiff_t key;
    kdx::net *sub;
};

// What a sheet prints: its heading, its category lists in the order of the letters, then the
// rest (the parts of no category, or the sub-sheet blocks). The walk asks the library about
// the parts; the printing helper counts them into the lists (by the description map) and
// prints those. Owns the lists.
class SheetPrint final : public PrintJob {
  public:
    SheetPrint() = default;
    SheetPrint(const SheetPrint &) = delete;
    SheetPrint &operator=(const SheetPrint &) = delete;
    ~SheetPrint() override {
        for (ListHead *&list : category)
            freelist(&list);
        freelist(&other);
    }

    // Notes a part of the sheet with the library's answers: its part name, property text and
    // (for the export) instance name.
    void meet(kdx::symbol *symbol, const char *name, const char *props, const char *inst) {
        parts.push_back(MetPart{symbol, keep(name), keep(props), keep(inst)});
    }

    // Notes a sub-sheet of the sheet for the export.
    void place(const char *inst, const char *key, kdx::net *sub) {
        children.push_back(MetChild{keep(inst), keep(key), sub});
    }

    void print() override {
        count();
        if (!heading.empty()) printsheet(heading.c_str());
        for (char letter : letters) {
            const int c = lettercategory(letter);
            if (c < 0) continue;
            makeprint(category[c]);
            if (listhasentries(category[c])) printout(categorynames[c]);
            freeprint();
        }
        // A sheet's rest is printed when it has entries; a block list is always passed on.
        if (blocks || listhasentries(other)) {
            makeprint(other);
            printout("");
            freeprint();
        }
    }

    kdx::net *net = nullptr;              // the sheet
    std::string heading;                  // the sheet heading; none for a block list
    std::string letters;                  // the -f letters
    int mult = 0;                         // the sheet's placements; 0 counts as 1
    ListHead *category[NCATEGORIES] = {}; // the parts per category
    ListHead *other = nullptr;            // the rest
    bool blocks = false;                  // `other` is the block list of a sheet

    // Hands what the sheet holds to the export. On the walk's thread, before the job is handed
    // over: the printing helper is the busier of the two while sheets are listed.
    void exportall() {
        if (!heading.empty()) {
            std::vector<ExportPart> met;
            met.reserve(parts.size());
            for (const MetPart &m : parts)
                met.push_back(ExportPart{text(m.inst), text(m.name), text(m.props)});
            exportsheet(net, heading.c_str(), mult, letters.c_str(), met.data(), met.size());
        }
        if (!children.empty()) {
            std::vector<ExportChild> met;
            met.reserve(children.size());
            for (const MetChild &c : children)
                met.push_back(ExportChild{text(c.inst), text(c.key), c.sub});
            exportblocks(net, mult, met.data(), met.size());
        }
    }

  private:
    // Keeps a copy of a text of the library's among the job's texts; -1 for none.
    std::ptrdiff_t keep(const char *text) {
        if (text == nullptr) return -1;
        const auto at = static_cast<std::ptrdiff_t>(texts.size());
        texts.append(text).push_back('\0');
        return at;
    }

    const char *text(std::ptrdiff_t at) const { return at >= 0 ? texts.data() + at : nullptr; }

    // Counts the parts met into the category lists and the rest.
    void count() {
        char descr[LOOKUP_DESCR_SIZE];
        for (const MetPart &m : parts) {
            const char *name = text(m.name);
            const char *props = text(m.props);
            const char *cat = lookupMap(name, descr);
            const int c = categoryindex(cat);
            auto *e = static_cast<PartEntry *>(
                addlisttext(c >= 0 ? &category[c] : &other, name, sizeof(PartEntry), props));
            if (e == nullptr) continue;
            e->symbol = m.symbol;
            // The report keeps at most DESCR_SIZE - 1 characters of a description.
            if (cat != nullptr) copytext(e->description, DESCR_SIZE, descr);
            e->count += mult != 0 ? mult : 1;
            copytext(e->properties, PROPTEXT_SIZE, props);
        }
        parts.clear();
    }

    std::vector<MetPart> parts;     // the parts met, in symbol order
    std::vector<MetChild> children; // the sub-sheets met, in symbol order (export only)
    std::string texts;              // their names, property texts and instance names
};

// The routine trace (-xxtrace, -xxbegin) shows the run's own questions to the library; the
// export's stay out of it, so the log is the same with and without the export.
class UntracedScope {
  public:
    UntracedScope()
        : trace_(std::exchange(kdx::xxoptions().trace, 0)),
          begin_(std::exchange(kdx::xxoptions().begin, 0)) {}
    ~UntracedScope() {
        kdx::xxoptions().trace = trace_;
        kdx::xxoptions().begin = begin_;
    }
    UntracedScope(const UntracedScope &) = delete;
    UntracedScope &operator=(const UntracedScope &) = delete;

  private:
    int trace_;
    int begin_;
};

// The instance name of a symbol, asked only when the export needs it.
const char *instancename(kdx::symbol *s) {
    if ((exportmode() & EXPORT_GROUPS) == 0) return nullptr;
    UntracedScope untraced;
    const char *name = kdx::xxsymname(s, 0);
    return name != nullptr ? name : "";
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

bool onpath(kdx::net *n) {
    const auto &path = walkpath();
    return std::find(path.begin(), path.end(), n) != path.end();
}

// A fatal error in the walk runs the clean-up (which empties the path) before it unwinds the
// walk's steps: a step finds the path empty then.
struct PathStep {
    explicit PathStep(kdx::net *n) { walkpath().push_back(n); }
    ~PathStep() {
        if (!walkpath().empty()) walkpath().pop_back();
    }
    PathStep(const PathStep &) = delete;
    PathStep &operator=(const PathStep &) = delete;
};

} // namespace

const char *categoryname(int category) {
    return category >= 0 && category < NCATEGORIES ? categorynames[category] : "";
}

int categoryindex(const char *category) {
    if (category == nullptr) return -1;
    for (int i = 0; i < NCATEGORIES; ++i)
        if (cf::strcieql(category, categorynames[i])) return i;
    return -1;
}

int lettercategory(char letter) {
    switch (letter) {
    case 'c':
        return Control;
    case 'd':
        return Distributed;
    case 'e':
        return Electrical;
    case 'i':
        return Discrete;
    case 's':
        return Functional;
    default:
        return -1;
    }
}

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
    auto &index = sheetindex();
    auto group = index.find(std::string_view(sheet));
    if (group == index.end()) return 0;
    for (SheetEntry *se : group->second) {
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

    auto job = std::make_unique<SheetPrint>();
    job->net = n;
    job->mult = mult;
    SymbolArray syms(n);
    for (int i = 0; i < syms.count; ++i) {
        kdx::symbol *s = syms.syms[i];
        if (!syms.primitive(i)) continue;
        trace("xxsympart", s);
        const char *part = kdx::xxsympart(s);
        trace("addlist", s);
        // The instance name is copied at once: the library's answers live in buffers that its
        // next answers may reuse.
        const char *asked = instancename(s);
        const std::string inst = asked != nullptr ? asked : "";
        job->meet(s, part, propkey(s), asked != nullptr ? inst.c_str() : nullptr);
        // The entry's property text is rebuilt from the symbol after the look-up by key; it is
        // the key itself, so the table is asked again only when the library's trace shows it.
        if (kdx::xxtracing()) propkey(s);
    }

    job->heading = sheet;
    if (job->heading.find(".sch") == std::string::npos) job->heading += ".sch";
    job->letters = categoryletters();
    if (exportmode() != 0) job->exportall();
    queueprint(std::move(job));
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
    // The export learns which sub-sheet each instance places, with the job of the blocks.
    std::unique_ptr<SheetPrint> placed;
    if (mode == 0 && (exportmode() & EXPORT_GROUPS) != 0) placed = std::make_unique<SheetPrint>();
    syms.eachchild([mode, mult, &placed](kdx::symbol *sym, kdx::net *child) {
        const char *key = filekey(child);
        if (placed != nullptr) placed->place(instancename(sym), key, child);
        if (mode == 1) {
            auto *e = static_cast<SheetEntry *>(
                addlist(&state.sheets, key, sizeof(SheetEntry), 0, nullptr));
            state.sheetsindexed = false;
            if (e != nullptr) e->count += 1;
        } else {
            auto *e =
                static_cast<PartEntry *>(addlist(&state.other, key, sizeof(PartEntry), 0, nullptr));
            if (e != nullptr) e->count += mult != 0 ? mult : 1;
        }
    });

    traceplain("makeprint");
    traceplain("printout");
    // Without a block list there is nothing to print (the counting walk never has one), and a
    // job per placement would cost the walk more than the printing saves.
    if (state.other == nullptr) return;
    auto job = placed != nullptr ? std::move(placed) : std::make_unique<SheetPrint>();
    job->net = n;
    job->mult = mult;
    job->other = std::exchange(state.other, nullptr);
    job->blocks = true;
    if (exportmode() != 0) job->exportall();
    queueprint(std::move(job));
}

void countsheets(kdx::net *n) {
    if (!walkable(n) || onpath(n)) return;
    SymbolArray syms(n);
    if (syms.count == 0) return;
    PathStep step(n);
    addblocks(n, 1, nullptr);
    syms.eachchild([n](kdx::symbol *, kdx::net *child) {
        state.parent = sheetname(n);
        countsheets(child);
    });
}

void listsheets(kdx::net *n) {
    if (!walkable(n) || onpath(n)) return;
    SymbolArray syms(n);
    if (syms.count == 0) return;
    PathStep step(n);
    addparts(n, state.parent);
    addblocks(n, 0, state.parent);
    syms.eachchild([n](kdx::symbol *, kdx::net *child) {
        state.parent = sheetname(n);
        listsheets(child);
    });
}

void clearparent() {
    state.parent = nullptr;
}

void freecollect() {
    freelist(&state.other);
    freelist(&state.sheets);
    sheetindexstore().clear();
    state.sheetsindexed = false;
    state.parent = nullptr;
    walkpath().clear();
    dropcache();
}

} // namespace partlist
