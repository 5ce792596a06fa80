// partlist_export.cpp - the part list as data: collected beside the report, written as CSV or JSON.
//
// The walk hands every listed sheet over here (partlist_collect): the sheet's parts with their
// instance names, and the sub-sheets it places. From that alone this module groups the parts as the
// report does, adds the groups up over the design, and names every placed part by its path of
// instances: each sheet's instances (parts and sub-sheets together) are put in natural order once,
// and one walk of the placements from the top then meets the parts in the order their references
// sort in, so no list of references is ever sorted.
//
// Threads: everything here runs on the run's thread, except the building of the references,
// which a helper starts while the run's thread writes the sheets and both finish (RefBuilder);
// see partlistint.h.
#include "partlistint.h"
#include "partlist_version.h"

#include "cfstring.h"
#include "platform/asyncfile.h"
#include "platform/worker.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace partlist {

namespace {

inline constexpr int NOCATEGORY = -1;
inline constexpr std::uint32_t NOROW = 0xFFFFFFFFu;
inline constexpr std::uint32_t BLOCKBIT = 0x80000000u; // Step::what: a sub-sheet

inline constexpr std::size_t WIDECOPY = 16; // see copywide; the pools of texts end in as many
using PathLength = std::uint32_t;

// A part of the design as its group keeps it: the placement of its sheet and its instance name.
// References run to millions and are written group by group, in no order of the sheets: a name
// kept in the reference itself is written without a look elsewhere. The name comes first, so
// that copywide's stride over a short one stays inside the reference.
inline constexpr std::size_t SHORTNAME = 7;
inline constexpr std::uint8_t LONGNAME = 0xFF; // Ref::len: `name` holds the text of a longer one
struct Ref {
    char name[SHORTNAME];
    std::uint8_t len;
    std::uint32_t placement; // where its placement's path is in the pool of paths
};
static_assert(sizeof(Ref) == 12 && SHORTNAME < WIDECOPY && offsetof(Ref, name) == 0);

// A text kept in the pool of texts (instance names run to hundreds of thousands: one string
// each would cost an allocation each).
struct Text {
    std::uint32_t at; // where it starts in the pool
    std::uint32_t len;
    bool plain; // needs neither CSV quoting nor JSON escaping
};
inline constexpr std::size_t OUTBUF_SIZE = 1 << 20; // bytes collected before each write

// One group over the whole design: a part name and its property text.
struct Group {
    std::string name; // UTF-8, as every text kept here
    std::string props;
    std::string category;    // the map's category (one of the five spelt as the report does)
    std::string description; // the map's description, whole
    int order = NOCATEGORY;  // its category's place among the -f letters; NOCATEGORY: the rest
    bool described = false;  // the map has a description for it
    long long quantity = 0;  // the sum of the sheets' quantities (kept in `tally` until written)
    std::string csv;         // its category, name, property and description as CSV fields
    std::string json;        // the same as the start of a JSON object
};

// A group (or a sub-sheet) as one listed sheet has it. Hundreds of thousands of them live at the
// end of a large design's walk, when the run's memory peaks: its quantity is worked out when
// written (quantity()) rather than kept.
struct Row {
    int group = 0;           // parts: the group
    std::uint32_t first = 0; // its instances in the listing's, [first, first + count)
    std::uint32_t count = 0;
};

// A row's instances times the placements that multiply them.
long long quantity(const Row &row, int placements) {
    return static_cast<long long>(row.count) * placements;
}

// One sheet as the report lists it.
struct Listing {
    kdx::net *net = nullptr;
    std::string sheet;
    int placements = 1;      // the sheet's, which multiply its parts
    int blockplacements = 1; // those that multiply its sub-sheets
    std::vector<Row> parts;
    std::vector<Row> blocks;
    std::vector<std::string> blockkeys; // per block row: the sub-sheet's file key
    std::vector<std::uint32_t> insts;   // instance names (texts), per row in natural order
};

// An instance of a sheet: a part (its group, or none when the report leaves it out) or a
// sub-sheet.
struct Child {
    std::uint32_t inst; // its instance name
    int group;
    kdx::net *sub;
};

// One instance of a sheet as the walk of the references meets it: a listed part with its group
// and its reference but for the placement, or a sub-sheet (BLOCKBIT and its place in `blocks`).
// Made once per sheet, so that the walk only copies a reference per placed part.
struct Step {
    std::uint32_t what;
    bool plain; // the instance name needs neither quoting nor escaping
    Ref ref;
};

// The instances of one sheet, from its first listing: its parts and its sub-sheets, each in
// natural order, and both together in that order for the references.
struct NetRecord {
    std::vector<Child> parts;
    std::vector<Child> blocks;
    std::vector<std::uint32_t> partplace;  // per part in symbol order: its place in `parts`
    std::vector<std::uint32_t> blockplace; // the same for the sub-sheets
    std::vector<Step> steps;               // parts and sub-sheets together in natural order
    std::vector<NetRecord *> subs;         // per sub-sheet: its record; null when not listed
    std::uint64_t placed = 0;              // placements of the sheet the walk meets
    bool haveparts = false;
    bool haveblocks = false;
    bool havesteps = false;
};

// The groups by their key (part name, '\0', property text): an open-addressed table of hashes,
// the keys one after the other in a pool. Every part of every listed sheet is looked up here,
// and a table that fits the processor's caches costs a fraction of a table of nodes.
inline constexpr std::uint32_t NOGROUP = 0xFFFFFFFFu;
inline constexpr std::size_t GROUPINDEX_FIRST = 1024; // slots at first; kept at most half full

struct GroupIndex {
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t group = NOGROUP;
    };
    std::vector<Slot> slots;
    std::string keys;               // the keys, one after the other
    std::vector<std::size_t> keyat; // per group: where its key starts in `keys`
    std::size_t used = 0;

    std::string_view key(std::uint32_t group) const {
        const std::size_t end = group + 1 < keyat.size() ? keyat[group + 1] : keys.size();
        return std::string_view(keys).substr(keyat[group], end - keyat[group]);
    }

