// Nodes: naming, aliasing, logic and global nodes, buses, wires; the library's name lists.
#include "objmodel.h"

#include <gmock/gmock.h>
#include <string>
#include <vector>

using ::testing::HasSubstr;
using ::testing::Not;
using namespace kdx;

namespace {

class NodeTest : public objmodel::ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top_ = xxnewnetdef("top", nullptr);
        gate_ = mkdef("gate", {"A", "B", "Y"});
        res_ = mkdef("res", {"1", "2"}, {{"primitive", "R"}});
    }
    // A fresh, unconnected port of a new hierarchical symbol.
    port *newport(const char *name = "A") { return xxfsp(place(top_, gate_, nullptr), name, 0); }
    node *mk(const char *name) { return xxnewnode(top_, name, nullptr, nullptr); }
    std::vector<port *> ports(node *n) {
        std::vector<port *> out;
        for (port *p = xxportnext(n, nullptr, nullptr, 0); p; p = xxportnext(n, p, nullptr, 0))
            out.push_back(p);
        return out;
    }

    net *top_ = nullptr;
    symdef *gate_ = nullptr;
    symdef *res_ = nullptr;
};

TEST_F(NodeTest, AliasKeepsThePreferredName) {
    struct Case {
        const char *first, *second, *kept;
    } cases[] = {
        {"A", "B", "A"},        {"B", "A", "A"},       // same length: the one that sorts first
        {"A1", "B", "B"},       {"B", "A1", "B"},      // the shorter
        {"f#3", "OUT", "OUT"},  {"OUT", "f#3", "OUT"}, // a written name over a generated one
        {"f#3", "io#1", "f#3"},                        // two generated names: the first
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.first) + "/" + c.second);
        net *n = xxnewnetdef((std::string("n") + c.first + c.second).c_str(), nullptr);
        node *a = xxnewnode(n, c.first, nullptr, nullptr);
        node *b = xxnewnode(n, c.second, nullptr, nullptr);
        xxnodealias(a, b);
        node *keep = xxunalias(a);
        EXPECT_EQ(keep, xxunalias(b));
        EXPECT_STREQ(keep->name, c.kept);
        EXPECT_FALSE(keep->flags & NODEF_ALIASED);
        EXPECT_TRUE((keep == a ? b : a)->flags & NODEF_ALIASED);
        // Later connections by either name land on the representative.
        EXPECT_EQ(xxnewnode(n, c.first, nullptr, nullptr), keep);
        EXPECT_EQ(xxnewnode(n, c.second, nullptr, nullptr), keep);
    }
    EXPECT_EQ(logtext(), "");
}

TEST_F(NodeTest, PreferenceOrderOfChooseNode) {
    const int G = NODEF_GLOBAL;
    EXPECT_EQ(xxchoosenode("*logic1*", G, 0, "VCC", G, 0), 0);
    EXPECT_EQ(xxchoosenode("VCC", G, 0, "*logic1*", G, 0), 1);
    EXPECT_EQ(xxchoosenode("A", 0, 0, "LONGNAME", G, 0), 1);
    EXPECT_EQ(xxchoosenode("f#1", G, 0, "OUT", 0, 0), 0);
    EXPECT_EQ(xxchoosenode("A", 0, 2, "LONG", 0, 1), 1);
    EXPECT_EQ(xxchoosenode("LONG", 0, 1, "A", 0, 2), 0);
    EXPECT_EQ(xxchoosenode("A", 0, 0, "LONG", 0x0800, 0), 1);
    EXPECT_EQ(xxchoosenode("LONG", 0x0800, 0, "A", 0, 0), 0);
    EXPECT_EQ(xxchoosenode("SAME", 0, 0, "SAME", 0, 0), 0);
    EXPECT_EQ(logtext(), "");
}

TEST_F(NodeTest, JoiningLogicOrGlobalNodesWarns) {
    EXPECT_EQ(xxchoosenode("*logic0*", NODEF_GLOBAL, 0, "*logic1*", NODEF_GLOBAL, 0), 1);
    EXPECT_EQ(count("warning: Logic0 and logic1 are connected together\n"), 1);
    xxchoosenode("VCC", NODEF_GLOBAL, 0, "VDD", NODEF_GLOBAL, 0);
    EXPECT_EQ(count("warning: Two global nodes are connected: VCC and VDD\n"), 1);
    // A global node joining a logic node, or a plain one, is expected.
    xxchoosenode("*logic0*", NODEF_GLOBAL, 0, "GND", NODEF_GLOBAL, 0);
    xxchoosenode("VCC", NODEF_GLOBAL, 0, "N1", 0, 0);
    EXPECT_EQ(count("warning:"), 2);

    xxgetroot()->opts |= ROOTO_LOGICPWR;
    xxnodealias(mk("GND"), mk("Vcc"));
    EXPECT_EQ(count("Logic0 and logic1"), 2);
}

