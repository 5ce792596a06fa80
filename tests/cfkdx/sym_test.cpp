// Symbols and definitions: constructors, fixing, part names and symbol access.
#include "objmodel.h"

#include <cstring>
#include <string>
#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::Not;
using namespace kdx;

namespace {

class SymTest : public objmodel::ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top_ = xxnewnetdef("top", nullptr);
        res_ = mkdef("res", {"1", "2"}, {{"primitive", "R"}});
    }
    const char *propval(void *obj, const char *name) { return xxpropval(xxfindprop(obj, name, 0)); }

    net *top_ = nullptr;
    symdef *res_ = nullptr;
};

TEST_F(SymTest, DefinitionIsFoundWithoutCaseAndNamedAfterItsCell) {
    symdef *d = xxnewsymdef(nullptr, "cells/amp.sch");
    EXPECT_EQ(xxnewsymdef(top_, "CELLS/AMP.SCH"), d);
    EXPECT_EQ(xxfindsymdef(nullptr, "Cells/Amp.sch", 0), d);
    EXPECT_STREQ(d->name, "cells/amp.sch");
    prop *tn = xxfindprop(d, "tn", 0);
    ASSERT_NE(tn, nullptr);
    EXPECT_STREQ(xxpropval(tn), "amp");
    EXPECT_EQ(tn->flags, 0x11);
    EXPECT_STREQ(propval(xxnewsymdef(nullptr, "lib\\v1.2\\nand2"), "tn"), "nand2");
    EXPECT_EQ(xxobjtype(d), KDX_SYMDEF);
    EXPECT_EQ(xxfindsymdef(nullptr, "other", 0), nullptr);
}

TEST_F(SymTest, PartNameJoinsPrefixPrimitiveAndSuffix) {
    symbol *r1 = place(top_, res_, "R1", {{"prefix", "X"}, {"suffix", "_1"}});
    EXPECT_STREQ(xxsympart(r1), "XR_1");
    EXPECT_STREQ(xxsympart(res_), "R");

    symbol *r2 = place(top_, res_, "R2", {{"prefix", ""}});
    EXPECT_STREQ(xxsympart(r2), "R");

    symdef *sub = mkdef("sub", {"A"}, {{"primitive", "*SUBEDIT*"}, {"prefix", "X"}});
    EXPECT_STREQ(xxsympart(place(top_, sub, "S1")), "");
    symdef *plain = mkdef("plain", {"A"}, {{"prefix", "X"}});
    EXPECT_STREQ(xxsympart(place(top_, plain, "P1")), "");

    std::string big(5000, 'p');
    symbol *r3 = place(top_, res_, "R3", {{"prefix", big.c_str()}});
    EXPECT_EQ(std::strlen(xxsympart(r3)), big.size() + 1);

    EXPECT_EQ(xxsympart(top_), nullptr);
    EXPECT_THAT(logtext(), HasSubstr("parameter is not a symbol"));
}

TEST_F(SymTest, PartNameFindsWhatEachLookUpFinds) {
    // Plain lists are walked once for the three names; a qualified text makes each name a look-up
    // of its own. Both give the look-ups' answers and warnings.
    symbol *plain = place(top_, res_, "R4", {{"prefix", "*req*"}, {"suffix", "_a"}});
    symbol *qualified =
        place(top_, res_, "R5", {{"prefix", "*req*"}, {"(Q)suffix", "_b"}, {"suffix", "_a"}});
    for (symbol *s : {plain, qualified}) {
        const std::string want = std::string("R") + propval(s, "suffix");
        log_.fresh();
        EXPECT_EQ(xxsympart(s), want);
        const std::string said = log_.fresh();
        EXPECT_EQ(testsupport::occurrences(said, "required property \"prefix\" not supplied"), 1)
            << said;
    }
}