    // The slot that holds `key`, or the empty slot where it goes.
    std::size_t find(std::uint64_t hash, std::string_view k) {
        if (slots.empty()) slots.resize(GROUPINDEX_FIRST);
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot &slot = slots[i];
            if (slot.group == NOGROUP || (slot.hash == hash && key(slot.group) == k)) return i;
        }
    }

    void insert(std::size_t at, std::uint64_t hash, std::string_view k, std::uint32_t group) {
        keyat.push_back(keys.size());
        keys.append(k);
        slots[at] = Slot{hash, group};
        if (++used * 2 <= slots.size()) return;
        std::vector<Slot> old(slots.size() * 2);
        old.swap(slots);
        const std::size_t mask = slots.size() - 1;
        for (const Slot &slot : old) {
            if (slot.group == NOGROUP) continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].group != NOGROUP)
                i = (i + 1) & mask;
            slots[i] = slot;
        }
    }
};

struct ExportState {
    unsigned mode = 0;
    bool complete = false;
    bool refsbuilt = false;
    bool padded = false; // `pool` ends in WIDECOPY bytes (see copywide)
    kdx::net *top = nullptr;
    std::vector<Group> groups;
    // What the collection asks of every part's group, apart from the groups' texts, so that it
    // stays in the processor's caches: whether the report lists it, and its quantity so far.
    std::vector<bool> listed;
    std::vector<long long> tally;
    // The references, group after group: group g's, in the order they sort, are refs[refat[g]]
    // up to refs[refat[g + 1]]; and per group whether none of them needs quoting or escaping
    // (made by RefBuilder, beside the writer's own work).
    std::unique_ptr<Ref[]> refs;
    std::vector<std::size_t> refat;
    std::vector<char> plainrefs;
    GroupIndex groupindex;
    std::string groupkey; // the key being looked up
    std::vector<Listing> listings;
    std::unordered_map<kdx::net *, NetRecord> nets;
    // Per placement of a sheet: its path from the top ("F2/U1/"), in the pool of paths as its
    // length (a PathLength) and its bytes; the pool is padded by WIDECOPY bytes. A reference
    // names its placement by where that starts, so that its path costs one look, not two.
    std::unique_ptr<char[]> pathpool;
    std::vector<std::uint32_t> rowofgroup; // exportsheet's table, NOROW between calls
    std::string pool;                      // the texts, one after the other
    std::vector<Text> texts;
    std::set<std::string> missing; // raw part names, byte order
};

// Made on first use rather than at load, so the library has no static constructor. The first
// use is always on the run's thread (setexport, exportmode), before any helper starts; the
// pointer keeps the look-ups of the hot loops (millions of references) to a load. Each run
// empties it (exportbegin); the last run's is left to the end of the process, as freeing
// millions of texts and references one by one would only lengthen the command's exit.
[[gnu::noinline]] ExportState &makestate() {
    static ExportState *state = new ExportState;
    return *state;
}

constinit ExportState *statep = nullptr;

inline ExportState &xs() {
    if (statep == nullptr) [[unlikely]]
        statep = &makestate();
    return *statep;
}

// ---- Texts ----

bool asciionly(std::string_view s) {
    unsigned char all = 0;
    for (char c : s)
        all |= static_cast<unsigned char>(c);
    return all < 0x80;
}

bool validutf8(std::string_view s) {
    return cf::isutf8(s.data(), s.size());
}

// The text as UTF-8: as it stands when it is UTF-8 already, else each byte read as Latin-1.
std::string utf8(std::string_view s) {
    if (validutf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() * 2);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string utf8(const char *s) {
    return utf8(std::string_view(s != nullptr ? s : ""));
}

// True when the text needs neither CSV quoting nor JSON escaping.
bool plaintext(std::string_view s) {
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == ',' || c == '"' || c == '\\') return false;
    }
    return true;
}

bool isdigitbyte(char c) {
    return c >= '0' && c <= '9';
}

// Natural order: runs of digits compare by their value (of any length), other bytes by their
// value; texts equal that way fall back to their bytes, so the order is total.
bool naturalless(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isdigitbyte(a[i]) && isdigitbyte(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isdigitbyte(a[ie]))
                ++ie;
            while (je < b.size() && isdigitbyte(b[je]))
                ++je;
            std::size_t is = i;
            std::size_t js = j;
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            if (ie - is != je - js) return ie - is < je - js;
            const int c = a.substr(is, ie - is).compare(b.substr(js, je - js));
            if (c != 0) return c < 0;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return j < b.size() && i >= a.size();
    return a < b;
}

// ---- Collecting ----

std::uint32_t keeptext(std::string_view text) {
    ExportState &s = xs();
    s.texts.push_back(Text{static_cast<std::uint32_t>(s.pool.size()),
                           static_cast<std::uint32_t>(text.size()), plaintext(text)});
    s.pool.append(text);
    return static_cast<std::uint32_t>(s.texts.size() - 1);
}

std::string_view textof(std::uint32_t text) {
    const ExportState &s = xs();
    const Text &t = s.texts[text];
    return std::string_view(s.pool.data() + t.at, t.len);
}

bool plainof(std::uint32_t text) {
    return xs().texts[text].plain;
}

// The place of each category among the letters (first letter first); NOCATEGORY when not chosen.
void letterorder(const char *letters, int order[NCATEGORIES]) {
    std::fill(order, order + NCATEGORIES, NOCATEGORY);
    int next = 0;
    for (const char *p = letters; p != nullptr && *p != '\0'; ++p) {
        const int c = lettercategory(*p);
        if (c >= 0 && order[c] == NOCATEGORY) order[c] = next++;
    }
}

// The group of a part name and property text, made on first sight with what the map says.
int groupof(const char *name, const char *props, const int order[NCATEGORIES]) {
    ExportState &s = xs();
    std::string &key = s.groupkey;
    key.assign(name != nullptr ? name : "");
    key.push_back('\0');
    key.append(props != nullptr ? props : "");
    const std::uint64_t hash = std::hash<std::string_view>{}(key);
    std::size_t slot = s.groupindex.find(hash, key);
    if (s.groupindex.slots[slot].group != NOGROUP)
        return static_cast<int>(s.groupindex.slots[slot].group);
    const int index = static_cast<int>(s.groups.size());
    s.groupindex.insert(slot, hash, key, static_cast<std::uint32_t>(index));
    Group g;
    g.name = utf8(name);
    g.props = utf8(props);
    std::string_view category;
    std::string_view description;
    if (lookuprecord(name, &category, &description)) {
        const int c = categoryindex(std::string(category).c_str());
        g.category = c >= 0 ? categoryname(c) : utf8(category);
        g.description = utf8(description);
        g.described = !description.empty();
        g.order = c >= 0 ? order[c] : NOCATEGORY;
    }
    s.listed.push_back(g.order != NOCATEGORY || categoryindex(g.category.c_str()) < 0);
    s.tally.push_back(0);
    s.groups.push_back(std::move(g));
    return index;
}

