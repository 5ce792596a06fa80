// proptbl.cpp - the property table of an object: every property it has or inherits, the list
// searched first winning for each name.
//
// The table runs the ordinary property search with a match routine that never matches but
// records each list the search visits, then filters those lists in the order visited.
#include "kdxint.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kdx {

namespace {

constexpr std::size_t MAXLISTS = 1000;  // lists recorded per table; more are passed over
constexpr std::size_t TBLSTEP = 1024;   // growth of the result array, in entries

struct Visited {
    prop *list;        // head of a property list the search reached
    std::string text;  // the search text it was reached with: "(port)" for targeted lists
};

struct ProptblState {
    std::vector<Visited> *visited; // the lists of the table being built
};
constinit ProptblState state{}; // module state

} // namespace

prop *xxsvprop(prop *list, const char *name, int namelen, const char *target, int targetlen,
               int /*flags*/) {
    kdx::QuietRoutineScope scope("xxsvprop");
    std::vector<Visited> *v = state.visited;
    if (!v || !list || v->size() >= MAXLISTS)
        return nullptr;
    std::string text;
    if (target && targetlen > 0) {
        text = "(";
        text.append(target, static_cast<std::size_t>(targetlen));
        text += ')';
    } else if (name && namelen > 0) {
        text.assign(name, static_cast<std::size_t>(namelen));
    }
    v->push_back(Visited{list, std::move(text)});
    return nullptr;
}

int xxproptbl(void *obj, prop ***array_out, PropFilter filter, int flags) {
    kdx::RoutineScope scope("xxproptbl");
    if (array_out)
        *array_out = nullptr;
    if (!obj) {
        xxerr("er", "NULL object parameter");
        return 0;
    }
    std::vector<Visited> visited;
    {
        // Cleared however the search ends, a fatal error included.
        struct Recording {
            explicit Recording(std::vector<Visited> *v) { state.visited = v; }
            ~Recording() { state.visited = nullptr; }
        } recording(&visited);
        xxfprops(xxsvprop, obj, "", flags);
    }

    std::unordered_set<std::string> taken;
    prop **arr = nullptr;
    std::size_t cap = 0;
    int count = 0;
    for (const Visited &vl : visited) {
        bool targeted = !vl.text.empty() && vl.text[0] == '(';
        for (prop *p = vl.list; p && rectype(p) == objtype::prop; p = p->props) {
            if (p->flags & PROPF_HIDDEN)
                continue;
            if (!xxpmatch("", 0, p, nullptr, 0, flags | FP_QUALONLY))
                continue;
            const char *iname = xxpropiname(p, 1);
            if (targeted) {
                const char *open = iname ? std::strchr(iname, '(') : nullptr;
                if (!open || vl.text != open)
                    continue;
            }
            if (filter && !filter(p))
                continue;
            if (!(flags & FP_DUPS) && iname) {
                // The name buffer is reused by the filter's own look-ups: read it again.
                iname = xxpropiname(p, 1);
                if (iname && !taken.insert(iname).second)
                    continue;
            }
            if (!array_out) {
                count++;
                continue;
            }
            if (static_cast<std::size_t>(count) == cap) {
                std::size_t ncap = cap + TBLSTEP;
                auto *grown = static_cast<prop **>(std::realloc(arr, ncap * sizeof(prop *)));
                if (!grown) {
                    std::free(arr);
                    xxerr("f", "OUT OF MEMORY !!!");
                    return 0;
                }
                arr = grown;
                cap = ncap;
            }
            arr[count++] = p;
        }
    }
    if (!array_out)
        return count;
    if (count == 0) {
        std::free(arr);
        return 0;
    }
    auto *exact = static_cast<prop **>(std::realloc(arr, static_cast<std::size_t>(count) * sizeof(prop *)));
    if (!exact) {
        std::free(arr);
        xxerr("f", "OUT OF MEMORY !!!");
        return 0;
    }
    *array_out = exact;
    return count;
}

} // namespace kdx
