// The sorted part lists: byte order, grouping of equal keys, release.
#include "partlistint.h"

#include <algorithm>
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

TEST(AddList, KeysMetInOrderAndOutOfItStaySorted) {
    // Mostly ascending keys with a few out of order and repeats, as a print list receives them.
    ListHead *list = nullptr;
    partlist::ListEntry *b = nullptr;
    for (const char *k : {"A", "B", "D", "C", "B", "E", "AA", "E", "F"}) {
        partlist::ListEntry *e =
            partlist::addlist(&list, k, sizeof(partlist::ListEntry), 0, nullptr);
        if (std::string(k) == "B") {
            if (b == nullptr) b = e;
            EXPECT_EQ(e, b);
        }
    }
    EXPECT_EQ(keys(list), (std::vector<std::string>{"A", "AA", "B", "C", "D", "E", "F"}));
    partlist::freelist(&list);
}

TEST(AddList, ListsMadeAfterOthersWereReleasedKeepTheirKeys) {
    // Released lists hand their memory on to the next ones; every list still holds its own keys.
    for (int round = 0; round < 40; ++round) {
        ListHead *lists[3] = {nullptr, nullptr, nullptr};
        for (int i = 0; i < 300; ++i) {
            const std::string key = "K" + std::to_string(round) + "-" + std::to_string(i * 7 % 300);
            auto *e = static_cast<partlist::PartEntry *>(partlist::addlist(
                &lists[i % 3], key.c_str(), sizeof(partlist::PartEntry), 0, nullptr));
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->count, 0);
            EXPECT_EQ(e->properties[0], '\0');
            e->count = i;
        }
        for (ListHead *l : lists) {
            std::vector<std::string> k = keys(l);
            EXPECT_EQ(k.size(), 100u);
            EXPECT_TRUE(std::is_sorted(k.begin(), k.end()));
            EXPECT_EQ(k.front().rfind("K" + std::to_string(round) + "-", 0), 0u);
        }
        for (ListHead *&l : lists)
            partlist::freelist(&l);
    }
    partlist::freelistmemory();
}

} // namespace