// The report's order of a sheet's groups: the categories in the order of the letters, then the
// rest; inside each by part name and property text.
bool grouporder(const Group &a, const Group &b) {
    const auto rank = [](const Group &g) { return g.order == NOCATEGORY ? NCATEGORIES : g.order; };
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    if (a.name != b.name) return a.name < b.name;
    return a.props < b.props;
}

void notemissing(const ExportPart *parts, std::size_t count) {
    ExportState &s = xs();
    std::string_view category;
    std::string_view description;
    for (std::size_t i = 0; i < count; ++i) {
        const char *name = parts[i].name != nullptr ? parts[i].name : "";
        if (!lookuprecord(name, &category, &description) || description.empty())
            s.missing.emplace(name);
    }
}

// Puts a sheet's instances in natural order; place[i] tells where the i-th one went.
void sortchildren(std::vector<Child> &children, std::vector<std::uint32_t> &place) {
    std::vector<std::uint32_t> perm(children.size());
    for (std::size_t i = 0; i < perm.size(); ++i)
        perm[i] = static_cast<std::uint32_t>(i);
    const auto less = [&children](std::uint32_t a, std::uint32_t b) {
        return naturalless(textof(children[a].inst), textof(children[b].inst));
    };
    // Sheets are mostly drawn in order: a look costs less than a sort.
    if (std::is_sorted(perm.begin(), perm.end(), less)) {
        place = std::move(perm);
        return;
    }
    std::stable_sort(perm.begin(), perm.end(), less);
    std::vector<Child> sorted;
    sorted.reserve(children.size());
    place.assign(children.size(), 0);
    for (std::size_t k = 0; k < perm.size(); ++k) {
        place[perm[k]] = static_cast<std::uint32_t>(k);
        sorted.push_back(std::move(children[perm[k]]));
    }
    children = std::move(sorted);
}

Child makechild(const char *inst, int group, kdx::net *sub) {
    const std::string_view name(inst != nullptr ? inst : "");
    return Child{asciionly(name) || validutf8(name) ? keeptext(name) : keeptext(utf8(name)), group,
                 sub};
}

// Gives each row its instances: `pairs` holds (row, place in `children`, the sheet's record)
// for every instance; sorted, each row's places follow each other in natural order. The names
// are kept, not the places: the rows are written long after, their names each a look nearer.
void fillrows(std::vector<Row> &rows, std::vector<std::pair<std::uint32_t, std::uint32_t>> &pairs,
              const std::vector<Child> &children, std::vector<std::uint32_t> &insts) {
    std::sort(pairs.begin(), pairs.end());
    for (const auto &[row, place] : pairs) {
        Row &r = rows[row];
        if (r.count == 0) r.first = static_cast<std::uint32_t>(insts.size());
        ++r.count;
        insts.push_back(children[place].inst);
    }
}

// ---- The references ----

// A part's reference but for the placement: its instance name, kept in the reference itself
// when it is short.
Ref refof(const Child &c) {
    Ref ref{};
    const std::string_view name = textof(c.inst);
    if (name.size() <= SHORTNAME) {
        ref.len = static_cast<std::uint8_t>(name.size());
        std::memcpy(ref.name, name.data(), name.size());
    } else {
        ref.len = LONGNAME;
        std::memcpy(ref.name, &c.inst, sizeof c.inst);
    }
    return ref;
}

std::string_view nameof(const Ref &ref) {
    if (ref.len != LONGNAME) return std::string_view(ref.name, ref.len);
    std::uint32_t text = 0;
    std::memcpy(&text, ref.name, sizeof text);
    return textof(text);
}

// The listed parts and the sub-sheets of a sheet together in natural order (made once per sheet;
// memory that runs out on the way leaves none, for the next writer to make again).
const std::vector<Step> &steps(NetRecord &r) {
    if (r.havesteps) return r.steps;
    std::vector<Step> steps;
    steps.reserve(r.parts.size() + r.blocks.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < r.parts.size() || j < r.blocks.size()) {
        const bool block =
            i == r.parts.size() ||
            (j < r.blocks.size() && naturalless(textof(r.blocks[j].inst), textof(r.parts[i].inst)));
        if (block) {
            steps.push_back(
                Step{static_cast<std::uint32_t>(j) | BLOCKBIT, plainof(r.blocks[j].inst), Ref{}});
            ++j;
            continue;
        }
        const Child &c = r.parts[i++];
        if (c.group != NOCATEGORY)
            steps.push_back(Step{static_cast<std::uint32_t>(c.group), plainof(c.inst), refof(c)});
    }
    r.steps = std::move(steps);
    r.havesteps = true;
    return r.steps;
}

// Ends the pool of texts in the padding copywide reads (once: a run may be written twice), before
// the reference builder's helper reads the pool.
void padtexts() {
    ExportState &s = xs();
    if (s.padded) return;
    s.padded = true;
    s.pool.append(WIDECOPY, '\0');
}

// What the walk of the references will meet, counted first so that the references and the
// placements' paths have their room before any is made.
struct RefCount {
    std::uint64_t placements = 0;
    std::uint64_t pathbytes = 0;
    std::size_t depth = 0;   // the most sheets one path passes
    std::size_t longest = 0; // the longest path
};

