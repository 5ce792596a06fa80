// Making ports and finding them again: declared ports, copies, packed arrays, real ports, the
// mapping between a symbol's ports and its definition's, and the owner, node and name of each.
#include "objmodel.h"

#include <string>

namespace {

using objmodel::ObjModelTest;

class PortTest : public ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top = kdx::xxnewnetdef("top.sch", nullptr);
    }
    kdx::net *top = nullptr;
};

TEST_F(PortTest, PrimitiveSymbolGetsAPackedArray) {
    kdx::symdef *d = mkdef("tr.sym", {"C", "B", "E"}, {{"primitive", "Q"}});
    kdx::symbol *s = place(top, d, "Q1");
    ASSERT_TRUE(s->flags & kdx::SYMF_ARRAY);
    for (const char *name : {"C", "B", "E"}) {
        kdx::port *sdp = kdx::xxfsdp(d, name);
        ASSERT_NE(sdp, nullptr);
        kdx::port *sp = kdx::xxfsp(s, name, 0);
        ASSERT_NE(sp, nullptr);
        EXPECT_EQ(sp, &s->parray[sdp->index]);
        EXPECT_EQ(kdx::rectype(sp), kdx::objtype::arrayport);
        EXPECT_STREQ(kdx::xxportname(sp, 0), name);
        EXPECT_EQ(kdx::xxsdp2sp(s, sdp), sp);
        EXPECT_EQ(kdx::xxsp2sdp(nullptr, sp), sdp);
        EXPECT_EQ(kdx::xxportobj(sp, 0), s);
    }
    EXPECT_EQ(kdx::xxfsp(s, "X", 0), nullptr);
    EXPECT_EQ(kdx::xxgetsp(s, "X", d->props), nullptr);
    EXPECT_EQ(count("Cannot find port X in symbol Q1 mentioned in property tn:tr"), 1);
}

// Two pins A[0:511] and B[0:511], and more: the array is longer than one block holds.
TEST_F(PortTest, BigPrimitiveGetsItsWholeArray) {
    for (int n : {1024, 4000}) {
        SCOPED_TRACE(n);
        kdx::symdef *d = kdx::xxnewsymdef(nullptr, ("mem" + std::to_string(n) + ".sym").c_str());
        for (int i = 0; i < n; ++i)
            kdx::xxnewvport(d, d->porttbl, ("D[" + std::to_string(i) + "]").c_str(), nullptr);
        addprop(d, "primitive", "MEM");
        kdx::xxfixnewsymdef(d, nullptr);
        kdx::symbol *s = place(top, d, "U1");
        ASSERT_NE(kdx::xxsymarray(s), nullptr); // made at the first port asked for
        kdx::port *sdp = kdx::xxfsdp(d, ("D[" + std::to_string(n - 1) + "]").c_str());
        ASSERT_NE(sdp, nullptr);
        kdx::port *sp = kdx::xxsdp2sp(s, sdp);
        EXPECT_EQ(sp, &s->parray[sdp->index]);
        EXPECT_EQ(kdx::xxportobj(sp, 0), s);
        EXPECT_STREQ(kdx::xxportname(sp, 0), sdp->name);
    }
    EXPECT_EQ(count("too large"), 0);
}

TEST_F(PortTest, HierarchicalSymbolGetsCopiesOfTheDefinitionPorts) {
    kdx::symdef *d = mkdef("amp.sym", {"IN", "OUT"});
    EXPECT_EQ(d->nports, 2);
    kdx::port *sdp = kdx::xxfsdp(d, "in");
    ASSERT_NE(sdp, nullptr);
    EXPECT_EQ(kdx::rectype(sdp), kdx::objtype::symdefport);
    EXPECT_EQ(kdx::xxportobj(sdp, 0), d);
    EXPECT_EQ(kdx::xxnewvport(d, d->porttbl, "IN", nullptr), sdp) << "made once";
    EXPECT_EQ(d->nports, 2);

    kdx::symbol *s = place(top, d, "U1");
    kdx::port *sp = kdx::xxfsp(s, "IN", 0);
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(kdx::rectype(sp), kdx::objtype::symport);
    EXPECT_EQ(sp->name, sdp->name) << "the copy shares the name text";
    EXPECT_EQ(kdx::xxsp2sdp(s, sp), sdp);
    EXPECT_EQ(kdx::xxsdp2sp(s, sdp), sp);
    EXPECT_EQ(kdx::xxportobj(sp, 0), s);
    EXPECT_EQ(kdx::xxdupport(s, sdp), sp);
    EXPECT_EQ(kdx::xxgetsdp(d, "NONE", nullptr), nullptr);
    EXPECT_EQ(count("Cannot find port NONE in symbol amp.sym"), 1);
}

