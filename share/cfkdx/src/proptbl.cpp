// proptbl.cpp - the property table of an object: every property it has or inherits, the list
// searched first winning for each name.
//
// The table runs the ordinary property search with a match routine that never matches but
// records each list the search visits, then filters those lists in the order visited.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>
#include <forward_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kdx {

namespace {

constexpr std::size_t MAXLISTS = 1000;  // lists recorded per table; more are passed over
constexpr std::size_t INLINELISTS = 8;  // lists the table of a symbol or definition visits
constexpr std::size_t INLINENAMES = 16; // names compared one by one before a hash set pays
constexpr std::size_t INLINEPROPS = 64; // entries gathered in place before the heap is asked

struct Visited {
    prop *list;       // head of a property list the search reached
    std::string text; // the search text it was reached with: "(port)" for targeted lists
};

// The part list asks for the table of every part it counts: the few lists, names and entries of
// one table are kept in place, and the heap is asked only for what goes beyond them.
template <class T, std::size_t N> class SmallList {
  public:
    void push(T v) {
        if (n_ < N)
            inl_[n_] = std::move(v);
        else
            more_.push_back(std::move(v));
        ++n_;
    }
    std::size_t size() const { return n_; }
    T &operator[](std::size_t i) { return i < N ? inl_[i] : more_[i - N]; }

  private:
    T inl_[N]; // only the first n_ are ever read: nothing to clear
    std::vector<T> more_;
    std::size_t n_ = 0;
};

// The names taken into a table, as views of texts that outlive the table. A few are compared
// one by one; past that a hash set keeps the check constant, however many properties an object
// carries.
class NameSet {
  public:
    // False when the name was taken already.
    bool insert(std::string_view name) {
        if (set_) return set_->insert(name).second;
        for (std::size_t i = 0; i < n_; ++i)
            if (names_[i] == name) return false;
        if (n_ < INLINENAMES) {
            names_[n_++] = name;
            return true;
        }
        set_ = std::make_unique<std::unordered_set<std::string_view>>(names_, names_ + n_);
        return set_->insert(name).second;
    }

    // A copy of a name that lives in a buffer about to be reused, for as long as the set.
    std::string_view keep(const char *name) { return owned_.emplace_front(name); }

  private:
    std::string_view names_[INLINENAMES];
    std::size_t n_ = 0;
    std::unique_ptr<std::unordered_set<std::string_view>> set_;
    std::forward_list<std::string> owned_; // unlike a deque, allocates nothing while empty
};

// The name of a property as xxpropiname makes it, read in place in the property's text, for a
// text with neither qualifier nor target: its name cannot be in error. Null (no data) for any
// other text, which goes to xxpropiname and its messages.
std::string_view plainname(const prop *p) {
    const char *t = p->text;
    if (t == nullptr || *t == '(' || *t == '<') return {};
    std::size_t len = std::strcspn(t, ":");
    while (len > 0 && (t[len - 1] == ' ' || t[len - 1] == '\t'))
        len--;
    if (len >= PROPNAMELEN - 1) return {};
    return {t, len};
}

using VisitedLists = SmallList<Visited, INLINELISTS>;

struct ProptblState {
    VisitedLists *visited; // the lists of the table being built
};
constinit ProptblState state{}; // module state

} // namespace

prop *xxsvprop(prop *list, const char *name, int namelen, const char *target, int targetlen,
               int /*flags*/) {
    kdx::RoutineScope scope("xxsvprop");
    VisitedLists *v = state.visited;
    if (!v || !list || v->size() >= MAXLISTS) return nullptr;
    std::string text;
    if (target && targetlen > 0) {
        text = "(";
        text.append(target, static_cast<std::size_t>(targetlen));
        text += ')';
    } else if (name && namelen > 0) {
        text.assign(name, static_cast<std::size_t>(namelen));
    }
    v->push(Visited{list, std::move(text)});
    return nullptr;
}

int xxproptbl(void *obj, prop ***array_out, PropFilter filter, int flags) {
    kdx::RoutineScope scope("xxproptbl");
    if (array_out) *array_out = nullptr;
    if (!obj) {
        xxerr("er", "NULL object parameter");
        return 0;
    }
    VisitedLists visited;
    {
        // Cleared however the search ends, a fatal error included.
        struct Recording {
            explicit Recording(VisitedLists *v) { state.visited = v; }
            ~Recording() { state.visited = nullptr; }
        } recording(&visited);
        xxfprops(xxsvprop, obj, "", flags);
    }

    // Without a filter nothing between two reads of a name can change it: it is read once,
    // except while the routine trace shows every call. Untraced, a plain name is read in place.
    const bool traced = xxtracing();
    const bool reread = filter != nullptr || traced;
    NameSet taken;
    SmallList<prop *, INLINEPROPS> kept;
    for (std::size_t i = 0; i < visited.size(); ++i) {
        const Visited &vl = visited[i];
        bool targeted = !vl.text.empty() && vl.text[0] == '(';
        for (prop *p = vl.list; p && rectype(p) == objtype::prop; p = p->props) {
            if (p->flags & PROPF_HIDDEN) continue;
            if (!xxpmatch("", 0, p, nullptr, 0, flags | FP_QUALONLY)) continue;
            std::string_view name = traced || targeted ? std::string_view() : plainname(p);
            const char *iname = name.data() != nullptr ? nullptr : xxpropiname(p, 1);
            if (targeted) {
                const char *open = iname ? std::strchr(iname, '(') : nullptr;
                if (!open || vl.text != open) continue;
            }
            if (filter && !filter(p)) continue;
            if (!(flags & FP_DUPS) && (name.data() != nullptr || iname)) {
                // The name buffer is reused by the filter's own look-ups: read it again.
                if (name.data() == nullptr && reread) iname = xxpropiname(p, 1);
                if (name.data() == nullptr && iname) name = taken.keep(iname);
                if (name.data() != nullptr && !taken.insert(name)) continue;
            }
            kept.push(p);
        }
    }
    const int count = static_cast<int>(kept.size());
    if (!array_out || count == 0) return count;
    auto *arr = static_cast<prop **>(std::malloc(kept.size() * sizeof(prop *)));
    if (!arr) {
        xxerr("f", "OUT OF MEMORY !!!");
        return 0;
    }
    for (std::size_t i = 0; i < kept.size(); ++i)
        arr[i] = kept[i];
    *array_out = arr;
    return count;
}

} // namespace kdx
