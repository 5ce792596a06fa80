// partlist_lists.cpp - the sorted, circular part lists shared by the collection and the report.
//
// A list keeps its entries in byte order of their keys; entries with equal keys stay in the order
// they were first met. Beside the ring, the head owns an index of key groups (and, inside a
// list, of key and property text pairs), so finding or inserting an entry never walks the list: a
// sheet with many distinct parts costs O(log n) per part, not O(n). Entries, their keys and the
// index live in an arena of the list, released whole by freelist: a list only ever grows until
// then. The arenas' blocks are kept for the next list until the run's clean-up (freelistmemory).
#include "partlistint.h"

#include "kdx.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <memory_resource>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

namespace partlist {

namespace {

// Hashes property texts for look-ups by a plain text, without making a string of it first.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

inline constexpr std::size_t ARENA_FIRST = 4096;             // first block of a list's arena
inline constexpr std::size_t CACHE_LIMIT = 16 * 1024 * 1024; // bytes of blocks kept for reuse

// Blocks that list arenas gave back, kept for the next list. A sheet's lists are made and
// released once per sheet, each growing through the same block sizes; handing those blocks to
// malloc and back every time costs more than the lists themselves (the heap is trimmed and
// grown again). The walk makes lists while the printing helper makes and releases others, so
// the cache is shared under a lock (taken once per block, not per entry).
class BlockCache final : public std::pmr::memory_resource {
  public:
    ~BlockCache() override { release(); }

    void release() {
        std::lock_guard lock(mutex_);
        while (free_ != nullptr) {
            Block *b = free_;
            free_ = b->next;
            std::pmr::new_delete_resource()->deallocate(b, b->size, b->align);
        }
        cached_ = 0;
    }

  private:
    struct Block {
        Block *next;
        std::size_t size;
        std::size_t align;
    };

    void *do_allocate(std::size_t bytes, std::size_t align) override {
        std::lock_guard lock(mutex_);
        for (Block **b = &free_; *b != nullptr; b = &(*b)->next) {
            if ((*b)->size == bytes && (*b)->align == align) {
                Block *hit = *b;
                *b = hit->next;
                cached_ -= bytes;
                return hit;
            }
        }
        return std::pmr::new_delete_resource()->allocate(bytes, align);
    }

    void do_deallocate(void *p, std::size_t bytes, std::size_t align) override {
        std::lock_guard lock(mutex_);
        if (bytes >= sizeof(Block) && align >= alignof(Block) && cached_ + bytes <= CACHE_LIMIT) {
            free_ = new (p) Block{free_, bytes, align};
            cached_ += bytes;
            return;
        }
        std::pmr::new_delete_resource()->deallocate(p, bytes, align);
    }

    bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override {
        return this == &other;
    }

    std::mutex mutex_;
    Block *free_ = nullptr;  // kept blocks, the last given back first
    std::size_t cached_ = 0; // their bytes
};

// Made on first use rather than at load, so the library has no static constructor.
BlockCache &blockcache() {
    static BlockCache cache;
    return cache;
}

// Part entries by their key and property text, joined by a zero byte that neither holds.
using PartIndex = std::pmr::unordered_map<std::pmr::string, ListEntry *, TextHash, std::equal_to<>>;

// The entries of one key, which lie next to each other in the ring.
struct KeyGroup {
    ListEntry *first; // first entry of the key
    ListEntry *last;  // last entry of the key
};

} // namespace

// std::string_view compares through char_traits<char>, which orders bytes as unsigned.
struct ListIndex {
    std::pmr::monotonic_buffer_resource arena{ARENA_FIRST, &blockcache()}; // entries, keys, index
    std::pmr::map<std::string_view, KeyGroup> groups{&arena}; // keys view the entries' keys
    PartIndex parts{&arena};                                  // key, property text -> first entry
    std::pmr::string probe{&arena};                           // the pair being looked up
};

namespace {

ListHead *newhead() {
    auto *head = static_cast<ListHead *>(std::calloc(1, sizeof(ListHead)));
    if (head == nullptr) {
        printfailure("Out of memory");
        return nullptr;
    }
    head->index = new (std::nothrow) ListIndex;
    if (head->index == nullptr) {
        std::free(head);
        printfailure("Out of memory");
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
    return addlisttext(list, key, size, sym != nullptr ? propkey(sym) : nullptr);
}

ListEntry *addlisttext(ListHead **list, const char *key, std::size_t size, const char *text) {
    ListHead *head = makelist(list);
    if (head == nullptr) return nullptr;
    if (key == nullptr) key = "";
    // Only part entries carry a property text that can be matched.
    const bool parts = size == sizeof(PartEntry);
    const bool matchtext = text != nullptr;
    const char *props = matchtext ? text : "";

    ListIndex &index = *head->index;
    auto &groups = index.groups;
    const std::string_view keyview(key);
    try {
        if (parts || matchtext) {
            index.probe.assign(keyview);
            index.probe.push_back('\0');
            index.probe.append(props);
        }
        // A part met before is found by its pair alone, without searching the keys.
        if (matchtext) {
            auto hit = index.parts.find(std::string_view(index.probe));
            if (hit != index.parts.end()) return hit->second;
        }
        // Where a new key goes. Lists are often built in key order (a print list follows its part
        // list), so a key behind the last one is placed without searching.
        auto at = groups.empty() || std::prev(groups.end())->first < keyview
                      ? groups.end()
                      : groups.lower_bound(keyview);
        auto found = at != groups.end() && at->first == keyview ? at : groups.end();
        if (found != groups.end() && !matchtext) return found->second.first;

        if (size < sizeof(ListEntry)) size = sizeof(ListEntry);
        const std::size_t keylen = keyview.size();
        auto *e = static_cast<ListEntry *>(index.arena.allocate(size, alignof(std::max_align_t)));
        std::memset(static_cast<void *>(e), 0, size);
        char *copy = static_cast<char *>(index.arena.allocate(keylen + 1, 1));
        std::memcpy(copy, key, keylen + 1);
        e->key = copy;
        if (parts) {
            // Held from the start, so that the index and the entry agree.
            auto *pe = static_cast<PartEntry *>(e);
            std::memcpy(pe->properties, props, strnlen(props, PROPTEXT_SIZE - 1));
        }
        if (found == groups.end()) {
            found = groups.emplace_hint(at, std::string_view(copy), KeyGroup{e, e});
            auto after = std::next(found);
            linkbefore(after != groups.end() ? after->second.first : head, e);
        } else {
            // Behind the entries met earlier with the same key.
            linkbefore(found->second.last->next, e);
            found->second.last = e;
        }
        if (parts) index.parts.emplace(std::string_view(index.probe), e);
        return e;
    } catch (const std::bad_alloc &) {
        // An entry made before the failure stays in the arena until the list is released.
        printfailure("Out of memory");
        return nullptr;
    }
}

void freelist(ListHead **list) {
    ListHead *head = *list;
    if (head == nullptr) return;
    delete head->index; // the entries and their keys with it
    std::free(head);
    *list = nullptr;
}

bool listhasentries(const ListHead *list) {
    return list != nullptr && list->next != list;
}

void freelistmemory() {
    blockcache().release();
}

void initlistmemory() {
    blockcache();
}

} // namespace partlist
