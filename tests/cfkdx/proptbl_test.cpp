// The property table of an object: inherited lists, qualifiers, targeted lists, duplicates.
#include "objmodel.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using objmodel::ObjModelTest;

class PropTableTest : public ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top = kdx::xxnewnetdef("top.sch", nullptr);
    }
    // The texts of the table, with the array freed.
    static std::vector<std::string> table(void *obj, int flags, kdx::PropFilter filter = nullptr) {
        kdx::prop **arr = nullptr;
        int n = kdx::xxproptbl(obj, &arr, filter, flags);
        std::vector<std::string> out;
        for (int i = 0; i < n; i++)
            out.emplace_back(arr[i]->text);
        std::free(arr);
        return out;
    }
    kdx::net *top = nullptr;
};

TEST_F(PropTableTest, InstanceDefinitionAndRootListsFirstWins) {
    addprop(kdx::xxgetroot(), "R", "1k");
    addprop(kdx::xxgetroot(), "VENDOR", "acme");
    kdx::symdef *d = mkdef("res.sym", {"1", "2"}, {{"primitive", "R"}, {"TOL", "5%"}, {"R", "10"}});
    kdx::symbol *s = place(top, d, "R1", {{"R", "2k"}});
    std::vector<std::string> all{"R:2k", "tn:res", "primitive:R", "TOL:5%", "VENDOR:acme"};
    EXPECT_EQ(table(s, 0), all);
    // The part list leaves the definition out.
    std::vector<std::string> own{"R:2k", "VENDOR:acme"};
    EXPECT_EQ(table(s, kdx::FP_NODEF), own);
    std::vector<std::string> dups{"R:2k", "tn:res", "primitive:R", "TOL:5%",
                                  "R:10", "R:1k",   "VENDOR:acme"};
    EXPECT_EQ(table(s, kdx::FP_DUPS), dups);
}

TEST_F(PropTableTest, QualifiersHiddenPropertiesAndFilters) {
    kdx::xxaddqual("FAST");
    kdx::symdef *d = mkdef("res.sym", {"1"});
    kdx::symbol *s = place(top, d, "R1");
    addprop(s, "(SLOW)R", "1");
    addprop(s, "(FAST)R", "2");
    addprop(s, "(FAST&!SLOW)C", "3");
    addprop(s, "(FAST", "bad");
    addprop(s, "H", "hidden")->flags |= kdx::PROPF_HIDDEN;
    addprop(s, "Q", "1");
    std::vector<std::string> want{"(FAST)R:2", "(FAST&!SLOW)C:3", "Q:1", "tn:res"};
    EXPECT_EQ(table(s, 0), want);
    EXPECT_EQ(count("bad qualifier expression: (FAST:bad"), 1);

    auto onlyq = [](kdx::prop *p) { return p->text[0] == 'Q' ? 1 : 0; };
    std::vector<std::string> filtered{"Q:1"};
    EXPECT_EQ(table(s, 0, onlyq), filtered);
}

TEST_F(PropTableTest, TargetedListsOfAPortKeepOnlyTheirPort) {
    kdx::symdef *d = mkdef("amp.sym", {"A", "B"}, {{"ppin(A)", "VCC"}, {"SPEED", "9"}});
    kdx::symbol *s = place(top, d, "U1", {{"ppin(B)", "GND"}, {"X(A)", "1"}, {"GAIN", "3"}});
    kdx::port *a = kdx::xxfsp(s, "A", 0);
    addprop(a, "PIN", "7");
    std::vector<std::string> want{"PIN:7", "X(A):1", "ppin(A):VCC"};
    EXPECT_EQ(table(a, 0), want);
}

TEST_F(PropTableTest, EmptyLargeAndNull) {
    kdx::prop **arr = reinterpret_cast<kdx::prop **>(&arr);
    kdx::node *n = kdx::xxnewnode(top, "N", nullptr, nullptr);
    EXPECT_EQ(kdx::xxproptbl(n, &arr, nullptr, 0), 0);
    EXPECT_EQ(arr, nullptr);

    for (int i = 0; i < 1500; i++)
        addprop(n, ("P" + std::to_string(i)).c_str(), "v");
    EXPECT_EQ(kdx::xxproptbl(n, nullptr, nullptr, 0), 1500);
    EXPECT_EQ(kdx::xxproptbl(n, &arr, nullptr, 0), 1500);
    ASSERT_NE(arr, nullptr);
    EXPECT_STREQ(arr[1499]->text, "P1499:v");
    std::free(arr);

    EXPECT_EQ(kdx::xxproptbl(nullptr, &arr, nullptr, 0), 0);
    EXPECT_EQ(count("NULL object parameter"), 1);
}

TEST_F(PropTableTest, ManyNamesKeepTheFirstOfEach) {
    // More names and entries than a table keeps in place: the instance's 80 values win over the
    // definition's, and the definition adds only what the instance lacks.
    kdx::symdef *d = mkdef("big.sym", {"1"});
    for (int i = 0; i < 90; i++)
        addprop(d, ("P" + std::to_string(i)).c_str(), "def");
    kdx::symbol *s = place(top, d, "U1");
    for (int i = 79; i >= 0; i--)
        addprop(s, ("P" + std::to_string(i)).c_str(), "own");
    std::vector<std::string> got = table(s, 0);
    ASSERT_EQ(got.size(), 80u + 1u + 10u);
    for (int i = 0; i < 80; i++)
        EXPECT_EQ(got[static_cast<std::size_t>(i)], "P" + std::to_string(79 - i) + ":own");
    EXPECT_EQ(got[80], "tn:big");
    EXPECT_EQ(got[81], "P80:def");
    EXPECT_EQ(got.back(), "P89:def");
}

} // namespace