// Counts the placements of a sheet placed with a path of `pathlen` bytes and of those below it,
// making each sheet's steps on the way (the walks share them and do not make them).
void countplacements(NetRecord &r, std::size_t pathlen, std::vector<const NetRecord *> &stack,
                     RefCount &count) {
    // The load refuses a design that places itself; this only keeps the walk finite.
    if (std::find(stack.begin(), stack.end(), &r) != stack.end()) return;
    steps(r);
    if (r.subs.size() != r.blocks.size()) {
        ExportState &s = xs();
        std::vector<NetRecord *> subs;
        subs.reserve(r.blocks.size());
        for (const Child &c : r.blocks) {
            auto sub = s.nets.find(c.sub);
            subs.push_back(sub != s.nets.end() ? &sub->second : nullptr);
        }
        r.subs = std::move(subs);
    }
    ++r.placed;
    ++count.placements;
    count.pathbytes += pathlen;
    count.longest = std::max(count.longest, pathlen);
    stack.push_back(&r);
    count.depth = std::max(count.depth, stack.size());
    for (std::size_t k = 0; k < r.blocks.size(); ++k)
        if (r.subs[k] != nullptr)
            countplacements(*r.subs[k], pathlen + textof(r.blocks[k].inst).size() + 1, stack,
                            count);
    stack.pop_back();
}

// The references are made by two walks of the placements from the top at once: the helper's
// from the first reference on, filling each group's from the start of its room, and the run's
// thread's (once it has written the sheets) from the last one back, filling them from the end.
// Each takes the references in runs of REFRUN from its end of those left, until they meet: the
// two share out the work whatever the shape of the design, and no reference is moved twice.
//
// Each walk puts the paths of the placements it enters in the pool of paths, the helper's from
// its start, the other's from its end. A walk enters a placement only while a reference after it
// (in its direction) is its own, so the two enter the same placement only on the way to where
// they meet: at most one placement per level of the design more than there are.
class RefBuilder {
  public:
    // Starts the helper: the counts, the room, then its walk; the run's thread goes on.
    RefBuilder() {
        if (xs().refsbuilt) return;
        padtexts();
        helper_.post([this] {
            try {
                prepare();
            } catch (const std::bad_alloc &) {
                nomemory_ = true;
            }
            {
                std::lock_guard lock(mutex_);
                ready_ = true;
            }
            prepared_.notify_all();
            // The run's thread learns of a failure here when the helper has ended (finish).
            try {
                if (!nomemory_) walk<true>();
            } catch (const std::bad_alloc &) {
                walkfailed_ = true;
            }
        });
    }
    ~RefBuilder() { helper_.finish(); }
    RefBuilder(const RefBuilder &) = delete;
    RefBuilder &operator=(const RefBuilder &) = delete;

    // The run's thread's walk, then the end of the helper's; every reference is in place after.
    void finish() {
        ExportState &s = xs();
        if (s.refsbuilt) return;
        {
            std::unique_lock lock(mutex_);
            prepared_.wait(lock, [this] { return ready_; });
        }
        if (!nomemory_) walk<false>();
        helper_.finish();
        if (nomemory_ || walkfailed_ || helper_.failed()) throw std::bad_alloc();
        s.plainrefs = std::move(walks_[0].plain);
        for (std::size_t g = 0; g < s.plainrefs.size(); ++g)
            s.plainrefs[g] &= walks_[1].plain[g];
        s.refsbuilt = true;
    }

  private:
    static constexpr std::size_t REFRUN = 4096;

    struct alignas(64) Walk {  // the two are written by two threads: one cache line each at least
        std::size_t next = 0;  // forward: the next reference; backward: one past it
        std::size_t limit = 0; // where the references it has taken end
        std::vector<std::size_t> cursor; // per group: where its next reference goes
        std::vector<char> plain;         // per group: the references it made are plain
        std::size_t poolat = 0; // where its next path goes in the pool (backward: one past)
        std::string path;
        std::vector<const NetRecord *> stack;
    };

    // On the helper, before either walk: the counts and the room for the references and paths.
    void prepare() {
        ExportState &s = xs();
        auto top = s.nets.find(s.top);
        RefCount count;
        // The counts of a preparation that memory cut short, or of an earlier writer's, go.
        for (auto &[net, r] : s.nets)
            r.placed = 0;
        if (top != s.nets.end()) {
            std::vector<const NetRecord *> stack;
            countplacements(top->second, 0, stack, count);
            top_ = &top->second;
        }
        const std::size_t pathbytes = (count.placements + count.depth) * sizeof(PathLength) +
                                      count.pathbytes + count.depth * count.longest;
        if (pathbytes > std::numeric_limits<std::uint32_t>::max())
            throw std::bad_alloc(); // more than Ref::placement reaches
        s.refat.assign(s.groups.size() + 1, 0);
        for (const auto &[net, r] : s.nets)
            for (const Step &step : r.steps)
                if ((step.what & BLOCKBIT) == 0) s.refat[step.what + 1] += r.placed;
        for (std::size_t g = 0; g < s.groups.size(); ++g)
            s.refat[g + 1] += s.refat[g];
        s.refs.reset(new Ref[s.refat.back() + 1]); // one more for copywide to read into
        // The first placement is the top sheet's, with no path: a length of 0 at the start.
        s.pathpool.reset(new char[pathbytes + WIDECOPY]());
        poolsize_ = pathbytes;
        back_ = s.refat.back();
        // Without helpers the run's thread makes both walks, one after the other: each makes
        // half, so that they meet as they do beside each other.
        halfway_ = platform::HelpersAllowed() ? back_ : back_ / 2;
        for (int k = 0; k < 2; ++k) {
            Walk &w = walks_[k];
            w.plain.assign(s.groups.size(), 1);
            w.cursor.assign(s.refat.begin() + k, s.refat.end() - 1 + k);
            w.next = w.limit = k == 0 ? 0 : back_;
            w.poolat = k == 0 ? sizeof(PathLength) : pathbytes;
        }
    }

    // True when a walk has a reference left to make, taking a run more when it has none.
    template <bool Forward> bool more(Walk &w) {
        return (Forward ? w.next < w.limit : w.next > w.limit) || take<Forward>(w);
    }

    template <bool Forward> [[gnu::noinline]] bool take(Walk &w) {
        std::lock_guard lock(mutex_);
        const std::size_t end = Forward ? std::min(back_, halfway_) : back_;
        if (front_ >= end) return false;
        const std::size_t run = std::min(REFRUN, end - front_);
        w.limit = Forward ? front_ += run : back_ -= run;
        return true;
    }

    template <bool Forward> void walk() {
        if (top_ != nullptr) sheet<Forward>(walks_[Forward ? 0 : 1], *top_, 0, true);
    }