TEST_F(NodeTest, GlobalNamesLoseTheirMark) {
    port *p1 = newport();
    port *p2 = newport();
    node *vcc = xxnewnode(top_, "VCC!", p1, nullptr);
    EXPECT_STREQ(vcc->name, "VCC");
    EXPECT_TRUE(vcc->flags & NODEF_GLOBAL);
    EXPECT_EQ(xxnewnode(top_, "vcc", p2, nullptr), vcc);
    EXPECT_EQ(ports(vcc), (std::vector<port *>{p2, p1}));

    // A port without a name gives its own only when that name is global.
    symdef *pwr = mkdef("pwr", {"VSS!", "OUT"});
    symbol *s = place(top_, pwr, "P1");
    EXPECT_STREQ(xxnewnode(top_, nullptr, xxfsp(s, "VSS!", 0), nullptr)->name, "VSS");
    EXPECT_STREQ(xxnewnode(top_, nullptr, xxfsp(s, "OUT", 0), nullptr)->name, "f#0");
}

TEST_F(NodeTest, PowerAndGroundBecomeLogicNodesOnlyWhenAsked) {
    node *gnd = xxnewnode(top_, "GND", newport(), nullptr);
    EXPECT_STREQ(gnd->name, "GND");
    EXPECT_TRUE(gnd->flags & NODEF_GLOBAL);
    EXPECT_FALSE(gnd->flags & NODEF_FREE);

    xxgetroot()->opts |= ROOTO_LOGICPWR;
    node *l0 = xxnewnode(top_, "GND", newport(), nullptr);
    EXPECT_STREQ(l0->name, "*logic0*");
    EXPECT_NE(l0, gnd);
    EXPECT_EQ(xxnewnode(top_, "Vss!", newport(), nullptr), l0);
    EXPECT_STREQ(xxnewnode(top_, "Vdd", newport(), nullptr)->name, "*logic1*");
    // Names are found without case, but only exact names are logic names.
    EXPECT_EQ(xxnewnode(top_, "gnd", newport(), nullptr), gnd);
    EXPECT_FALSE(xxnodeisfree(l0));
}

TEST_F(NodeTest, UnconnectedPinsGetNumberedNodesPerNet) {
    symbol *u1 = place(top_, gate_, "U1");
    std::vector<std::string> names;
    for (const char *p : {"A", "B", "Y"})
        names.push_back(xxnewnode(top_, nullptr, xxfsp(u1, p, 0), nullptr)->name);
    EXPECT_EQ(names, (std::vector<std::string>{"f#0", "f#1", "f#2"}));

    net *other = xxnewnetdef("other", nullptr);
    symbol *u2 = place(other, gate_, "U1");
    EXPECT_STREQ(xxnewnode(other, nullptr, xxfsp(u2, "A", 0), nullptr)->name, "f#0");

    // A power pin is never named by its wire while power pins are not extracted.
    xxgetroot()->opts |= ROOTO_NOPWRPINS;
    port *b = xxfsp(u2, "B", 0);
    b->flags |= PORTF_PPIN;
    EXPECT_STREQ(xxnewnode(other, "VCC", b, nullptr)->name, "f#1");
    // An ordinary pin still joins the node its wire names.
    EXPECT_STREQ(xxnewnode(other, "N1", xxfsp(u2, "Y", 0), nullptr)->name, "N1");
}

TEST_F(NodeTest, NodeIsFreeUntilItsSecondPort) {
    port *p1 = xxfsp(place(top_, res_, "R1"), "1", 0);
    node *n = xxnewnode(top_, "N", p1, nullptr);
    EXPECT_TRUE(n->flags & NODEF_FREE);
    EXPECT_TRUE(xxnodeisfree(n));
    EXPECT_FALSE(n->flags & NODEF_NONPRIM);
    EXPECT_EQ(xxnewnode(top_, "N", newport(), nullptr), n);
    EXPECT_FALSE(n->flags & NODEF_FREE);
    EXPECT_FALSE(xxnodeisfree(n));
    EXPECT_TRUE(n->flags & NODEF_NONPRIM);
    EXPECT_TRUE(xxnodeisfree(mk("EMPTY")));
}

