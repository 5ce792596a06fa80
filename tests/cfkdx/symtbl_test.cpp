// The symbol list of a net and the library's text lists.
#include "objmodel.h"

#include <gmock/gmock.h>
#include <vector>

using ::testing::HasSubstr;
using namespace kdx;

namespace {

class SymtblTest : public objmodel::ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top_ = xxnewnetdef("top", nullptr);
        res_ = mkdef("res", {"1", "2"}, {{"primitive", "R"}});
    }
    std::vector<symbol *> list(void *obj, int (*filter)(symbol *), int flags) {
        symbol **array = reinterpret_cast<symbol **>(&top_); // must be overwritten
        int n = xxsymtbl(obj, &array, filter, flags);
        std::vector<symbol *> out(array, array + n);
        if (n == 0) {
            EXPECT_EQ(array, nullptr);
        }
        std::free(array);
        return out;
    }

    net *top_ = nullptr;
    symdef *res_ = nullptr;
};

int onlyprimitives(symbol *s) {
    return s->flags & SYMF_PRIM;
}

TEST_F(SymtblTest, FramesAndConnectorsAreListedOnlyWhenAskedFor) {
    symdef *pin = mkdef("pin", {"P"}, {{"model", "connector"}});
    symdef *frame = mkdef("frame", {}, {{"model", "frame"}});
    symdef *cell = mkdef("cell", {"A"});
    symbol *r1 = place(top_, res_, "R1");
    symbol *c1 = place(top_, pin, "C1", {{"id", "IN"}});
    symbol *f1 = place(top_, frame, "F1");
    symbol *h1 = place(top_, cell, "H1");
    symbol *n1 = place(top_, res_, "N1", {{"model", "null"}});
    symbol *r2 = place(top_, res_, "R2");

    using V = std::vector<symbol *>;
    EXPECT_EQ(list(top_, nullptr, 0), (V{r1, h1, r2}));
    EXPECT_EQ(list(top_, nullptr, SYMTBL_FRAMES), (V{r1, f1, h1, n1, r2}));
    EXPECT_EQ(list(top_, nullptr, SYMTBL_CONNECTORS), (V{r1, c1, h1, r2}));
    EXPECT_EQ(list(top_, nullptr, SYMTBL_FRAMES | SYMTBL_CONNECTORS), (V{r1, c1, f1, h1, n1, r2}));
    EXPECT_EQ(list(top_, onlyprimitives, 0), (V{r1, r2}));
    EXPECT_EQ(xxsymtbl(top_, nullptr, nullptr, 0), 3);
}

TEST_F(SymtblTest, EmptyNetGivesNoArray) {
    EXPECT_TRUE(list(top_, nullptr, 0).empty());
    symdef *pin = mkdef("pin", {"P"}, {{"model", "connector"}});
    place(top_, pin, "C1", {{"id", "IN"}});
    EXPECT_TRUE(list(top_, nullptr, 0).empty());

    EXPECT_TRUE(list(nullptr, nullptr, 0).empty());
    EXPECT_THAT(logtext(), HasSubstr("NULL object parameter"));
    EXPECT_TRUE(list(res_, nullptr, 0).empty());
    EXPECT_THAT(logtext(), HasSubstr("invalid parameter"));
}

TEST_F(SymtblTest, ArrayGrowsPastItsFirstStepAndEndsAtTheCount) {
    std::vector<symbol *> placed;
    for (int i = 0; i < 1025; ++i)
        placed.push_back(xxnewsym(top_, res_, 2));
    EXPECT_EQ(list(top_, nullptr, 0), placed);
    for (int i = 0; i < 2048 - 1025; ++i)
        placed.push_back(xxnewsym(top_, res_, 2));
    EXPECT_EQ(list(top_, nullptr, 0), placed);
}

TEST_F(SymtblTest, InactiveInstancesOfTheNetsFileAreLeftOut) {
    addprop(top_, "file", "/d/top.sch");
    symbol *r1 = place(top_, res_, "R1");
    place(top_, res_, "R2");
    symbol *r3 = place(top_, res_, "R3");
    ASSERT_EQ(xxexclude("r2", "/D/TOP.SCH"), 1);
    ASSERT_EQ(xxexclude("R3", "/d/other.sch"), 1);
    EXPECT_EQ(list(top_, nullptr, 0), (std::vector<symbol *>{r1, r3}));
    xxclrexcl();
}

TEST_F(SymtblTest, TextListKeepsOneCopyOfEachText) {
    char **l = nullptr;
    EXPECT_STREQ(xxgetlist(&xxtmpbuf, l), "");
    EXPECT_EQ(xxaddlist(&l, "A"), 1);
    EXPECT_EQ(xxaddlist(&l, "b"), 1);
    EXPECT_EQ(xxaddlist(&l, "A"), 1);
    EXPECT_EQ(xxaddlist(&l, "a"), 1);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l[3], nullptr);
    EXPECT_STREQ(xxgetlist(&xxtmpbuf, l), "A,b,a");

    // The joined text may exceed the buffer's first block.
    std::string longtext(5000, 'x');
    xxaddlist(&l, longtext.c_str());
    EXPECT_EQ(std::string(xxgetlist(&xxtmpbuf, l)), "A,b,a," + longtext);
    for (char **p = l; *p; ++p)
        std::free(*p);
    std::free(l);
}

} // namespace
