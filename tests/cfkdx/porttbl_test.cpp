// Walking ports, connecting them to nodes, and bringing probe ports up the hierarchy.
#include "objmodel.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using objmodel::ObjModelTest;

class PortWalkTest : public ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top = kdx::xxnewnetdef("top.sch", nullptr);
        top->flags |= kdx::NETF_READ;
    }
    static std::vector<std::string> walk(void *obj, int flags, kdx::PortFilter filter = nullptr) {
        std::vector<std::string> names;
        for (kdx::port *p = kdx::xxportnext(obj, nullptr, filter, flags); p;
             p = kdx::xxportnext(obj, p, filter, flags))
            names.emplace_back(kdx::xxportname(p, 0));
        return names;
    }
    // A cell: its net (read) and the definition that places it, with the given ports.
    kdx::symdef *cell(const char *name, std::initializer_list<const char *> ports) {
        kdx::net *n = kdx::xxnewnetdef(name, nullptr);
        n->flags |= kdx::NETF_READ;
        for (const char *p : ports)
            kdx::xxnewvport(n, n->porttbl, p, nullptr);
        return mkdef(name, ports);
    }
    kdx::net *top = nullptr;
};

TEST_F(PortWalkTest, NodePortsNewestFirst) {
    kdx::symdef *d = mkdef("amp.sym", {"A", "B"});
    kdx::symbol *s = place(top, d, "U1");
    kdx::node *n = kdx::xxnewnode(top, "N", kdx::xxfsp(s, "A", 0), nullptr);
    kdx::xxnewnode(top, "N", kdx::xxfsp(s, "B", 0), nullptr);
    std::vector<std::string> want{"B", "A"};
    EXPECT_EQ(walk(n, 0), want);
    EXPECT_EQ(walk(kdx::xxnewnode(top, "EMPTY", nullptr, nullptr), 0).size(), 0u);
}

TEST_F(PortWalkTest, ArrayPortsInDefinitionOrder) {
    kdx::symdef *d = mkdef("tr.sym", {"C", "B", "E"}, {{"primitive", "Q"}});
    kdx::symbol *s = place(top, d, "Q1");
    std::vector<std::string> want;
    for (int i = 0; i < d->nports; i++)
        want.emplace_back(d->portarr[i]->name);
    EXPECT_EQ(walk(s, 0), want);
    EXPECT_EQ(walk(d, 0), want) << "the definition's table in the same order";
}

TEST_F(PortWalkTest, FiltersOfTheWalk) {
    kdx::symdef *d = mkdef("chip.sym", {"A", "VCC", "G", "ON", "L0"}, {{"ppin(VCC)", "1"}});
    kdx::xxfsdp(d, "G")->flags |= kdx::PORTF_GLOBAL;
    kdx::xxfsdp(d, "ON")->flags |= kdx::PORTF_ON;
    kdx::xxfsdp(d, "L0")->flags |= kdx::PORTF_LOGIC0;
    kdx::symbol *s = place(top, d, "U1");
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    std::vector<std::string> plain{"A", "VCC"};
    EXPECT_EQ(sorted(walk(s, 0)), plain);
    std::vector<std::string> globals{"A", "G", "L0", "VCC"};
    EXPECT_EQ(sorted(walk(s, kdx::PN_GLOBALS)), globals);
    kdx::xxgetroot()->opts |= 0x100;
    std::vector<std::string> nopower{"A"};
    EXPECT_EQ(walk(s, 0), nopower);
    kdx::xxgetroot()->opts &= ~0x100u;
    EXPECT_EQ(walk(s, 0, [](kdx::port *p) { return p->name[0] == 'V' ? 1 : 0; }),
              std::vector<std::string>{"VCC"});

    // The ports of a frame are left out unless asked for.
    kdx::symdef *fd = mkdef("frame.sym", {"F"}, {{"model", "frame"}});
    kdx::symbol *f = place(top, fd, "F1");
    EXPECT_TRUE(walk(f, 0).empty());
    EXPECT_EQ(walk(f, kdx::PN_FRAMES), std::vector<std::string>{"F"});
}

