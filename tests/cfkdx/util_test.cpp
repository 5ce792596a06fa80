// The object buffers: block chaining, exact limits, growth of the scratch buffers.
#include "kdxint.h"
#include "support/testsupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class BufTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(log_.file(), nullptr);
        kdx::xxsetlog(log_.file());
        kdx::xxinit();
    }
    void TearDown() override {
        kdx::xxfreeall();
        kdx::xxsetlog(nullptr);
    }
    std::string logtext() { return log_.text(); }
    static bool aligned(const void *p) {
        return reinterpret_cast<std::uintptr_t>(p) % kdx::RECALIGN == 0;
    }

    testsupport::Capture log_;
};

TEST_F(BufTest, RecordsAreClearedAndAligned) {
    std::memset(kdx::xxalbuf->ptr, 0x5a, 64); // leftovers must not show through
    auto *a = static_cast<unsigned char *>(kdx::xxcalmem(&kdx::xxalbuf, 7));
    auto *b = static_cast<unsigned char *>(kdx::xxcalmem(&kdx::xxalbuf, 1));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(a[i], 0) << i;
    EXPECT_TRUE(aligned(a));
    EXPECT_TRUE(aligned(b));
    EXPECT_GE(b, a + 8);
    char *s = kdx::xxalstr(&kdx::xxalbuf, "R1");
    EXPECT_TRUE(aligned(kdx::xxalmem(&kdx::xxalbuf, 3)));
    EXPECT_STREQ(s, "R1");
    EXPECT_STREQ(kdx::xxalstr(&kdx::xxalbuf, nullptr), "");
}

TEST_F(BufTest, TextIsPackedAndRecordsAfterItStayAligned) {
    char *a = kdx::xxalstr(&kdx::xxalbuf, "R1");
    char *b = kdx::xxalstr(&kdx::xxalbuf, "C22");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b, a + 3); // no padding between strings
    EXPECT_STREQ(a, "R1");
    EXPECT_STREQ(b, "C22");
    void *rec = kdx::xxcalmem(&kdx::xxalbuf, 24);
    EXPECT_TRUE(aligned(rec));
    EXPECT_GE(static_cast<char *>(rec), b + 4);

    // Text that does not fit the rest of a block starts a new one and keeps the old text intact.
    kdx::membuf *first = kdx::xxalbuf;
    std::string piece(2000, 'x');
    std::vector<char *> kept;
    while (kdx::xxalbuf == first)
        kept.push_back(kdx::xxalstr(&kdx::xxalbuf, piece.c_str()));
    EXPECT_EQ(kdx::xxalbuf->prev, first);
    for (char *s : kept)
        EXPECT_EQ(s, piece);
    EXPECT_STREQ(a, "R1");
    EXPECT_LE(first->ptr, first->eptr);
    EXPECT_TRUE(aligned(kdx::xxcalmem(&kdx::xxalbuf, 8)));
}

TEST_F(BufTest, FullBlockChainsANewOneAndOldAddressesStay) {
    kdx::membuf *first = kdx::xxalbuf;
    std::vector<char *> recs;
    while (kdx::xxalbuf == first) {
        char *p = static_cast<char *>(kdx::xxalmem(&kdx::xxalbuf, 1000));
        ASSERT_NE(p, nullptr);
        std::memset(p, static_cast<int>(recs.size()), 1000);
        recs.push_back(p);
    }
    kdx::membuf *second = kdx::xxalbuf;
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(second->prev, first);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(first->eptr, first->ptr); // sealed; its tail is given up
    EXPECT_EQ(static_cast<std::size_t>(second->eptr - reinterpret_cast<char *>(second)),
              kdx::MEMBUF_HDR + kdx::ALBUF_BLOCK + kdx::MEMBUF_SLACK);
    // The record that did not fit went to the start of the new block.
    EXPECT_EQ(recs.back(), reinterpret_cast<char *>(second) + kdx::MEMBUF_HDR);
    for (std::size_t i = 0; i < recs.size(); ++i)
        EXPECT_EQ(recs[i][999], static_cast<char>(i));
    EXPECT_EQ(kdx::xxgetroot()->firstblk, first);
}