TEST_F(PortTest, NetPortFlagsAndLinks) {
    kdx::port *clk = kdx::xxnewvport(top, top->porttbl, "CLK", nullptr);
    kdx::port *gclk = kdx::xxnewvport(top, top->porttbl, "CLK!", nullptr);
    EXPECT_EQ(clk->flags, 0x0800);
    EXPECT_EQ(gclk->flags, 0x1800);
    EXPECT_EQ(kdx::rectype(clk), kdx::objtype::netport);
    EXPECT_EQ(top->nports, 2);
    EXPECT_EQ(kdx::xxfndp(top, "clk"), clk);

    // With a link the port takes the link's bits and keeps what it had.
    kdx::rport *rp = kdx::xxnewrport(top);
    rp->flags = kdx::PORTF_PROBE;
    kdx::port *p = kdx::xxnewvport(top, top->porttbl, "P!", rp);
    EXPECT_EQ(p->flags, kdx::PORTF_PROBE | kdx::PORTF_GLOBAL);
    ASSERT_NE(p->links, nullptr);
    EXPECT_EQ(p->links->obj, rp);
    kdx::xxnewvport(top, top->porttbl, "P!", rp);
    EXPECT_EQ(p->links->next, nullptr) << "a link is added once";

    // A copy in a parent net takes the template's flags and links.
    kdx::net *parent = kdx::xxnewnetdef("parent.sch", nullptr);
    kdx::port *copy = kdx::xxdupport(parent, p);
    EXPECT_EQ(kdx::rectype(copy), kdx::objtype::netport);
    EXPECT_EQ(copy->flags, p->flags);
    EXPECT_EQ(copy->links, p->links);
    EXPECT_EQ(kdx::xxportobj(copy, 0), parent);
    EXPECT_EQ(kdx::xxdupport(parent, p), copy);
}

TEST_F(PortTest, LinkingTheSameObjectTwiceChecksItsProperties) {
    kdx::symdef *d = mkdef("amp.sym", {"IN"});
    kdx::port *sdp = kdx::xxfsdp(d, "IN");
    addprop(sdp, "LEVEL", "TTL");
    kdx::symdef *src = kdx::xxnewsymdef(nullptr, "src.sym");
    addprop(src, "LEVEL", "CMOS");
    kdx::xxlinkup(sdp, &sdp->links, src);
    EXPECT_EQ(count("incompatible"), 0);
    kdx::xxlinkup(sdp, &sdp->links, src);
    EXPECT_EQ(count("port \"IN\" has incompatible properties: \"LEVEL:CMOS\" and \"LEVEL:TTL\""),
              1);
    EXPECT_EQ(sdp->links->next, nullptr);
}

TEST_F(PortTest, RealPortsChainToTheirOwner) {
    kdx::symdef *d = kdx::xxnewsymdef(nullptr, "cell.sym");
    kdx::rport *a = kdx::xxnewrport(d);
    kdx::rport *b = kdx::xxnewrport(d);
    a->name = "A";
    b->name = "B";
    EXPECT_EQ(d->firstrport, a);
    EXPECT_EQ(d->lastrport, b);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(kdx::xxportobj(a, 0), d);
    EXPECT_EQ(kdx::xxportobj(b, 0), d);
    EXPECT_EQ(kdx::xxfrport(d->firstrport, "B"), b);
    EXPECT_EQ(kdx::xxfrport(d->firstrport, "b"), nullptr) << "names compare exactly";
    EXPECT_EQ(kdx::xxfrport(d->firstrport, "C"), nullptr);
}

TEST_F(PortTest, CheckingPortsAndTheirNodes) {
    kdx::symdef *d = mkdef("amp.sym", {"IN"});
    kdx::symbol *s = place(top, d, "U1");
    kdx::port *sp = kdx::xxfsp(s, "IN", 0);
    EXPECT_EQ(kdx::chkport(sp), 1);
    EXPECT_EQ(kdx::chkport(nullptr), 0);
    EXPECT_EQ(kdx::chkport(s), 0);
    EXPECT_EQ(count("NULL port parameter"), 1);
    EXPECT_EQ(count("parameter not a port"), 1);

    EXPECT_EQ(kdx::xxportnode(sp), nullptr) << "not connected yet";
    kdx::node *n1 = kdx::xxnewnode(top, "N1", sp, nullptr);
    kdx::node *n0 = kdx::xxnewnode(top, "A0", nullptr, nullptr);
    EXPECT_EQ(kdx::xxportnode(sp), n1);
    kdx::xxnodealias(n0, n1);
    EXPECT_EQ(kdx::xxportnode(sp), n0) << "the representative";

    EXPECT_EQ(kdx::xxportnode(kdx::xxfsdp(d, "IN")), nullptr);
    EXPECT_EQ(kdx::xxportnode(kdx::xxnewrport(top)), nullptr);
    EXPECT_EQ(count("No node associated with port."), 2);
    EXPECT_EQ(kdx::xxportnode(s), nullptr);
    EXPECT_EQ(count("argument is not a port"), 1);
    EXPECT_EQ(kdx::xxportname(s, 0), nullptr);
    EXPECT_EQ(count("bashed pointer"), 1);
}

TEST_F(PortTest, OwnersOfTheWrongKindAreInternalErrors) {
    kdx::xxoptions().nofatal = 1;
    kdx::symdef *d = mkdef("res.sym", {"1"}, {{"primitive", "R"}});
    kdx::symbol *s = place(top, d, "R1");
    kdx::port *sdp = kdx::xxfsdp(d, "1");
    EXPECT_EQ(kdx::xxdupport(s, sdp), nullptr) << "an array symbol has no port table";
    EXPECT_EQ(kdx::xxnewvport(s, top->porttbl, "X", nullptr), nullptr);
    EXPECT_EQ(kdx::xxnewrport(s), nullptr);
    EXPECT_EQ(kdx::xxsp2sdp(nullptr, sdp), nullptr);
    EXPECT_EQ(count("Assertion failed: file port.cpp"), 3);
    EXPECT_EQ(count("Assertion failed: file portif.cpp"), 1);
}

} // namespace