TEST_F(SymTest, ModelPropertySetsTheSymbolKind) {
    symdef *box = mkdef("box", {"A"});
    symbol *null = place(top_, box, "N1", {{"model", "NULL"}});
    symbol *frame = place(top_, box, "F1", {{"model", "frame"}});
    symbol *conn = place(top_, box, "C1", {{"model", "Connector"}, {"id", "IN"}});
    EXPECT_EQ(null->flags, SYMF_MODEL | SYMF_PRIM | SYMF_FRAME);
    EXPECT_EQ(frame->flags, SYMF_MODEL | SYMF_FRAME);
    EXPECT_EQ(conn->flags, SYMF_MODEL | SYMF_CONNECTOR);
    ASSERT_NE(top_->frames, nullptr);
    EXPECT_EQ(top_->frames->obj, frame);
    EXPECT_EQ(top_->frames->next, nullptr);
    ASSERT_NE(top_->firstrport, nullptr);
    EXPECT_STREQ(top_->firstrport->name, "IN");
    EXPECT_EQ(top_->firstrport->sym, conn);
    for (symbol *s : {null, frame, conn})
        EXPECT_EQ(xxsymnetdescr(s), nullptr);

    // A model naming a cell makes the symbol hierarchical, even over a "primitive".
    symbol *amp = place(top_, res_, "A1", {{"model", "amp2"}});
    EXPECT_EQ(amp->flags & (SYMF_PRIM | SYMF_FRAME), 0);
    EXPECT_EQ(xxsymnetdescr(amp), xxfindnet("amp2", 0));
    ASSERT_NE(xxsymnetdescr(amp), nullptr);

    symbol *sub = place(top_, box, "B1", {{"primitive", "*subedit*"}});
    EXPECT_EQ(sub->flags & SYMF_PRIM, 0);
    EXPECT_EQ(xxsymnetdescr(sub), xxfindnet("BOX", 0));
    EXPECT_EQ(place(top_, res_, "R1")->flags, SYMF_ARRAY | SYMF_PRIM);
}

TEST_F(SymTest, SequenceNumbersAndCountersFollowTheKinds) {
    symdef *cell = mkdef("cell", {"A"});
    symdef *pin = mkdef("pin", {"P"}, {{"model", "connector"}});
    symbol *r1 = place(top_, res_, "R1");
    symbol *h1 = place(top_, cell, "H1");
    symbol *c1 = place(top_, pin, "C1", {{"id", "X"}});
    symbol *h2 = place(top_, cell, "H2");
    symbol *r2 = place(top_, res_, "R2");
    EXPECT_EQ(r1->seq, 0);
    EXPECT_EQ(h1->seq, 1);
    EXPECT_EQ(c1->seq, 2);
    EXPECT_EQ(h2->seq, 3);
    EXPECT_EQ(r2->seq, 4);
    EXPECT_EQ(top_->nprim, 3);
    EXPECT_EQ(top_->nhier, 2);
    EXPECT_TRUE(top_->flags & NETF_HIER);

    net *sub = xxfindnet("cell", 0);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->nuse, 2);
    EXPECT_EQ(sub->lastinst, h2);
    EXPECT_EQ(h1->instnet, sub);
    // A new cell is looked for among the file kinds of its parent.
    EXPECT_EQ(sub->flags, top_->flags & NETF_KINDS);

    net *flat = xxnewnetdef("flat", nullptr);
    place(flat, res_, "R1");
    EXPECT_FALSE(flat->flags & NETF_HIER);
    EXPECT_THAT(logtext(), Not(HasSubstr("same name")));
}

TEST_F(SymTest, ConnectorMustHaveExactlyOnePortUnlessItIsAWref) {
    const char *warning = "warning: Symbolic connector (model:connector) must have exactly 1 port";
    symdef *one = mkdef("one", {"P"}, {{"model", "connector"}});
    place(top_, one, "C1", {{"id", "A"}});
    EXPECT_EQ(count(warning), 0);

    symdef *two = mkdef("two", {"P", "Q"}, {{"model", "connector"}});
    place(top_, two, "C2", {{"id", "B"}});
    EXPECT_EQ(count(warning), 1);

    symdef *wref = mkdef("wref", {"P", "Q"}, {{"model", "connector"}, {"connectortype", "wref"}});
    place(top_, wref, "C3", {{"id", "C"}});
    EXPECT_EQ(count(warning), 1);

    // The type is compared with its case, and only a two-port wref is exempt.
    symdef *upper = mkdef("upper", {"P", "Q"}, {{"model", "connector"}, {"connectortype", "WREF"}});
    place(top_, upper, "C4", {{"id", "D"}});
    symdef *three =
        mkdef("three", {"P", "Q", "R"}, {{"model", "connector"}, {"connectortype", "wref"}});
    place(top_, three, "C5", {{"id", "E"}});
    symdef *none = mkdef("none", {}, {{"model", "connector"}});
    place(top_, none, "C6", {{"id", "F"}});
    EXPECT_EQ(count(warning), 4);

    // A connector without "id" still gets its real port, and the lack is reported.
    place(top_, one, "C7");
    EXPECT_EQ(count("property \"id\" not found in"), 1);
    EXPECT_EQ(top_->lastrport->name, nullptr);
}