TEST_F(PortWalkTest, BadArguments) {
    EXPECT_EQ(kdx::xxportnext(nullptr, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(count("NULL object parameter"), 1);
    kdx::port *cursor = nullptr;
    kdx::prop *p = addprop(top, "R", "1");
    EXPECT_EQ(kdx::xxnport(p, &cursor, 0), 0);
    EXPECT_EQ(count("invalid parameter"), 1);
}

// The cursor walk itself, start and step alike, over each kind of owner.
TEST_F(PortWalkTest, CursorWalkStartsAndStepsOverEveryOwner) {
    auto names = [](void *owner) {
        std::vector<std::string> out;
        kdx::port *cur = nullptr;
        while (kdx::xxnport(owner, &cur, 0))
            out.emplace_back(cur->name);
        std::sort(out.begin(), out.end());
        return out;
    };
    const std::vector<std::string> both{"IN", "OUT"};
    kdx::symdef *d = mkdef("amp.sym", {"IN", "OUT"});
    kdx::symbol *s = place(top, d, "U1");
    EXPECT_EQ(names(d), both);
    EXPECT_EQ(names(s), both);
    kdx::xxnewvport(top, top->porttbl, "A", nullptr);
    EXPECT_EQ(names(top), std::vector<std::string>{"A"});
    kdx::node *n = kdx::xxnewnode(top, "N", kdx::xxfsp(s, "IN", 0), nullptr);
    kdx::xxnewnode(top, "N", kdx::xxfsp(s, "OUT", 0), nullptr);
    EXPECT_EQ(names(n), both);
    EXPECT_TRUE(names(kdx::xxnewnode(top, "EMPTY", nullptr, nullptr)).empty());

    // A real port goes on along its own chain, whichever owner is named.
    kdx::rport *r1 = kdx::xxnewrport(d);
    kdx::rport *r2 = kdx::xxnewrport(d);
    kdx::port *cur = r1;
    EXPECT_EQ(kdx::xxnport(top, &cur, 0), 1);
    EXPECT_EQ(cur, r2);
    EXPECT_EQ(kdx::xxnport(top, &cur, 0), 0);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(count("invalid parameter"), 0);

    // A cursor that is no port is refused before the owner is looked at.
    cur = reinterpret_cast<kdx::port *>(addprop(top, "R", "1"));
    EXPECT_EQ(kdx::xxnport(s, &cur, 0), 0);
    EXPECT_EQ(count("invalid parameter"), 1);
}

TEST_F(PortWalkTest, ConnectingPortsToTheirNodes) {
    kdx::symdef *d = mkdef("amp.sym", {"IN", "OUT"});
    kdx::symbol *s = place(top, d, "U1");
    kdx::xxcports(top, s);
    kdx::port *in = kdx::xxfsp(s, "IN", 0);
    ASSERT_NE(kdx::xxportnode(in), nullptr);
    EXPECT_STREQ(kdx::xxportnode(in)->name, "IN");

    kdx::port *a = kdx::xxnewvport(top, top->porttbl, "A", nullptr);
    kdx::port *g = kdx::xxnewvport(top, top->porttbl, "G!", nullptr);
    kdx::xxcnetports(top, top->porttbl);
    EXPECT_EQ(kdx::xxportnode(a)->flags & kdx::NODEF_CLASSES, kdx::PORTF_HIER);
    EXPECT_EQ(kdx::xxportnode(g)->flags, kdx::NODEF_GLOBAL) << "global: all other bits cleared";
}

TEST_F(PortWalkTest, ProbePortUsedTwiceComesUpOnce) {
    kdx::symdef *d = cell("sub.sch", {"IN"});
    kdx::net *sub = kdx::xxfindnet("sub.sch", 0);
    kdx::port *probe = kdx::xxnewvport(sub, sub->porttbl, "TP", nullptr);
    probe->flags |= kdx::PORTF_PROBE;
    kdx::symbol *u1 = place(top, d, "U1");
    kdx::symbol *u2 = place(top, d, "U2");
    ASSERT_EQ(u1->instnet, sub);
    ASSERT_EQ(kdx::xxdoio(), 1);

    kdx::port *np = kdx::xxfndp(top, "TP");
    ASSERT_NE(np, nullptr);
    kdx::node *tp = kdx::xxportnode(np);
    ASSERT_NE(tp, nullptr);
    EXPECT_STREQ(tp->name, "TP");
    for (kdx::symbol *s : {u1, u2}) {
        kdx::port *sp = kdx::xxfsp(s, "TP", 0);
        ASSERT_NE(sp, nullptr);
        EXPECT_EQ(kdx::xxportnode(sp), tp);
    }
    // The io node of each instance is aliased into the parent's node.
    kdx::node *io = static_cast<kdx::node *>(kdx::xxfindhash(top->nodetbl, "io#0"));
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(kdx::xxunalias(io), tp);
    EXPECT_EQ(kdx::xxfindhash(top->nodetbl, "io#1"), nullptr);
    EXPECT_TRUE(top->flags & kdx::NETF_PROBED);
    EXPECT_FALSE(top->flags & kdx::NETF_VISITING);
    // A second pass finds every net done.
    EXPECT_EQ(kdx::xxdoio(), 1);
    EXPECT_EQ(count("error"), 0);
}

TEST_F(PortWalkTest, ProbesComeUpThroughEveryLevel) {
    kdx::symdef *leaf = cell("leaf.sch", {});
    kdx::net *leafnet = kdx::xxfindnet("leaf.sch", 0);
    kdx::xxnewvport(leafnet, leafnet->porttbl, "P1", nullptr)->flags |= kdx::PORTF_PROBE;
    kdx::xxnewvport(leafnet, leafnet->porttbl, "P2", nullptr)->flags |= kdx::PORTF_PROBE;
    kdx::symdef *mid = cell("mid.sch", {});
    place(kdx::xxfindnet("mid.sch", 0), leaf, "L1");
    place(top, mid, "M1");
    ASSERT_EQ(kdx::xxdoio(), 1);
    EXPECT_NE(kdx::xxfndp(top, "P1"), nullptr);
    EXPECT_NE(kdx::xxfndp(top, "P2"), nullptr);
    EXPECT_NE(kdx::xxfindhash(top->nodetbl, "io#1"), nullptr) << "numbered per symbol";
}

TEST_F(PortWalkTest, RecursiveSchematicsFailTheProbePass) {
    kdx::symdef *self = mkdef("top.sch", {});
    place(top, self, "ME");
    EXPECT_EQ(kdx::xxdoio(), 0);
    EXPECT_EQ(count("recursive schematic calls itself: top.sch"), 1);
}

TEST_F(PortWalkTest, RecursionThroughAnotherSchematic) {
    kdx::symdef *a = cell("a.sch", {});
    kdx::symdef *b = cell("b.sch", {});
    place(kdx::xxfindnet("a.sch", 0), b, "B1");
    place(kdx::xxfindnet("b.sch", 0), a, "A1");
    place(top, a, "A0");
    EXPECT_EQ(kdx::xxdoio(), 0);
    EXPECT_EQ(count("recursive schematic calls itself"), 1);
}

TEST_F(PortWalkTest, UnreadNetFails) {
    kdx::symdef *d = mkdef("sub.sch", {});
    place(top, d, "U1");
    EXPECT_EQ(kdx::xxdoio(), 0);
}

} // namespace
