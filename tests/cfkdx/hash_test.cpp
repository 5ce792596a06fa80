// Hash tables: bucket function, look-up and the two walks.
#include "kdxint.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class HashTest : public ::testing::Test {
  protected:
    void SetUp() override { kdx::xxinit(); }
    void TearDown() override { kdx::xxfreeall(); }

    static kdx::xxnamed *rec(const char *name) {
        auto *r = static_cast<kdx::xxnamed *>(kdx::xxcalmem(&kdx::xxalbuf, sizeof(kdx::xxnamed)));
        r->type = static_cast<std::uint8_t>(kdx::objtype::net);
        r->name = kdx::xxalstr(&kdx::xxalbuf, name);
        return r;
    }
    static kdx::xxnamed *add(kdx::hashtbl *t, const char *name) {
        kdx::xxnamed *r = rec(name);
        kdx::xxinshash(t, r, kdx::xxhashname(t, name));
        return r;
    }
};

TEST_F(HashTest, BucketOfAbcInEachTableSize) {
    EXPECT_EQ(kdx::xxhashname(kdx::xxnewhashtbl(97), "abc"), 71);
    EXPECT_EQ(kdx::xxhashname(kdx::xxnewhashtbl(51), "abc"), 0);
    EXPECT_EQ(kdx::xxhashname(kdx::xxnewhashtbl(531), "abc"), 459);
}

TEST_F(HashTest, HashIgnoresCaseAndExclamationMarks) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(97);
    int b = kdx::xxhashname(t, "Vcc");
    EXPECT_EQ(kdx::xxhashname(t, "VCC"), b);
    EXPECT_EQ(kdx::xxhashname(t, "vcc"), b);
    EXPECT_EQ(kdx::xxhashname(t, "A!"), kdx::xxhashname(t, "A"));
    EXPECT_EQ(kdx::xxhashname(t, "!a!b!c"), 71);
    EXPECT_EQ(kdx::xxhashname(t, ""), 0);
    EXPECT_EQ(kdx::xxhashname(t, nullptr), 0);
    // Bytes above ASCII count negative: -23 is bucket 23.
    EXPECT_EQ(kdx::xxhashname(t, "\xe9"), 23);

    // A limited hash counts the skipped marks toward its limit.
    t->significant = 2;
    EXPECT_EQ(kdx::xxhashname(t, "!abc"), 'A');
    EXPECT_EQ(kdx::xxhashname(t, "abc"), ('A' * 2 + 'B') % 97);
}

TEST_F(HashTest, MostNegativeHashStaysInsideTheTable) {
    // -128 shifted by 24 places is -2^31; each pair (1, -2) adds nothing.
    std::string name = "\x80";
    for (int i = 0; i < 12; ++i)
        name += "\x01\xfe";
    for (int buckets : {97, 51, 531, 1}) {
        kdx::hashtbl *t = kdx::xxnewhashtbl(buckets);
        int b = kdx::xxhashname(t, name.c_str());
        EXPECT_EQ(b, static_cast<int>(2147483648LL % buckets)) << buckets;
    }
}

TEST_F(HashTest, LookupFindsNamesWithoutRegardToCase) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(51);
    kdx::xxnamed *vcc = add(t, "Vcc");
    kdx::xxnamed *a = add(t, "A");
    EXPECT_EQ(t->count, 2);
    EXPECT_EQ(kdx::xxfindhash(t, "VCC"), vcc);
    EXPECT_EQ(kdx::xxfindhash(t, "vcc"), vcc);
    EXPECT_EQ(kdx::xxfindhash(t, "A"), a);
    EXPECT_EQ(kdx::xxfindhash(t, "A!"), nullptr); // same bucket, different name
    EXPECT_EQ(kdx::xxfindhash(t, nullptr), nullptr);
    EXPECT_EQ(kdx::xxhashlookup(t, "A", kdx::xxhashname(t, "A") + 1, 0), nullptr);
    EXPECT_EQ(kdx::xxhashlookup(t, "A", -1, 0), nullptr);
    EXPECT_EQ(kdx::xxhashlookup(t, "A", 51, 0), nullptr);
}

std::vector<std::string> visited;
void visit(kdx::xxnamed *r) {
    visited.push_back(r->name);
}
int filtercalls = 0;
int rejectall(kdx::xxnamed *) {
    ++filtercalls;
    return 0;
}
int onlyb(kdx::xxnamed *r) {
    return r->name[0] == 'b';
}