TEST_F(NodeTest, AliasingMergesPortChainsAndLinks) {
    port *a1 = newport();
    port *a2 = newport();
    port *b1 = newport();
    node *a = xxnewnode(top_, "A", a1, nullptr);
    xxnewnode(top_, "A", a2, nullptr);
    node *b = xxnewnode(top_, "LONGER", b1, nullptr);
    node *keep = xxnewnode(top_, "LONGER", a1, nullptr); // a1 is already on A
    EXPECT_EQ(keep, a);
    EXPECT_EQ(xxunalias(b), a);
    EXPECT_EQ(ports(a), (std::vector<port *>{b1, a2, a1}));
    EXPECT_EQ(a->lastnodelink, a1);
    EXPECT_EQ(xxportnode(b1), a);
    EXPECT_TRUE(ports(b).size() == 3);
    EXPECT_FALSE(a->flags & NODEF_FREE);

    // Joining nodes of one ring again changes nothing.
    xxnodealias(a, b);
    xxnodealias(b, b);
    xxnodealias(nullptr, a);
    EXPECT_EQ(ports(a).size(), 3u);

    // Rings of several nodes are joined whole.
    node *c = mk("C1");
    node *d = mk("D1");
    xxnodealias(c, d);
    xxnodealias(d, a); // d is no representative: its whole ring joins
    for (node *n : {a, b, c, d})
        EXPECT_EQ(xxunalias(n), a);
    int ring = 0;
    node *n = a;
    do {
        ++ring;
        n = n->alias;
    } while (n != a && ring < 10);
    EXPECT_EQ(ring, 4);

    // A kept node without ports of its own takes the other's whole chain, its end included, so
    // that none of the ports stays behind when it is merged on in turn.
    port *e1 = newport();
    port *e2 = newport();
    node *bare = mk("E");
    node *full = xxnewnode(top_, "LONGER2", e1, nullptr);
    xxnewnode(top_, "LONGER2", e2, nullptr);
    xxnodealias(full, bare);
    EXPECT_EQ(xxunalias(full), bare);
    EXPECT_EQ(ports(bare), (std::vector<port *>{e2, e1}));
    xxnodealias(bare, mk("F")); // a kept node with ports keeps them beside a bare one
    EXPECT_EQ(ports(bare).size(), 2u);
    node *first = xxnewnode(top_, "D", newport(), nullptr); // sorts first: bare merges into it
    xxnodealias(bare, first);
    EXPECT_EQ(xxunalias(bare), first);
    EXPECT_EQ(ports(first).size(), 3u);

    // A link given with a connection goes to the representative.
    wire *w = xxnewwire(top_);
    EXPECT_EQ(xxnewnode(top_, "C1", nullptr, w), a);
    ASSERT_NE(a->links, nullptr);
    EXPECT_EQ(a->links->obj, w);
}

TEST_F(NodeTest, BusMembersWidenTheirBus) {
    node *d3 = mk("D[3]");
    node *d7 = mk("D[7]");
    node *d0 = mk("D[0]");
    bus *b = d3->nodebus;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(d7->nodebus, b);
    EXPECT_EQ(d0->nodebus, b);
    EXPECT_STREQ(b->name, "D");
    EXPECT_EQ(b->low, 0);
    EXPECT_EQ(b->high, 7);
    EXPECT_EQ(b->lastmember, d0);
    EXPECT_EQ(xxobjtype(b), KDX_BUS);

    EXPECT_EQ(mk("D")->nodebus, nullptr);
    EXPECT_EQ(mk("X[]")->nodebus, nullptr);
    EXPECT_EQ(mk("Y[x]")->nodebus, nullptr);
    EXPECT_EQ(mk("Z[1")->nodebus, nullptr);
    EXPECT_EQ(count("error: Illegal bus name \"X[]\""), 1);
    EXPECT_EQ(count("error: Illegal bus name \"Y[x]\""), 1);
    EXPECT_EQ(count("Illegal bus name"), 2);

    bus *big = mk("W[99999999999999999999]")->nodebus;
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->high, INT16_MAX);
    EXPECT_EQ(xxchkbus(top_, mk("plain")), 1);
}

TEST_F(NodeTest, WirePointsAreAppendedInOrder) {
    wire *w1 = xxnewwire(top_);
    wire *w2 = xxnewwire(top_);
    EXPECT_EQ(top_->firstwire, w1);
    EXPECT_EQ(w1->next, w2);
    EXPECT_EQ(top_->lastwire, w2);
    xxnewpoint(w1, 1, 2);
    xxnewpoint(w2, 5, 6);
    xxnewpoint(w1, 3, 4);
    xxnewpoint(w1, -1, 0);
    std::vector<int> xs;
    for (point *p = w1->points; p; p = p->next)
        xs.push_back(p->x);
    EXPECT_EQ(xs, (std::vector<int>{1, 3, -1}));
    EXPECT_EQ(w2->points->y, 6);
    EXPECT_EQ(w2->points->next, nullptr);
    EXPECT_EQ(xxobjtype(w1), KDX_NONE);
}