TEST_F(SymTest, DuplicateNamesWarnExceptForConnectorsAndFrames) {
    symbol *u1 = place(top_, res_, "U1");
    place(top_, res_, "u1");
    EXPECT_EQ(count("warning: two symbols have the same name: u1"), 1);
    EXPECT_NE(xxfsym(top_, "U1", 0), nullptr);

    symdef *pin = mkdef("pin", {"P"}, {{"model", "connector"}});
    place(top_, pin, "C1", {{"id", "A"}});
    place(top_, pin, "C1", {{"id", "A"}});
    symdef *frame = mkdef("frame", {}, {{"model", "frame"}});
    place(top_, frame, "F1");
    place(top_, frame, "F1");
    EXPECT_EQ(count("same name"), 1);

    // A same name in another net is no duplicate.
    net *other = xxnewnetdef("other", nullptr);
    place(other, res_, "U1");
    EXPECT_EQ(count("same name"), 1);
    EXPECT_EQ(xxfsym(top_, "nope", 0), nullptr);
    EXPECT_EQ(xxsymdef(u1), res_);
}

TEST_F(SymTest, NullNameToFindSymbolIsAWarningThatLetsTheRunGoOn) {
    EXPECT_EQ(xxfsym(top_, nullptr, 0), nullptr);
    EXPECT_THAT(logtext(), HasSubstr("warning: (in xxfsym) null name to xxfsym()\n"));
    EXPECT_THAT(logtext(), Not(HasSubstr("internal error")));
}

TEST_F(SymTest, ClassPropertiesOfOneCellMustAgree) {
    symdef *cell = mkdef("cell", {"A"});
    place(top_, cell, "H1", {{"class", "fast"}});
    place(top_, cell, "H2", {{"class", "fast"}});
    place(top_, cell, "H3");
    EXPECT_EQ(count("multiple class"), 0);
    place(top_, cell, "H4", {{"class", "Fast"}});
    EXPECT_THAT(logtext(),
                HasSubstr("warning: multiple class properties (Fast and fast) for net cell\n"));
    EXPECT_STREQ(xxfindnet("cell", 0)->netclass, "Fast");
}

TEST_F(SymTest, PowerPinsAndConnectPropertiesReachThePorts) {
    symdef *gate = mkdef("gate", {"A", "VDD", "Y"}, {{"ppin(VDD)", nullptr}});
    EXPECT_TRUE(xxfsdp(gate, "VDD")->flags & PORTF_PPIN);
    EXPECT_FALSE(xxfsdp(gate, "A")->flags & PORTF_PPIN);
    xxfsdp(gate, "VDD")->flags |= PORTF_HIDDEN;

    symbol *u1 = place(top_, gate, "U1", {{"ppin(Y)", nullptr}, {"connect(VDD)", "VCC"}});
    EXPECT_TRUE(xxflags(xxfsp(u1, "Y", 0)) & PORTF_PPIN);
    EXPECT_TRUE(xxfsdp(gate, "Y")->flags & PORTF_PPIN);
    node *vcc = xxportnode(xxfsp(u1, "VDD", 0));
    ASSERT_NE(vcc, nullptr);
    EXPECT_STREQ(vcc->name, "VCC");

    place(top_, gate, "U2", {{"connect(A)", "VCC"}, {"connect(VDD)", nullptr}});
    EXPECT_THAT(logtext(), HasSubstr("warning: connect property on visible port A, symbol U2 "
                                     "ignored\n"));
    EXPECT_THAT(logtext(), HasSubstr("warning: valueless property: connect(VDD) on symbol: U2\n"));

    place(top_, gate, "U3", {{"connect(Q)", "VCC"}});
    EXPECT_EQ(count("Cannot find port Q"), 1);
}

