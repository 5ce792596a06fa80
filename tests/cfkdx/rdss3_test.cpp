// Bus-name expansion and the list of inactive instances.
#include "objmodel.h"

#include <string>
#include <vector>

namespace {

using objmodel::ObjModelTest;

class BusNameTest : public ObjModelTest {
  protected:
    std::vector<std::string> expand(const char *name) {
        char *names[kdx::BUSMAX];
        int n = kdx::xxbusexp(&kdx::xxtmpbuf, name, names);
        return std::vector<std::string>(names, names + n);
    }
    using V = std::vector<std::string>;
};

TEST_F(BusNameTest, MembersOfRangesListsAndPlainNames) {
    EXPECT_EQ(expand("D[0:3]"), (V{"D[0]", "D[1]", "D[2]", "D[3]"}));
    EXPECT_EQ(expand("A<3:1>,B"), (V{"A<3>", "A<2>", "A<1>", "B"}));
    EXPECT_EQ(expand("X[1,5]"), (V{"X[1]", "X[5]"}));
    EXPECT_EQ(expand("A[1:1]"), (V{"A[1]"}));
    EXPECT_EQ(expand("Q[2-0]"), (V{"Q[2]", "Q[1]", "Q[0]"}));
    EXPECT_EQ(expand("N[-1:1]"), (V{"N[-1]", "N[0]", "N[1]"}));
    EXPECT_EQ(expand("M[-2]"), (V{"M[-2]"}));
    EXPECT_EQ(expand("CLK"), (V{"CLK"}));
    // Only the first pair of an element is expanded; what follows is copied.
    EXPECT_EQ(expand("R[0:1].x[7]"), (V{"R[0].x[7]", "R[1].x[7]"}));
    EXPECT_EQ(expand("S[1,3:4],T<0>"), (V{"S[1]", "S[3]", "S[4]", "T<0>"}));
    EXPECT_EQ(count("Illegal"), 0);
}

TEST_F(BusNameTest, IllegalNamesGiveNothing) {
    for (const char *bad : {"A[]", "A[x:2]", "A[x]", "A[1:y]", "A[0:3", "A]", ",A", "A,", "A,,B",
                            "", "A[1,]", "A<2>>"}) {
        EXPECT_TRUE(expand(bad).empty()) << bad;
        EXPECT_EQ(count("Illegal name: \"" + std::string(bad) + "\""), 1) << bad;
    }
}

TEST_F(BusNameTest, TooWideBuses) {
    EXPECT_EQ(expand("A[0:998]").size(), 999u);
    EXPECT_TRUE(expand("A[0:999]").empty());
    EXPECT_EQ(count("Bus too big: \"A[0:999]\""), 1);
    // A range far beyond the limit stops at once.
    EXPECT_TRUE(expand("B[0:2000000000]").empty());
    EXPECT_TRUE(expand("C[99999999999999999999:0]").empty());
    EXPECT_EQ(count("Bus too big"), 3);
    // Long names fit the scratch buffer however long they are.
    std::string stem(1500, 's');
    V two = expand((stem + "[0:1]").c_str());
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1], stem + "[1]");
}

using ExclusionTest = ObjModelTest;

TEST_F(ExclusionTest, PairsCompareWithoutCaseAndStopAtTheLimit) {
    EXPECT_EQ(kdx::xxexcluded("R1", "top.sch"), 0);
    EXPECT_EQ(kdx::xxexclude("R1", "top.sch"), 1);
    EXPECT_EQ(kdx::xxexcluded("r1", "TOP.SCH"), 1);
    EXPECT_EQ(kdx::xxexcluded("R1", "other.sch"), 0);
    EXPECT_EQ(kdx::xxexcluded("R", "1top.sch"), 0);
    for (int i = 1; i < 1024; i++)
        EXPECT_EQ(kdx::xxexclude(("U" + std::to_string(i)).c_str(), "top.sch"), 1);
    EXPECT_EQ(kdx::xxexclude("LATE", "top.sch"), 0);
    EXPECT_EQ(kdx::xxexcluded("LATE", "top.sch"), 0);
    EXPECT_EQ(kdx::xxexcluded("U1023", "top.sch"), 1);
}

TEST_F(ExclusionTest, TheListBelongsToOneRun) {
    kdx::xxexclude("R1", "top.sch");
    kdx::xxcleanup();
    EXPECT_EQ(kdx::xxexcluded("R1", "top.sch"), 0);
    kdx::xxinit();
    EXPECT_EQ(kdx::xxexclude("R2", "top.sch"), 1);
    EXPECT_EQ(kdx::xxexcluded("R2", "top.sch"), 1);
}

} // namespace