TEST_F(NodeTest, PointsOfAWireMadeAfterARestartStartAfresh) {
    wire *w = xxnewwire(top_);
    xxnewpoint(w, 1, 1);
    xxfreeall();
    xxinit();
    net *n = xxnewnetdef("top", nullptr);
    wire *again = xxnewwire(n);
    xxnewpoint(again, 7, 7);
    ASSERT_NE(again->points, nullptr);
    EXPECT_EQ(again->points->x, 7);
    EXPECT_EQ(again->points->next, nullptr);
}

TEST_F(NodeTest, NodeChecksAndNames) {
    node *n = mk("N1");
    EXPECT_EQ(xxchknode(n), 2);
    EXPECT_STREQ(xxnodename(n, 0), "N1");
    EXPECT_EQ(xxchknode(nullptr), 0);
    EXPECT_EQ(xxchknode(top_), 0);
    EXPECT_THAT(logtext(), HasSubstr("NULL node parameter"));
    EXPECT_THAT(logtext(), HasSubstr("parameter is not a node (type=6)"));
}

using NameListTest = NodeTest;

TEST_F(NameListTest, QualifiersMustBeLettersAndDigits) {
    EXPECT_EQ(xxaddqual("A,B<1,2>,c d,,X1,A"), 1);
    char *const *q = xxqualifiers();
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q[0], "A");
    EXPECT_STREQ(q[1], "X1");
    EXPECT_EQ(q[2], nullptr);
    EXPECT_EQ(count("warning: (in xxaddqual) bad qualifier \"B<1,2>\" ignored"), 1);
    EXPECT_EQ(count("warning: (in xxaddqual) bad qualifier \"c d\" ignored"), 1);
    EXPECT_EQ(count("warning: (in xxaddqual) bad qualifier \"\" ignored"), 1);
    EXPECT_EQ(xxaddqual(""), 0);
    EXPECT_EQ(xxaddqual(nullptr), 0);
    EXPECT_EQ(count("warning: (in xxaddqual) null qualifier list"), 2);
    xxclrqual();
    EXPECT_EQ(xxqualifiers(), nullptr);
}

TEST_F(NameListTest, LogicListsStartWithTheDefaultsAndExpandBuses) {
    EXPECT_STREQ(xxlogic0()[0], "GND");
    EXPECT_STREQ(xxlogic0()[1], "Vss");
    EXPECT_STREQ(xxlogic1()[1], "Vdd");
    EXPECT_EQ(xxaddl1("P[0:1]!,Vcc"), 1);
    char *const *l1 = xxlogic1();
    std::vector<std::string> got;
    for (char *const *p = l1; *p; ++p)
        got.push_back(*p);
    EXPECT_EQ(got, (std::vector<std::string>{"Vcc", "Vdd", "P[0]", "P[1]"}));

    xxclrl0();
    EXPECT_EQ(xxaddl0("0V"), 1);
    EXPECT_STREQ(xxlogic0()[0], "0V");
    EXPECT_EQ(xxlogic0()[1], nullptr);
    EXPECT_EQ(xxaddl0("A[1"), 0);
    EXPECT_EQ(count("warning: (in xxaddl0) bad list of logic 0 nodes \"A[1\" ignored"), 1);

    int logic = 0;
    EXPECT_STREQ(xxchklogic("GND", &logic), "GND");
    EXPECT_EQ(logic, 0);
    EXPECT_STREQ(xxchklogic("0V", &logic), "0V");
    EXPECT_EQ(logic, 1);
}

TEST_F(NameListTest, DeglobalizeStripsTheMarkAndOptionallyBrackets) {
    int global = 0;
    EXPECT_STREQ(xxdeglobalize("CLK", &global), "CLK");
    EXPECT_EQ(global, 0);
    EXPECT_STREQ(xxdeglobalize("CLK!", &global), "CLK");
    EXPECT_EQ(global, 1);
    EXPECT_STREQ(xxdeglobalize("D[3]", &global), "D[3]");
    xxoptions().nobrackets = 1;
    EXPECT_STREQ(xxdeglobalize("D[3]!", &global), "D3");
    xxoptions().nobrackets = 0;
    std::string huge(10000, 'n');
    EXPECT_EQ(std::string(xxdeglobalize(huge.c_str(), &global)).size(), MAXSTRLEN - 1);
}

} // namespace
