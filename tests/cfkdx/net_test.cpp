// Nets and the generic object accessors.
#include "objmodel.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using namespace kdx;

namespace {

using NetTest = objmodel::ObjModelTest;

TEST_F(NetTest, NetIsFoundWithoutCaseAndNamedAfterItsCell) {
    net *n = xxnewnetdef("/proj/sheets/Amp.v2.sch", nullptr);
    EXPECT_EQ(xxnewnetdef("/PROJ/SHEETS/AMP.V2.SCH", nullptr), n);
    EXPECT_EQ(xxfindnet("/proj/sheets/amp.v2.sch", 0), n);
    EXPECT_EQ(xxfindnet("amp", 0), nullptr);
    EXPECT_STREQ(xxname(n, 0), "Amp.v2");
    EXPECT_STREQ(xxnetname(n, 0), "Amp.v2");
    EXPECT_EQ(xxfindprop(n, "tn", 0)->flags, 0x01);
    EXPECT_EQ(n->root, xxgetroot());
    EXPECT_EQ(n->symtbl->buckets, 97);
    EXPECT_EQ(n->porttbl->buckets, 51);
    // The node table comes with the first node, the bus table with the first bus.
    EXPECT_EQ(n->nodetbl, nullptr);
    EXPECT_EQ(n->bustbl, nullptr);
    ASSERT_NE(xxnewnode(n, "a", nullptr, nullptr), nullptr);
    EXPECT_EQ(n->nodetbl->buckets, 531);
    EXPECT_EQ(n->bustbl, nullptr);
    ASSERT_NE(xxnewnode(n, "d[0]", nullptr, nullptr), nullptr);
    EXPECT_EQ(n->bustbl->buckets, 97);
    EXPECT_EQ(xxmknode(xxnewnetdef("other", nullptr), "b", 3)->owner->nodetbl->buckets, 531);
}

TEST_F(NetTest, NewNetTakesTheFileKindsOfItsParentOrOfTheNetBeingRead) {
    net *top = xxnewnetdef("top", nullptr);
    EXPECT_EQ(top->flags, NETF_SCH | NETF_DSN);

    net *reading = xxnewnetdef("reading", nullptr);
    reading->flags = NETF_READ | NETF_NETLIST | NETF_HIER;
    xxsetcurnet(reading);
    EXPECT_EQ(xxnewnetdef("fromnetlist", nullptr)->flags, NETF_NETLIST);

    top->flags = NETF_DSN | NETF_READ;
    symdef *cell = mkdef("cell", {"A"});
    symbol *h = place(top, cell, "H1");
    EXPECT_EQ(h->instnet->flags, NETF_DSN);
    EXPECT_EQ(h->instnet->lastinst, h);
    xxsetcurnet(nullptr);
}

TEST_F(NetTest, NetChecksRejectOtherObjects) {
    net *n = xxnewnetdef("top", nullptr);
    EXPECT_EQ(chknet(n), 1);
    EXPECT_EQ(chknet(xxgetroot()), 1);
    EXPECT_EQ(chknet(nullptr), 0);
    EXPECT_EQ(chknet(mkdef("d", {})), 0);
    EXPECT_EQ(xxnetname(nullptr, 0), nullptr);
    EXPECT_THAT(logtext(), HasSubstr("NULL net parameter"));
    EXPECT_THAT(logtext(), HasSubstr("parameter is not a net"));
}

TEST_F(NetTest, AccessorsDispatchOnTheRecordKind) {
    net *n = xxnewnetdef("top", nullptr);
    symdef *gate = mkdef("gate", {"A", "Y"});
    symdef *res = mkdef("res", {"1", "2"}, {{"primitive", "R"}});
    symbol *u1 = place(n, gate, "U1");
    symbol *r1 = place(n, res, "R1");
    port *sp = xxfsp(u1, "A", 0);
    port *ap = xxfsp(r1, "2", 0);
    node *nd = xxnewnode(n, "N1", sp, nullptr);
    prop *p = addprop(u1, "value", "10k");

    EXPECT_EQ(xxobjtype(n), KDX_NET);
    EXPECT_EQ(xxobjtype(xxgetroot()), KDX_NET);
    EXPECT_EQ(xxobjtype(u1), KDX_SYMBOL);
    EXPECT_EQ(xxobjtype(gate), KDX_SYMDEF);
    EXPECT_EQ(xxobjtype(nd), KDX_NODE);
    EXPECT_EQ(xxobjtype(sp), KDX_PORT);
    EXPECT_EQ(xxobjtype(ap), KDX_PORT);
    EXPECT_EQ(xxobjtype(xxfsdp(gate, "A")), KDX_PORT);
    EXPECT_EQ(xxobjtype(p), KDX_PROP);
    EXPECT_EQ(xxobjtype(nullptr), KDX_NONE);
    EXPECT_EQ(xxtype(r1), 1);
    EXPECT_EQ(xxtype(ap), 5);
    EXPECT_EQ(xxtype(nullptr), 0);

    EXPECT_STREQ(xxname(u1, 0), "U1");
    EXPECT_STREQ(xxname(nd, 0), "N1");
    EXPECT_STREQ(xxname(sp, 0), "A");
    EXPECT_STREQ(xxname(ap, 0), "2");
    EXPECT_STREQ(xxname(p, 0), "value");

    // A placed symbol's port shows what its definition declares as well as its own bits.
    xxfsdp(gate, "A")->flags |= PORTF_HIDDEN;
    sp->flags |= PORTF_PPIN;
    EXPECT_EQ(xxflags(sp), PORTF_HIDDEN | PORTF_PPIN);
    xxfsdp(res, "2")->flags |= PORTF_PPIN;
    EXPECT_EQ(xxflags(ap), PORTF_PPIN);
    EXPECT_EQ(xxflags(r1), SYMF_ARRAY | SYMF_PRIM);
    EXPECT_EQ(xxflags(nd), NODEF_NONPRIM | NODEF_FREE);

    EXPECT_EQ(xxflags(xxnewwire(n)), 0);
    EXPECT_EQ(xxflags(nullptr), 0);
    EXPECT_THAT(logtext(), HasSubstr("unrecognized object parameter (type 0xe)"));
    EXPECT_THAT(logtext(), HasSubstr("unrecognized object parameter (type 0x0)"));
}

TEST_F(NetTest, NameOfAnUnnamedKindIsAnInternalError) {
    xxoptions().nofatal = 1;
    net *n = xxnewnetdef("top", nullptr);
    EXPECT_EQ(xxname(xxnewwire(n), 0), nullptr);
    EXPECT_THAT(logtext(), HasSubstr("internal error: Assertion failed: file miscif.cpp"));
    xxoptions().nofatal = 0;
}

TEST_F(NetTest, ElapsedTimeStartsAtZero) {
    EXPECT_EQ(xxelapsed(), 0);
    EXPECT_LE(xxelapsed(), 1);
}

} // namespace