TEST_F(BufTest, LargestObjectIs65516Bytes) {
    kdx::xxoptions().nofatal = 1;
    kdx::membuf *before = kdx::xxalbuf;
    char *p = static_cast<char *>(kdx::xxalmem(&kdx::xxalbuf, kdx::ALBUF_MAXREQ));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(kdx::xxalbuf, before);
    std::memset(p, 1, kdx::ALBUF_MAXREQ);
    EXPECT_EQ(logtext(), "");

    kdx::membuf *cur = kdx::xxalbuf;
    char *ptr = cur->ptr;
    EXPECT_EQ(kdx::xxalmem(&kdx::xxalbuf, kdx::ALBUF_MAXREQ + 1), nullptr);
    EXPECT_EQ(logtext(), "fatal error: Object is too large to fit in membuf\n");
    // The refused request left the current block as it was.
    EXPECT_EQ(kdx::xxalbuf, cur);
    EXPECT_EQ(cur->ptr, ptr);
    EXPECT_NE(kdx::xxcalmem(&kdx::xxalbuf, 8), nullptr);
}

TEST_F(BufTest, TooLargeObjectEndsTheRun) {
    int status = 0;
    try {
        kdx::xxalmem(&kdx::xxalbuf, 70000);
    } catch (const kdx::RunAbort &abort) {
        status = abort.status;
    }
    EXPECT_EQ(status, -1);
    EXPECT_EQ(kdx::xxgetroot(), nullptr);
}

TEST_F(BufTest, StringsUpTo2999CharactersAreKept) {
    kdx::xxoptions().nofatal = 1;
    std::string ok(2999, 'a');
    char *s = kdx::xxalstr(&kdx::xxalbuf, ok.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, ok);
    EXPECT_EQ(logtext(), "");

    std::string big(3000, 'b');
    EXPECT_EQ(kdx::xxalstr(&kdx::xxalbuf, big.c_str()), nullptr);
    EXPECT_EQ(logtext(), "internal error: String too long: " + big +
                             "\nThis is a KDX error: Please save the input and report to Morvek "
                             "Corporation.\n");
}

TEST_F(BufTest, BufinitReusesABigEnoughBlockWithoutClearing) {
    kdx::membuf *tmp = kdx::xxtmpbuf;
    char *p = static_cast<char *>(kdx::xxalmem(&kdx::xxtmpbuf, 10));
    std::strcpy(p, "kept");
    kdx::xxbufinit(&kdx::xxtmpbuf, 100);
    EXPECT_EQ(kdx::xxtmpbuf, tmp);
    EXPECT_EQ(kdx::xxtmpbuf->ptr, reinterpret_cast<char *>(tmp) + kdx::MEMBUF_HDR);
    EXPECT_STREQ(reinterpret_cast<char *>(tmp) + kdx::MEMBUF_HDR, "kept");
}

TEST_F(BufTest, BufinitReplacesABlockInsideItsChain) {
    kdx::membuf *a = nullptr, *b = nullptr, *c = nullptr;
    kdx::xxbufinit(&a, 16);
    kdx::xxbufinit(&b, 16);
    kdx::xxbufinit(&c, 16);
    a->next = b;
    b->prev = a;
    b->next = c;
    c->prev = b;
    kdx::xxbufinit(&b, 5000);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(c->prev, b);
    EXPECT_EQ(b->prev, a);
    EXPECT_EQ(b->next, c);
    EXPECT_GE(static_cast<std::size_t>(b->eptr - b->ptr), 5000u);
    for (kdx::membuf *m : {a, b, c})
        std::free(m);
}

TEST_F(BufTest, ScratchBuffersGrowToUsedPlusTwiceTheRequest) {
    kdx::xxoptions().memdebug = 1;
    char *p = static_cast<char *>(kdx::xxalmem(&kdx::xxtmpbuf, 16));
    std::strcpy(p, "survives");
    char *q = static_cast<char *>(kdx::xxalmem(&kdx::xxtmpbuf, 5000));
    ASSERT_NE(q, nullptr);
    std::memset(q, 'q', 5000);
    // The grown block holds the earlier contents at the same offset.
    EXPECT_STREQ(reinterpret_cast<char *>(kdx::xxtmpbuf) + kdx::MEMBUF_HDR, "survives");
    EXPECT_EQ(logtext(), "xxbufexpand xxtmpbuf, oldsize=2051, used=16, newsize=10024\n");
    EXPECT_EQ(static_cast<std::size_t>(kdx::xxtmpbuf->eptr - kdx::xxtmpbuf->ptr), 10024u - 5016u);
}