    // The steps of a sheet placed at `placement` (path w.path, plain or not), in the walk's
    // order; false when the walk has met the other.
    template <bool Forward>
    bool sheet(Walk &w, const NetRecord &r, std::uint32_t placement, bool plain) {
        ExportState &s = xs();
        w.stack.push_back(&r);
        const std::size_t count = r.steps.size();
        for (std::size_t i = 0; i < count; ++i) {
            const Step &step = r.steps[Forward ? i : count - 1 - i];
            if ((step.what & BLOCKBIT) != 0) {
                if (!block<Forward>(w, r, step, plain)) return false;
                continue;
            }
            if (!more<Forward>(w)) return false;
            Forward ? ++w.next : --w.next;
            std::size_t &at = w.cursor[step.what];
            // The counts make these bounds exact; they keep a fault from writing out of place.
            if (Forward ? at >= s.refat[step.what + 1] : at <= s.refat[step.what]) continue;
            Ref &ref = s.refs[Forward ? at++ : --at];
            ref = step.ref;
            ref.placement = placement;
            if (!plain || !step.plain) w.plain[step.what] = 0;
        }
        w.stack.pop_back();
        return true;
    }

    // A sub-sheet placed by a sheet: its placement, then its steps.
    template <bool Forward> bool block(Walk &w, const NetRecord &r, const Step &step, bool plain) {
        const std::size_t k = step.what & ~BLOCKBIT;
        const NetRecord *sub = r.subs[k];
        if (sub == nullptr || std::find(w.stack.begin(), w.stack.end(), sub) != w.stack.end())
            return true;
        if (!more<Forward>(w)) return false;
        const std::size_t len = w.path.size();
        w.path.append(textof(r.blocks[k].inst)).push_back('/');
        const bool go = sheet<Forward>(w, *sub, place<Forward>(w), plain && step.plain);
        w.path.resize(len);
        return go;
    }

    // Puts the path of the placement at w.path in the pool; returns where it starts.
    template <bool Forward> std::uint32_t place(Walk &w) {
        ExportState &s = xs();
        const auto len = static_cast<PathLength>(w.path.size());
        const std::size_t size = sizeof len + len;
        // The counts keep the walks inside their room; these bounds keep a fault from writing
        // out of it (its placements then show no path).
        if (Forward ? w.poolat + size > poolsize_ : w.poolat < size + sizeof len) return 0;
        const std::size_t at = Forward ? w.poolat : w.poolat -= size;
        if (Forward) w.poolat += size;
        std::memcpy(s.pathpool.get() + at, &len, sizeof len);
        std::memcpy(s.pathpool.get() + at + sizeof len, w.path.data(), len);
        return static_cast<std::uint32_t>(at);
    }

    const NetRecord *top_ = nullptr;
    std::size_t poolsize_ = 0; // the pool of paths but its padding
    Walk walks_[2];            // the helper's (forward) and the run's thread's (backward)
    std::mutex mutex_;
    std::condition_variable prepared_;
    bool ready_ = false;         // prepare has run
    bool nomemory_ = false;      // written by the helper before ready_, read after
    bool walkfailed_ = false;    // the helper's walk ran out of memory (read once it has ended)
    std::size_t front_ = 0;      // the references taken by the helper's walk end here
    std::size_t back_ = 0;       // and those taken by the run's thread's start here
    std::size_t halfway_ = 0;    // the helper's walk takes none from here on
    platform::Worker helper_{1}; // ended before the members above go
};

// ---- Writing ----