TEST_F(HashTest, WalksGoByBucketAndNewestFirst) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(51);
    // "abc", "ABC!" and "!aBc" share bucket 0; "b" (66) is bucket 15, "a" bucket 14.
    add(t, "abc");
    add(t, "b");
    add(t, "ABC!");
    add(t, "a");
    add(t, "!aBc");
    const std::vector<std::string> order = {"!aBc", "ABC!", "abc", "a", "b"};

    visited.clear();
    kdx::xxhashapply(t, visit);
    EXPECT_EQ(visited, order);

    visited.clear();
    int bucket = 0;
    for (kdx::xxnamed *r = kdx::xxnexthash(t, nullptr, &bucket, nullptr); r != nullptr;
         r = kdx::xxnexthash(t, r, &bucket, nullptr))
        visit(r);
    EXPECT_EQ(visited, order);
    EXPECT_EQ(bucket, 50);

    visited.clear();
    bucket = 0;
    for (kdx::xxnamed *r = kdx::xxnexthash(t, nullptr, &bucket, onlyb); r != nullptr;
         r = kdx::xxnexthash(t, r, &bucket, onlyb))
        visit(r);
    EXPECT_EQ(visited, std::vector<std::string>{"b"});
}

TEST_F(HashTest, FilterAcceptingNothingVisitsEveryRecordOnce) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(97);
    for (const char *n : {"R1", "R2", "C1", "U7", "abc"})
        add(t, n);
    int bucket = 0;
    filtercalls = 0;
    EXPECT_EQ(kdx::xxnexthash(t, nullptr, &bucket, rejectall), nullptr);
    EXPECT_EQ(filtercalls, 5);
    EXPECT_EQ(bucket, 96);
}

TEST_F(HashTest, WalkWithoutBucketVariableEnds) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(97);
    kdx::xxnamed *r1 = add(t, "R1");
    add(t, "R2");
    add(t, "abc");
    filtercalls = 0;
    // Continuing from a record, the rest of the table is searched once, then the walk ends.
    EXPECT_EQ(kdx::xxnexthash(t, r1, nullptr, rejectall), nullptr);
    EXPECT_LE(filtercalls, 2);
    EXPECT_EQ(kdx::xxnexthash(t, nullptr, nullptr, rejectall), nullptr);
    // Without a filter the next record after r1 in bucket order comes back.
    kdx::xxnamed *next = kdx::xxnexthash(t, r1, nullptr, nullptr);
    if (next != nullptr) {
        EXPECT_GT(kdx::xxhashname(t, next->name), kdx::xxhashname(t, "R1"));
    }
}

} // namespace

// A table far fuller than its buckets answers through its look-up index: the answers and the
// walks must stay exactly those of the chains.
TEST_F(HashTest, CrowdedTableAnswersAsItsChains) {
    kdx::hashtbl *t = kdx::xxnewhashtbl(5);
    std::vector<kdx::xxnamed *> recs;
    for (int i = 0; i < 500; ++i)
        recs.push_back(add(t, ("n" + std::to_string(i)).c_str()));
    ASSERT_NE(t->index, nullptr);
    for (int i = 0; i < 500; ++i) {
        std::string upper = "N" + std::to_string(i);
        EXPECT_EQ(kdx::xxfindhash(t, upper.c_str()), recs[i]);
    }
    EXPECT_EQ(kdx::xxfindhash(t, "n500"), nullptr);
    EXPECT_EQ(kdx::xxfindhash(t, "n1!"), nullptr);

    // A second record of a name (symbols may repeat one) is the one found, as in its chain.
    kdx::xxnamed *again = add(t, "N7");
    EXPECT_EQ(kdx::xxfindhash(t, "n7"), again);

    // The walk still goes bucket by bucket, newest first.
    std::vector<kdx::xxnamed *> walked;
    int bucket = 0;
    for (kdx::xxnamed *r = kdx::xxnexthash(t, nullptr, &bucket, nullptr); r != nullptr;
         r = kdx::xxnexthash(t, r, &bucket, nullptr))
        walked.push_back(r);
    std::vector<kdx::xxnamed *> chains;
    for (int b = 0; b < t->buckets; ++b)
        for (kdx::xxnamed *r = t->heads[b]; r != nullptr; r = r->hlink)
            chains.push_back(r);
    EXPECT_EQ(walked, chains);
    EXPECT_EQ(walked.size(), 501u);
}

// The indexes live beside the object buffer and go with it.
TEST_F(HashTest, IndexesAreReleasedWithTheLibrary) {
    for (int round = 0; round < 3; ++round) {
        kdx::hashtbl *t = kdx::xxnewhashtbl(3);
        for (int i = 0; i < 100; ++i)
            add(t, ("x" + std::to_string(i)).c_str());
        EXPECT_NE(t->index, nullptr);
        kdx::xxfreeall();
        kdx::xxinit();
    }
}
