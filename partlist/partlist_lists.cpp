// partlist_lists.cpp - the sorted, circular part lists shared by the collection and the report.
//
// A list keeps its entries in byte order of their keys; entries with equal keys stay in the order
// they were first met. Beside the ring, the head owns an index of key groups (and, inside a
// group, of property texts), so finding or inserting an entry never walks the list: a sheet with
// many distinct parts costs O(log n) per part, not O(n).
#include "partlistint.h"

#include "kdx.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

namespace partlist {

namespace {

// The entries of one key, which lie next to each other in the ring.
struct KeyGroup {
    ListEntry *first;                                     // first entry of the key
    ListEntry *last;                                      // last entry of the key
    std::unordered_map<std::string, ListEntry *> byprops; // property text -> first such entry
};

} // namespace

// std::string_view compares through char_traits<char>, which orders bytes as unsigned.
struct ListIndex {
    std::map<std::string_view, KeyGroup> groups; // keys view the entries' own key texts
};

namespace {

ListHead *newhead() {
    auto *head = static_cast<ListHead *>(std::calloc(1, sizeof(ListHead)));
    if (head == nullptr) {
        kdx::xxerror('f', "Out of memory");
        return nullptr;
    }
    head->index = new (std::nothrow) ListIndex;
    if (head->index == nullptr) {
        std::free(head);
        kdx::xxerror('f', "Out of memory");
        return nullptr;
    }
    head->next = head;
    head->prev = head;
    return head;
}

void linkbefore(ListEntry *where, ListEntry *e) {
    e->next = where;
    e->prev = where->prev;
    where->prev->next = e;
    where->prev = e;
}

} // namespace

ListHead *makelist(ListHead **list) {
    if (*list == nullptr) *list = newhead();
    return *list;
}

ListEntry *addlist(ListHead **list, const char *key, std::size_t size, int cmp, kdx::symbol *sym) {
    (void)cmp; // every list of the utility sorts by plain byte order
    ListHead *head = makelist(list);
    if (head == nullptr) return nullptr;
    if (key == nullptr) key = "";
    // Only part entries carry a property text that can be matched.
    const bool parts = size == sizeof(PartEntry);
    const char *props = sym != nullptr ? propkey(sym) : "";

    auto &groups = head->index->groups;
    auto found = groups.find(std::string_view(key));
    if (found != groups.end()) {
        KeyGroup &g = found->second;
        if (sym == nullptr) return g.first;
        auto hit = g.byprops.find(props);
        if (hit != g.byprops.end()) return hit->second;
    }

    auto *e = static_cast<ListEntry *>(
        std::calloc(1, size < sizeof(ListEntry) ? sizeof(ListEntry) : size));
    char *copy = e != nullptr ? static_cast<char *>(std::malloc(std::strlen(key) + 1)) : nullptr;
    if (copy == nullptr) {
        std::free(e);
        kdx::xxerror('f', "Out of memory");
        return nullptr;
    }
    std::strcpy(copy, key);
    e->key = copy;
    if (parts) {
        // The caller rebuilds the same text from the same symbol; holding it now keeps the index
        // and the entry in agreement from the start.
        auto *pe = static_cast<PartEntry *>(e);
        std::strncpy(pe->properties, props, PROPTEXT_SIZE - 1);
    }

    try {
        if (found == groups.end()) {
            found = groups.emplace(std::string_view(copy), KeyGroup{e, e, {}}).first;
            auto after = std::next(found);
            linkbefore(after != groups.end() ? after->second.first : head, e);
        } else {
            // Behind the entries met earlier with the same key.
            linkbefore(found->second.last->next, e);
            found->second.last = e;
        }
        if (parts) found->second.byprops.emplace(props, e);
    } catch (const std::bad_alloc &) {
        if (e->next == nullptr) {
            std::free(copy);
            std::free(e);
        }
        kdx::xxerror('f', "Out of memory");
        return nullptr;
    }
    return e;
}

void freelist(ListHead **list) {
    ListHead *head = *list;
    if (head == nullptr) return;
    for (ListEntry *e = head->next; e != head;) {
        ListEntry *next = e->next;
        std::free(e->key);
        std::free(e);
        e = next;
    }
    delete head->index;
    std::free(head);
    *list = nullptr;
}

bool listhasentries(const ListHead *list) {
    return list != nullptr && list->next != list;
}

} // namespace partlist