// Copies a text to `at` and returns where it ends (an empty text may have no bytes at all).
char *copyto(char *at, std::string_view text) {
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// Copies a text of the pools (padded by WIDECOPY bytes), or the short name of a reference, in
// strides of WIDECOPY bytes, reading and writing up to WIDECOPY - 1 bytes past its end: for
// millions of short names a call of memcpy each costs more than the copy. The destination needs
// that much room beyond the text.
char *copywide(char *at, std::string_view text) {
    for (std::size_t k = 0; k < text.size(); k += WIDECOPY)
        std::memcpy(at + k, text.data() + k, WIDECOPY);
    return at + text.size();
}

// Output collected in a buffer and written in large pieces, to a stream or a string.
class Out {
  public:
    explicit Out(FILE *f) : f_(f), buf_(new char[OUTBUF_SIZE]) {}
    // A string is written directly, without the buffer.
    explicit Out(std::string *text) : text_(text) {}
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;

    void put(std::string_view s) {
        if (text_ != nullptr) {
            text_->append(s);
            return;
        }
        if (s.size() > OUTBUF_SIZE - len_) {
            flush();
            if (s.size() > OUTBUF_SIZE) {
                write(s.data(), s.size());
                return;
            }
        }
        len_ = static_cast<std::size_t>(copyto(buf_.get() + len_, s) - buf_.get());
    }
    // Room for n more bytes in the buffer (n at most OUTBUF_SIZE); commit then says where the
    // bytes written there end. Not for a string.
    char *room(std::size_t n) {
        if (n > OUTBUF_SIZE - len_) flush();
        return buf_.get() + len_;
    }
    void commit(const char *end) { len_ = static_cast<std::size_t>(end - buf_.get()); }

    void put(char c) {
        if (text_ != nullptr) {
            text_->push_back(c);
            return;
        }
        if (len_ == OUTBUF_SIZE) flush();
        buf_[len_++] = c;
    }
    // A text of a pool padded by WIDECOPY bytes (see copywide).
    void putpadded(std::string_view s) {
        if (text_ != nullptr || s.size() > OUTBUF_SIZE - WIDECOPY) {
            put(s);
            return;
        }
        commit(copywide(room(s.size() + WIDECOPY), s));
    }
    void number(long long n) {
        char text[24];
        const auto end = std::to_chars(text, text + sizeof text, n).ptr;
        put(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    bool finish() {
        if (f_ == nullptr) return true;
        flush();
        return ok_ && std::fflush(f_) == 0 && std::ferror(f_) == 0;
    }

  private:
    // A full buffer goes to the stream as it is (see WriteOwned), which saves copying every
    // byte of a file that may run to hundreds of megabytes; a new one takes its place.
    void flush() {
        if (len_ == 0) return;
        if (!platform::WriteOwned(f_, std::exchange(buf_, nullptr), len_)) ok_ = false;
        buf_.reset(new char[OUTBUF_SIZE]);
        len_ = 0;
    }
    void write(const char *data, std::size_t size) {
        if (size != 0 && std::fwrite(data, 1, size, f_) != size) ok_ = false;
    }

    FILE *f_ = nullptr;
    std::string *text_ = nullptr;
    std::shared_ptr<char[]> buf_;
    std::size_t len_ = 0;
    bool ok_ = true;
};

// True when a CSV field must be quoted: it holds a comma, a quote or a line end.
bool csvquoted(std::string_view s) {
    for (char c : s)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    return false;
}

// One CSV field (RFC 4180).
void csvfield(Out &out, std::string_view s) {
    if (!csvquoted(s)) {
        out.put(s);
        return;
    }
    out.put('"');
    for (char c : s) {
        if (c == '"') out.put('"');
        out.put(c);
    }
    out.put('"');
}

// One JSON string.
void jsonstring(Out &out, std::string_view s) {
    static constexpr char HEX[] = "0123456789abcdef";
    out.put('"');
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.put('\\');
            out.put(ch);
        } else if (c == '\n') {
            out.put("\\n");
        } else if (c == '\r') {
            out.put("\\r");
        } else if (c == '\t') {
            out.put("\\t");
        } else if (c < 0x20) {
            out.put("\\u00");
            out.put(HEX[c >> 4]);
            out.put(HEX[c & 0xF]);
        } else {
            out.put(ch);
        }
    }
    out.put('"');
}

enum class Format { Csv, Json };

// A list of names (instances or references) as one CSV field, blank-separated, or as a JSON
// array. Name i is written in two pieces, pieces(i) = (a path, an instance name); `plain` tells
// whether every piece needs neither quoting nor escaping.
template <class Pieces>
void namelist(Out &out, Format format, std::size_t count, bool plain, Pieces pieces) {
    const bool json = format == Format::Json;
    if (json) out.put('[');
    if (!plain) {
        // Rare: each name (or the whole CSV field) is made first, then quoted or escaped.
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            const auto [path, name] = pieces(i);
            if (json) {
                text.assign(path).append(name);
                if (i != 0) out.put(", ");
                jsonstring(out, text);
            } else {
                if (i != 0) text.push_back(' ');
                text.append(path).append(name);
            }
        }
        if (!json) csvfield(out, text);
        if (json) out.put(']');
        return;
    }
    // Millions of them: each written whole into the buffer.
    for (std::size_t i = 0; i < count; ++i) {
        const auto [path, name] = pieces(i);
        const char *separator = i == 0 ? "" : json ? ", " : " ";
        const std::size_t size = path.size() + name.size() + 4 + 2 * WIDECOPY;
        if (size > OUTBUF_SIZE) {
            // A name longer than the buffer itself goes through in pieces.
            out.put(separator);
            if (json) out.put('"');
            out.put(path);
            out.put(name);
            if (json) out.put('"');
            continue;
        }
        char *at = out.room(size);
        while (*separator != '\0')
            *at++ = *separator++;
        if (json) *at++ = '"';
        at = copywide(at, path);
        at = copywide(at, name);
        if (json) *at++ = '"';
        out.commit(at);
    }
    if (json) out.put(']');
}

// The instances of a row of a listing.
void instances(Out &out, Format format, const Listing &l, const Row &row) {
    bool plain = true;
    for (std::size_t i = 0; i < row.count && plain; ++i)
        plain = plainof(l.insts[row.first + i]);
    namelist(out, format, row.count, plain, [&](std::size_t i) {
        return std::pair(std::string_view(), textof(l.insts[row.first + i]));
    });
}

// The references of a group: the path of each part's placement, then its instance name.
void references(Out &out, Format format, const Group &g) {
    const ExportState &s = xs();
    const auto group = static_cast<std::size_t>(&g - s.groups.data());
    const Ref *refs = s.refs.get() + s.refat[group];
    const std::size_t count = s.refat[group + 1] - s.refat[group];
    namelist(out, format, count, s.plainrefs[group] != 0, [&](std::size_t i) {
        const char *path = s.pathpool.get() + refs[i].placement;
        PathLength len = 0;
        std::memcpy(&len, path, sizeof len);
        return std::pair(std::string_view(path + sizeof len, len), nameof(refs[i]));
    });
}

// The rows of every listing in the report's order, then the totals.
struct Ordered {
    std::vector<std::uint32_t> byrank; // the groups in the report's order of a sheet
    std::vector<std::uint32_t> rank;   // per group: its place in byrank
    std::vector<const Group *> totals; // the listed groups with parts, in that order
    // The groups' own fields in the writer's format, one after the other in that order (the
    // order of a sheet's rows) and padded by WIDECOPY bytes: hundreds of thousands of rows each
    // look at one place, not at a group's strings spread over the heap.
    struct Fields {
        std::uint32_t at;
        std::uint32_t len;
        bool described;
    };
    std::string fields;
    std::vector<Fields> fieldsof; // per group
    std::string_view text(std::size_t group) const {
        return std::string_view(fields).substr(fieldsof[group].at, fieldsof[group].len);
    }
};

// Each listing's rows in the order of their groups' ranks. The ranks are those of all groups: a
// bitmap of the ranks a listing holds, read in order, sorts its rows in one pass when the bitmap
// is short beside them (hundreds of thousands of rows, a comparison sort each cost more than
// their writing); a listing of few rows among many groups is sorted as usual.
inline constexpr std::size_t BITMAP_ROWS = 4; // bitmap words per row at most, for the bitmap

void sortrows(std::vector<Listing> &listings, const std::vector<std::uint32_t> &rank) {
    constexpr std::size_t WORD = 64;
    std::vector<std::uint64_t> bits((rank.size() + WORD - 1) / WORD);
    std::vector<std::uint32_t> rowof(rank.size()); // per rank: the listing's row of that group
    std::vector<Row> sorted;
    for (Listing &l : listings) {
        if (bits.size() > BITMAP_ROWS * l.parts.size()) {
            std::sort(l.parts.begin(), l.parts.end(), [&rank](const Row &a, const Row &b) {
                return rank[static_cast<std::size_t>(a.group)] <
                       rank[static_cast<std::size_t>(b.group)];
            });
            continue;
        }
        for (std::size_t i = 0; i < l.parts.size(); ++i) {
            const std::uint32_t r = rank[static_cast<std::size_t>(l.parts[i].group)];
            bits[r / WORD] |= std::uint64_t{1} << (r % WORD);
            rowof[r] = static_cast<std::uint32_t>(i);
        }
        sorted.clear();
        for (std::size_t w = 0; w < bits.size(); ++w)
            for (; bits[w] != 0; bits[w] &= bits[w] - 1) // left clear for the next listing
                sorted.push_back(l.parts[rowof[w * WORD + std::countr_zero(bits[w])]]);
        l.parts.swap(sorted);
    }
}