TEST_F(SymTest, FixedDefinitionNumbersItsPortsInTableOrder) {
    symdef *d = xxnewsymdef(nullptr, "lib/big.sym");
    const char *names[] = {"A", "B", "C", "D", "E", "F", "G"};
    for (const char *n : names)
        xxnewvport(d, d->porttbl, n, nullptr);
    EXPECT_EQ(xxfixnewsymdef(d, "/x/lib/big.sym"), 1);
    EXPECT_STREQ(xxpropval(xxfindprop(d, "file", 0)), "/x/lib/big.sym");
    EXPECT_FALSE(d->flags & SDEFF_PRIM);
    ASSERT_EQ(d->nports, 7);
    ASSERT_NE(d->portarr, nullptr);
    int bucket = 0;
    int i = 0;
    for (xxnamed *r = xxnexthash(d->porttbl, nullptr, &bucket, nullptr); r;
         r = xxnexthash(d->porttbl, r, &bucket, nullptr), ++i) {
        EXPECT_EQ(d->portarr[i], r);
        EXPECT_EQ(d->portarr[i]->index, i);
    }
    EXPECT_EQ(i, 7);

    // A primitive definition places array ports named after its own.
    symbol *r1 = place(top_, res_, "R1");
    EXPECT_TRUE(r1->flags & SYMF_ARRAY);
    EXPECT_STREQ(xxname(xxfsp(r1, "2", 0), 0), "2");
}

TEST_F(SymTest, DefinitionWithMorePortsThanABlockHoldsGetsItsWholeArray) {
    symdef *d = xxnewsymdef(nullptr, "wide.sym");
    constexpr int N = 8200;
    for (int i = 0; i < N; ++i)
        xxnewvport(d, d->porttbl, ("P" + std::to_string(i)).c_str(), nullptr);
    EXPECT_EQ(xxfixnewsymdef(d, nullptr), 1);
    ASSERT_EQ(d->nports, N);
    ASSERT_NE(d->portarr, nullptr);
    for (int i : {0, N / 2, N - 1})
        EXPECT_EQ(d->portarr[i]->index, i);
    EXPECT_EQ(log_.text(), "");
}

TEST_F(SymTest, TypeChecksNameTheWrongKind) {
    symbol *r1 = place(top_, res_, "R1");
    EXPECT_EQ(chksym(r1, 0x01), 1);
    EXPECT_EQ(chksym(res_, 0x08), 10);
    EXPECT_EQ(chksym(res_, 0x01), 0);
    EXPECT_EQ(chksym(r1, 0x02), 0);
    EXPECT_EQ(chksym(nullptr, 0x0b), 0);
    EXPECT_EQ(chksym(top_, 0x0b), 0);
    std::string log = logtext();
    EXPECT_THAT(log, HasSubstr("parameter is a symbol definition, not a symbol"));
    EXPECT_THAT(log, HasSubstr("parameter is a symbol, not a symbol definition"));
    EXPECT_THAT(log, HasSubstr("NULL symbol parameter"));
    EXPECT_THAT(log, HasSubstr("parameter is not a symbol"));
    EXPECT_EQ(xxsymdef(res_), nullptr);
    EXPECT_STREQ(xxsymname(res_, 0), "res");
    EXPECT_STREQ(xxsymname(r1, 0), "R1");
}

TEST_F(SymTest, SymbolsAreVisitedInOrderOfCreation) {
    symbol *a = place(top_, res_, "Z9");
    symbol *b = place(top_, res_, "A1");
    symbol *c = place(top_, res_, nullptr);
    symbol *cursor = nullptr;
    std::vector<symbol *> seen;
    while (xxnsym(top_, &cursor))
        seen.push_back(cursor);
    EXPECT_EQ(seen, (std::vector<symbol *>{a, b, c}));

    cursor = nullptr;
    EXPECT_EQ(xxnsym(res_, &cursor), 0);
    symbol *bogus = reinterpret_cast<symbol *>(res_);
    EXPECT_EQ(xxnsym(top_, &bogus), 0);
    EXPECT_EQ(count("invalid parameter"), 2);
}

TEST_F(SymTest, PartNameIsWholeAfterALongerOrShorterOne) {
    std::string big(300, 'p');
    symbol *longer = place(top_, res_, "R1", {{"prefix", big.c_str()}, {"suffix", "_s"}});
    symbol *shorter = place(top_, res_, "R2", {{"suffix", "2"}});
    EXPECT_EQ(std::string(xxsympart(longer)), big + "R_s");
    EXPECT_STREQ(xxsympart(shorter), "R2");
    EXPECT_STREQ(xxsympart(res_), "R");
    EXPECT_EQ(std::string(xxsympart(longer)), big + "R_s");
}

} // namespace