TEST_F(BufTest, NewBlockTraceWithMemDebug) {
    kdx::xxoptions().memdebug = 1;
    kdx::xxalmem(&kdx::xxalbuf, 40000);
    kdx::xxalmem(&kdx::xxalbuf, 40000);
    std::string text = logtext();
    EXPECT_EQ(text.rfind("xxnewbuf: old=0x", 0), 0u) << text;
    EXPECT_NE(text.find(",newsize=65555=0x10013,"), std::string::npos) << text;
}

TEST_F(BufTest, BufferNames) {
    EXPECT_STREQ(kdx::xxbufname(&kdx::xxalbuf), "xxalbuf");
    EXPECT_STREQ(kdx::xxbufname(&kdx::xxtmpbuf), "xxtmpbuf");
    EXPECT_STREQ(kdx::xxbufname(&kdx::xxtmpbuf2), "xxtmpbuf2");
    EXPECT_STREQ(kdx::xxbufname(&kdx::xxlinebuf), "xxlinebuf");
    EXPECT_STREQ(kdx::xxbufname(&kdx::xxportbuf), "xxportbuf");
    kdx::membuf *other = nullptr;
    EXPECT_STREQ(kdx::xxbufname(&other), "unknown buf");
}

// A long chain: every block comes cleared, records keep their addresses and contents, and the
// blocks are released and made afresh by the next run.
TEST_F(BufTest, LongChainsStayIntactAcrossRuns) {
    constexpr int kRecords = 3000; // 20 MB, some 330 blocks
    constexpr std::size_t kSize = 7000;
    for (int run = 0; run < 2; ++run) {
        std::vector<unsigned char *> recs;
        for (int i = 0; i < kRecords; ++i) {
            auto *p = static_cast<unsigned char *>(kdx::xxalmem(&kdx::xxalbuf, kSize));
            ASSERT_NE(p, nullptr);
            // Fresh block memory is zero: nothing of an earlier record or run shows through.
            ASSERT_EQ(p[0] | p[kSize / 2] | p[kSize - 1], 0) << "run " << run << " record " << i;
            std::memset(p, i & 0xff, kSize);
            recs.push_back(p);
        }
        int blocks = 0;
        for (kdx::membuf *b = kdx::xxgetroot()->firstblk; b != nullptr; b = b->next)
            ++blocks;
        EXPECT_GT(blocks, 300);
        for (int i = 0; i < kRecords; ++i) {
            EXPECT_EQ(recs[i][0], i & 0xff) << i;
            EXPECT_EQ(recs[i][kSize - 1], i & 0xff) << i;
        }
        kdx::xxfreeall();
        kdx::xxinit();
        ASSERT_NE(kdx::xxgetroot(), nullptr);
    }
    EXPECT_EQ(logtext(), "");
}

// The chain's blocks may still be re-made or grown through the general routines: their
// contents and links survive, and the library lets go of all of it without a fault.
TEST_F(BufTest, ChainBlocksCanBeRemadeAndGrown) {
    kdx::membuf *first = kdx::xxalbuf;
    char *p = static_cast<char *>(kdx::xxalmem(&kdx::xxalbuf, 1000));
    ASSERT_NE(p, nullptr);
    while (kdx::xxalbuf == first)
        ASSERT_NE(kdx::xxalmem(&kdx::xxalbuf, 1000), nullptr);
    kdx::membuf *second = kdx::xxalbuf;
    char *q = static_cast<char *>(kdx::xxalmem(&kdx::xxalbuf, 16));
    std::strcpy(q, "kept");
    const std::size_t offset = static_cast<std::size_t>(q - reinterpret_cast<char *>(second));

    kdx::xxbufexpand(&kdx::xxalbuf, 100000);
    kdx::membuf *grown = kdx::xxalbuf;
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(grown) + offset, "kept");
    EXPECT_EQ(grown->prev, first);
    EXPECT_EQ(first->next, grown);
    EXPECT_GE(static_cast<std::size_t>(grown->eptr - grown->ptr), 200000u);

    kdx::xxbufinit(&kdx::xxalbuf, 300000);
    kdx::membuf *remade = kdx::xxalbuf;
    EXPECT_EQ(remade->prev, first);
    EXPECT_EQ(first->next, remade);
    EXPECT_EQ(remade->ptr, reinterpret_cast<char *>(remade) + kdx::MEMBUF_HDR);
    EXPECT_EQ(logtext(), "");
    (void)p;
}

} // namespace