Ordered order() {
    ExportState &s = xs();
    for (std::size_t g = 0; g < s.groups.size(); ++g)
        s.groups[g].quantity = s.tally[g];
    Ordered o;
    o.byrank.resize(s.groups.size());
    for (std::size_t g = 0; g < o.byrank.size(); ++g)
        o.byrank[g] = static_cast<std::uint32_t>(g);
    std::sort(o.byrank.begin(), o.byrank.end(), [&s](std::uint32_t a, std::uint32_t b) {
        return grouporder(s.groups[a], s.groups[b]);
    });
    o.rank.resize(s.groups.size());
    for (std::size_t k = 0; k < o.byrank.size(); ++k)
        o.rank[o.byrank[k]] = static_cast<std::uint32_t>(k);
    sortrows(s.listings, o.rank);
    for (std::uint32_t g : o.byrank)
        if (s.listed[g] && s.groups[g].quantity > 0) o.totals.push_back(&s.groups[g]);
    return o;
}

// A group's own fields as CSV, made once for all the rows that show it.
void makecsv(Group &g) {
    Out out(&g.csv);
    csvfield(out, g.category);
    out.put(',');
    csvfield(out, g.name);
    out.put(',');
    csvfield(out, g.props);
    out.put(',');
    csvfield(out, g.description);
    out.finish();
}

// The CSV fields of a part group up to its references.
// `sheet` is a CSV field already.
void csvgroup(Out &out, std::string_view sheet, const Ordered &o, std::size_t group,
              long long quantity) {
    out.put(sheet);
    out.put(',');
    out.putpadded(o.text(group));
    out.put(',');
    out.number(quantity);
    out.put(',');
}

// The end of a line; `f` the fields of its group (none for a block).
void csvend(Out &out, std::string_view kind, const Ordered::Fields *f, bool mapped) {
    out.put(',');
    out.put(kind);
    out.put(',');
    if (f != nullptr && mapped) out.put(f->described ? "no" : "yes");
    out.put("\r\n");
}

// A group's own fields as JSON, made once for all the rows that show it.
void makejson(Group &g) {
    Out out(&g.json);
    out.put("{\"category\": ");
    jsonstring(out, g.category);
    out.put(", \"name\": ");
    jsonstring(out, g.name);
    out.put(", \"property\": ");
    jsonstring(out, g.props);
    out.put(", \"description\": ");
    jsonstring(out, g.description);
    out.finish();
}

// The JSON fields of a part group up to its references.
void jsongroup(Out &out, const Ordered &o, std::size_t group, long long quantity, bool mapped) {
    out.putpadded(o.text(group));
    out.put(", \"quantity\": ");
    out.number(quantity);
    if (mapped)
        out.put(o.fieldsof[group].described ? ", \"missing\": false" : ", \"missing\": true");
    out.put(", \"references\": ");
}

// The groups in order, each with its own fields made once in the writer's format.
Ordered prepare(std::string Group::*fields, void (*make)(Group &)) {
    Ordered o = order();
    std::vector<Group> &groups = xs().groups;
    o.fieldsof.resize(groups.size());
    for (std::uint32_t g : o.byrank) {
        Group &group = groups[g];
        if ((group.*fields).empty()) make(group);
        const std::string &text = group.*fields;
        if (o.fields.size() + text.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::bad_alloc(); // more than Fields reaches
        o.fieldsof[g] = {static_cast<std::uint32_t>(o.fields.size()),
                         static_cast<std::uint32_t>(text.size()), group.described};
        o.fields.append(text);
    }
    o.fields.append(WIDECOPY, '\0');
    return o;
}

} // namespace

// ---- Collecting (the run) ----

void setexport(unsigned mode) {
    xs().mode = mode;
}

unsigned exportmode() {
    return xs().mode;
}

void exportbegin() {
    ExportState &s = xs();
    const unsigned mode = s.mode;
    s = ExportState{};
    s.mode = mode;
}

void exporttop(kdx::net *top) {
    xs().top = top;
}

void exportdone() {
    xs().complete = true;
}

void exportsheet(kdx::net *n, const char *heading, int mult, const char *letters,
                 const ExportPart *parts, std::size_t count) {
    ExportState &s = xs();
    if ((s.mode & EXPORT_MISSING) != 0 && !mapempty()) notemissing(parts, count);
    if ((s.mode & EXPORT_GROUPS) == 0) return;

    int order[NCATEGORIES];
    letterorder(letters, order);
    std::vector<int> groups(count);
    for (std::size_t i = 0; i < count; ++i)
        groups[i] = groupof(parts[i].name, parts[i].props, order);

    // A sheet listed again (a sheet found at every placement) has the same instances.
    NetRecord &rec = s.nets[n];
    if (!rec.haveparts) {
        rec.haveparts = true;
        rec.parts.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const bool listed = s.listed[static_cast<std::size_t>(groups[i])];
            rec.parts.push_back(makechild(parts[i].inst, listed ? groups[i] : NOCATEGORY, nullptr));
        }
        sortchildren(rec.parts, rec.partplace);
    }

    Listing &l = s.listings.emplace_back();
    l.net = n;
    l.sheet = utf8(heading);
    l.placements = mult != 0 ? mult : 1;
    // The row of each group on this sheet, through a table of all groups (reset behind us).
    std::vector<std::uint32_t> &rowof = s.rowofgroup;
    rowof.resize(s.groups.size(), NOROW);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    pairs.reserve(count);
    for (std::size_t i = 0; i < count && i < rec.partplace.size(); ++i) {
        const auto g = static_cast<std::size_t>(groups[i]);
        if (!s.listed[g]) continue;
        if (rowof[g] == NOROW) {
            rowof[g] = static_cast<std::uint32_t>(l.parts.size());
            l.parts.push_back(Row{groups[i], 0, 0});
        }
        pairs.emplace_back(rowof[g], rec.partplace[i]);
    }
    for (const Row &row : l.parts)
        rowof[static_cast<std::size_t>(row.group)] = NOROW;
    fillrows(l.parts, pairs, rec.parts, l.insts);
    for (const Row &row : l.parts)
        s.tally[static_cast<std::size_t>(row.group)] += quantity(row, l.placements);
}

