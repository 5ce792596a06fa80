// The sorted part lists: byte order, grouping of equal keys, release.
#include "partlistint.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using partlist::ListHead;

std::vector<std::string> keys(const ListHead *list) {
    std::vector<std::string> out;
    for (const partlist::ListEntry *e = list->next; e != list; e = e->next)
        out.emplace_back(e->key);
    return out;
}

TEST(AddList, SortsByUnsignedBytes) {
    ListHead *list = nullptr;
    EXPECT_FALSE(partlist::listhasentries(list));
    for (const char *k : {"R2", "r1", "R10", "\xe9t", "C1", "R1", "z", ""})
        partlist::addlist(&list, k, sizeof(partlist::SheetEntry), 0, nullptr);
    EXPECT_TRUE(partlist::listhasentries(list));
    EXPECT_EQ(keys(list),
              (std::vector<std::string>{"", "C1", "R1", "R10", "R2", "r1", "z", "\xe9t"}));
    partlist::freelist(&list);
    EXPECT_EQ(list, nullptr);
    partlist::freelist(&list); // an absent list is skipped
}

TEST(AddList, KeyAloneFindsTheFirstEntryAndItsCounts) {
    ListHead *list = nullptr;
    auto *a = static_cast<partlist::SheetEntry *>(
        partlist::addlist(&list, "amp.sch", sizeof(partlist::SheetEntry), 0, nullptr));
    a->count += 1;
    auto *b = static_cast<partlist::SheetEntry *>(
        partlist::addlist(&list, "amp.sch", sizeof(partlist::SheetEntry), 0, nullptr));
    EXPECT_EQ(a, b);
    b->count += 1;
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(a->visit, 0);
    EXPECT_EQ(keys(list).size(), 1u);
    partlist::freelist(&list);
}

TEST(AddList, ManyKeysStayOrderedAndCheap) {
    // Inserted in descending order, the worst case of a walking insertion.
    ListHead *list = nullptr;
    const int n = 20000;
    char key[16];
    for (int i = n - 1; i >= 0; --i) {
        std::snprintf(key, sizeof key, "P%06d", i);
        partlist::addlist(&list, key, sizeof(partlist::PartEntry), 0, nullptr);
    }
    std::vector<std::string> k = keys(list);
    ASSERT_EQ(k.size(), static_cast<std::size_t>(n));
    EXPECT_TRUE(std::is_sorted(k.begin(), k.end()));
    partlist::freelist(&list);
}

} // namespace
