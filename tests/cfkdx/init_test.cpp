// Start and end of the library: the root record, its tables and the buffers.
#include "kdxint.h"

#include <gtest/gtest.h>

namespace {

TEST(XxInit, MakesTheRootOnceWithItsTablesAndBuffers) {
    ASSERT_EQ(kdx::xxgetroot(), nullptr);
    kdx::xxinit();
    kdx::rootnet *root = kdx::xxgetroot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(kdx::rectype(root), kdx::objtype::rootnet);
    ASSERT_NE(root->nets, nullptr);
    ASSERT_NE(root->symdefs, nullptr);
    EXPECT_NE(root->nets, root->symdefs);
    EXPECT_EQ(root->nets->buckets, 97);
    EXPECT_EQ(root->symdefs->buckets, 97);
    EXPECT_EQ(root->nets->significant, -1);
    EXPECT_EQ(root->firstblk, kdx::xxalbuf);
    EXPECT_EQ(root->firstblk->prev, nullptr);
    for (kdx::membuf *b : {kdx::xxtmpbuf, kdx::xxtmpbuf2, kdx::xxportbuf}) {
        ASSERT_NE(b, nullptr);
        EXPECT_GE(static_cast<std::size_t>(b->eptr - b->ptr), kdx::SCRATCH_BLOCK);
    }
    EXPECT_EQ(kdx::xxlinebuf, nullptr); // the reader sets it up

    char *used = kdx::xxalbuf->ptr;
    kdx::xxinit();
    EXPECT_EQ(kdx::xxgetroot(), root);
    EXPECT_EQ(kdx::xxalbuf->ptr, used);
    kdx::xxfreeall();
}

TEST(XxFreeAll, ReleasesEverythingAndAllowsAFreshStart) {
    kdx::xxinit();
    // Spread records over several blocks so the whole chain has to go.
    for (int i = 0; i < 10; ++i)
        ASSERT_NE(kdx::xxcalmem(&kdx::xxalbuf, 30000), nullptr);
    ASSERT_NE(kdx::xxalbuf->prev, nullptr);
    ASSERT_NE(kdx::xxalmem(&kdx::xxlinebuf, 100), nullptr);
    kdx::xxfreeall();
    EXPECT_EQ(kdx::xxgetroot(), nullptr);
    for (kdx::membuf *b :
         {kdx::xxalbuf, kdx::xxtmpbuf, kdx::xxtmpbuf2, kdx::xxportbuf, kdx::xxlinebuf})
        EXPECT_EQ(b, nullptr);
    kdx::xxfreeall(); // twice is harmless

    kdx::xxinit();
    kdx::rootnet *root = kdx::xxgetroot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->nets->count, 0);
    EXPECT_EQ(root->firstblk, kdx::xxalbuf);
    kdx::xxfreeall();
    // Leaks of the chain show under the sanitizer build.
}

TEST(XxFree, ReleasesHeapBlocksAndIgnoresNull) {
    kdx::xxfree(nullptr);
    void *p = kdx::xxalmem(nullptr, 10);
    ASSERT_NE(p, nullptr);
    kdx::xxfree(p);
}

} // namespace