void exportblocks(kdx::net *n, int mult, const ExportChild *children, std::size_t count) {
    ExportState &s = xs();
    if ((s.mode & EXPORT_GROUPS) == 0 || s.listings.empty() || s.listings.back().net != n) return;
    Listing &l = s.listings.back();
    NetRecord &rec = s.nets[n];
    if (!rec.haveblocks) {
        rec.haveblocks = true;
        rec.blocks.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            rec.blocks.push_back(makechild(children[i].inst, NOCATEGORY, children[i].sub));
        sortchildren(rec.blocks, rec.blockplace);
    }
    // One row per sub-sheet file, in byte order of the keys as the report lists them.
    std::vector<std::string> keys(count);
    for (std::size_t i = 0; i < count; ++i)
        keys[i] = utf8(children[i].key);
    std::vector<std::string> sortedkeys = keys;
    std::sort(sortedkeys.begin(), sortedkeys.end());
    sortedkeys.erase(std::unique(sortedkeys.begin(), sortedkeys.end()), sortedkeys.end());
    l.blocks.assign(sortedkeys.size(), Row{});
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t i = 0; i < count && i < rec.blockplace.size(); ++i) {
        const auto row = static_cast<std::uint32_t>(
            std::lower_bound(sortedkeys.begin(), sortedkeys.end(), keys[i]) - sortedkeys.begin());
        pairs.emplace_back(row, rec.blockplace[i]);
    }
    fillrows(l.blocks, pairs, rec.blocks, l.insts);
    l.blockkeys = std::move(sortedkeys);
    l.blockplacements = mult != 0 ? mult : 1;
}

// ---- The command's side ----

bool exportcomplete() {
    return xs().complete;
}

std::vector<std::string> undescribedparts() {
    const auto &missing = xs().missing;
    return {missing.begin(), missing.end()};
}

bool writecsv(FILE *f) {
    ExportState &s = xs();
    RefBuilder refs;
    const Ordered o = prepare(&Group::csv, makecsv);
    const bool mapped = !mapempty();
    Out out(f);
    out.put("sheet,category,name,property,description,quantity,references,kind,missing\r\n");
    std::string sheet;
    for (const Listing &l : s.listings) {
        sheet.clear();
        Out field(&sheet);
        csvfield(field, l.sheet);
        for (const Row &row : l.parts) {
            const auto g = static_cast<std::size_t>(row.group);
            csvgroup(out, sheet, o, g, quantity(row, l.placements));
            instances(out, Format::Csv, l, row);
            csvend(out, "part", &o.fieldsof[g], mapped);
        }
        for (std::size_t k = 0; k < l.blocks.size(); ++k) {
            const Row &row = l.blocks[k];
            out.put(sheet);
            out.put(",,");
            csvfield(out, l.blockkeys[k]);
            out.put(",,,");
            out.number(quantity(row, l.blockplacements));
            out.put(',');
            instances(out, Format::Csv, l, row);
            csvend(out, "block", nullptr, mapped);
        }
    }
    refs.finish();
    for (const Group *g : o.totals) {
        const auto group = static_cast<std::size_t>(g - s.groups.data());
        csvgroup(out, "", o, group, g->quantity);
        references(out, Format::Csv, *g);
        csvend(out, "total", &o.fieldsof[group], mapped);
    }
    return out.finish();
}

bool writejson(FILE *f) {
    ExportState &s = xs();
    RefBuilder refs;
    const Ordered o = prepare(&Group::json, makejson);
    const bool mapped = !mapempty();
    Out out(f);
    // What the document is, so that a reader can recognise an export of ours and its format.
    out.put("{\n  \"partlist_export\": ");
    out.number(EXPORT_FORMAT);
    out.put(",\n  \"tool\": ");
    jsonstring(out, "partlist " PARTLIST_VERSION);
    out.put(",\n  \"design\": ");
    jsonstring(out, utf8(schname()));
    out.put(",\n  \"sheets\": [");
    for (std::size_t i = 0; i < s.listings.size(); ++i) {
        const Listing &l = s.listings[i];
        out.put(i == 0 ? "\n    {\"sheet\": " : ",\n    {\"sheet\": ");
        jsonstring(out, l.sheet);
        out.put(", \"placements\": ");
        out.number(l.placements);
        out.put(",\n     \"parts\": [");
        for (std::size_t k = 0; k < l.parts.size(); ++k) {
            const Row &row = l.parts[k];
            out.put(k == 0 ? "\n      " : ",\n      ");
            jsongroup(out, o, static_cast<std::size_t>(row.group), quantity(row, l.placements),
                      mapped);
            instances(out, Format::Json, l, row);
            out.put('}');
        }
        out.put("],\n     \"blocks\": [");
        for (std::size_t k = 0; k < l.blocks.size(); ++k) {
            const Row &row = l.blocks[k];
            out.put(k == 0 ? "\n      {\"name\": " : ",\n      {\"name\": ");
            jsonstring(out, l.blockkeys[k]);
            out.put(", \"quantity\": ");
            out.number(quantity(row, l.blockplacements));
            out.put(", \"references\": ");
            instances(out, Format::Json, l, row);
            out.put('}');
        }
        out.put("]}");
    }
    out.put("\n  ],\n  \"totals\": [");
    refs.finish();
    for (std::size_t i = 0; i < o.totals.size(); ++i) {
        out.put(i == 0 ? "\n    " : ",\n    ");
        jsongroup(out, o, static_cast<std::size_t>(o.totals[i] - s.groups.data()),
                  o.totals[i]->quantity, mapped);
        references(out, Format::Json, *o.totals[i]);
        out.put('}');
    }
    out.put("\n  ]\n}\n");
    return out.finish();
}

} // namespace partlist
