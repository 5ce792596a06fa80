// Where a property of an object is found: the search order of every kind of object, the
// synthesized "id", the warnings of a look-up, and the per-port properties of a symbol.
#include "objmodel.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using objmodel::ObjModelTest;

class PropSearchTest : public ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        top = kdx::xxnewnetdef("top.sch", nullptr);
    }
    static const char *val(void *obj, const char *name, int flags = 0) {
        return kdx::xxpropval(kdx::xxfindprop(obj, name, flags));
    }
    kdx::net *top = nullptr;
};

TEST_F(PropSearchTest, SymbolInstanceThenDefinitionThenRoot) {
    kdx::symdef *d = mkdef("res.sym", {"1", "2"}, {{"V", "def"}, {"W", "def"}});
    kdx::symbol *s = place(top, d, "R1", {{"V", "own"}});
    addprop(kdx::xxgetroot(), "V", "root");
    addprop(kdx::xxgetroot(), "W", "root");
    addprop(kdx::xxgetroot(), "X", "root");
    EXPECT_STREQ(val(s, "V"), "own");
    EXPECT_STREQ(val(s, "W"), "def");
    EXPECT_STREQ(val(s, "X"), "root");
    EXPECT_STREQ(val(s, "W", kdx::FP_NODEF), "root");
    EXPECT_STREQ(val(d, "V"), "def");
    EXPECT_STREQ(val(d, "X"), "root");
    // The root itself answers from its own list.
    EXPECT_STREQ(val(kdx::xxgetroot(), "V"), "root");
    EXPECT_EQ(count("error"), 0);
}

TEST_F(PropSearchTest, SymbolPortOrder) {
    kdx::symdef *d = mkdef("amp.sym", {"A", "B"});
    kdx::symbol *s = place(top, d, "U1");
    kdx::port *sp = kdx::xxfsp(s, "A", 0);
    kdx::port *sdp = kdx::xxfsdp(d, "A");
    ASSERT_NE(sp, nullptr);
    ASSERT_NE(sdp, nullptr);

    // Each step is shadowed by the one searched before it.
    addprop(kdx::xxgetroot(), "X(A)", "root");
    EXPECT_STREQ(val(sp, "X"), "root");
    addprop(d, "X(A)", "def");
    EXPECT_STREQ(val(sp, "X"), "def");
    addprop(s, "X(B)", "other port");
    addprop(s, "X(A)", "sym");
    EXPECT_STREQ(val(sp, "X"), "sym");
    kdx::symdef *linked = kdx::xxnewsymdef(nullptr, "linked.sym");
    addprop(linked, "X(A)", "link");
    kdx::xxlinkup(sdp, &sdp->links, linked);
    EXPECT_STREQ(val(sp, "X"), "link");
    addprop(sdp, "X", "defport");
    EXPECT_STREQ(val(sp, "X"), "defport");
    addprop(sp, "X", "port");
    EXPECT_STREQ(val(sp, "X"), "port");
    // Port B sees only what names B.
    EXPECT_STREQ(val(kdx::xxfsp(s, "B", 0), "X"), "other port");
}

TEST_F(PropSearchTest, ArrayPortSearchesLikeASymbolPort) {
    kdx::symdef *d = mkdef("res.sym", {"1", "2"}, {{"primitive", "R"}, {"ppin(2)", "VCC"}});
    kdx::symbol *s = place(top, d, "R1", {{"T(2)", "sym"}});
    kdx::port *p2 = kdx::xxfsp(s, "2", 0);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(kdx::rectype(p2), kdx::objtype::arrayport);
    EXPECT_STREQ(val(p2, "T"), "sym");
    EXPECT_STREQ(val(p2, "ppin"), "VCC");
    EXPECT_EQ(kdx::xxfindprop(kdx::xxfsp(s, "1", 0), "T", 0), nullptr);
}

TEST_F(PropSearchTest, NodeFollowsItsAliasRing) {
    kdx::symdef *la = kdx::xxnewsymdef(nullptr, "la.sym");
    kdx::symdef *lb = kdx::xxnewsymdef(nullptr, "lb.sym");
    addprop(la, "X(A)", "fromA");
    addprop(lb, "X(B)", "fromB");
    addprop(lb, "Y(B)", "onlyB");
    kdx::node *a = kdx::xxnewnode(top, "A", nullptr, la);
    kdx::node *b = kdx::xxnewnode(top, "B", nullptr, lb);
    // A lone node: its own list, then its own link list.
    EXPECT_STREQ(val(a, "X"), "fromA");
    EXPECT_EQ(kdx::xxfindprop(a, "Y", 0), nullptr);
    kdx::xxnodealias(a, b);
    ASSERT_EQ(kdx::xxunalias(b), a);
    // From the representative: the successor B (aliased, so go on), then A itself.
    EXPECT_STREQ(val(a, "X"), "fromB");
    EXPECT_STREQ(val(a, "Y"), "onlyB");
    // From B: its successor A is the representative, where the walk ends.
    EXPECT_STREQ(val(b, "X"), "fromA");
    EXPECT_EQ(kdx::xxfindprop(b, "Y", 0), nullptr);
    addprop(b, "X", "own");
    EXPECT_STREQ(val(b, "X"), "own");
}

TEST_F(PropSearchTest, NetAndPortsOfNets) {
    kdx::symdef *frame = mkdef("frame.sym", {}, {{"model", "frame"}});
    kdx::symbol *f = place(top, frame, "F1", {{"TITLE", "board"}});
    ASSERT_NE(top->frames, nullptr);
    EXPECT_EQ(top->frames->obj, f);
    EXPECT_STREQ(val(top, "TITLE"), "board");
    EXPECT_STREQ(val(top, "tn"), "top");

    // A net port: its own list, its linked real port's list for name(port), then the
    // definition of the connector symbol behind that real port.
    kdx::symdef *cd = mkdef("in.sym", {"P"}, {{"model", "connector"}, {"C", "def"}});
    kdx::symbol *c = place(top, cd, "C1", {{"id", "IN"}, {"D(IN)", "inst"}});
    kdx::rport *rp = top->firstrport;
    ASSERT_NE(rp, nullptr);
    EXPECT_EQ(rp->sym, c);
    EXPECT_STREQ(rp->name, "IN");
    kdx::port *np = kdx::xxnewvport(top, top->porttbl, "IN", rp);
    EXPECT_STREQ(val(np, "D"), "inst");
    EXPECT_STREQ(val(np, "C"), "def");
    EXPECT_STREQ(val(rp, "C"), "def");
    EXPECT_EQ(val(rp, "D"), nullptr) << "D(IN) is no property D of the real port";

    // A property's own list is its sub-properties.
    kdx::prop *p = addprop(top, "P", "1");
    kdx::xxlinkprop(p, kdx::xxalprop(2, "S", "sub"), 2);
    EXPECT_STREQ(val(p, "S"), "sub");
}

TEST_F(PropSearchTest, LookUpMessagesAndTheSynthesizedId) {
    EXPECT_EQ(kdx::xxfindprop(nullptr, "R", 0), nullptr);
    EXPECT_EQ(kdx::xxfindprop(top, nullptr, 0), nullptr);
    EXPECT_EQ(kdx::xxfindprop(top, "", 0), nullptr);
    EXPECT_EQ(count("NULL object parameter"), 1);
    EXPECT_EQ(count("null property name parameter"), 2);

    EXPECT_EQ(kdx::xxfindprop(top, "R", kdx::FP_WARN), nullptr);
    EXPECT_EQ(count("property \"R\" not found in net \"top\""), 1);

    kdx::symdef *d = mkdef("res.sym", {"1"}, {{"R", "*req*"}});
    EXPECT_NE(kdx::xxfindprop(d, "R", 0), nullptr);
    EXPECT_EQ(count("required property"), 0) << "a definition only declares it";
    kdx::symbol *s = place(top, d, "R7");
    EXPECT_NE(kdx::xxfindprop(s, "R", 0), nullptr);
    EXPECT_EQ(count("required property \"R\" not supplied in symbol \"R7\""), 1);

    kdx::node *n = kdx::xxnewnode(top, "CLK", nullptr, nullptr);
    kdx::prop *id = kdx::xxfindprop(n, "id", 0);
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(kdx::xxpropval(id), "CLK");
    EXPECT_STREQ(kdx::xxpropval(kdx::xxfindprop(kdx::xxfsp(s, "1", 0), "id", 0)), "1");
    // "id" of a symbol is an ordinary property.
    EXPECT_EQ(kdx::xxfindprop(s, "id", 0), nullptr);

    kdx::xxrec odd{};
    odd.type = 9;
    EXPECT_EQ(kdx::xxfindprop(&odd, "R", 0), nullptr);
    EXPECT_EQ(count("unrecognized object type"), 1);
}

TEST_F(PropSearchTest, DescriptionsForMessages) {
    kdx::symdef *d = mkdef("res.sym", {"1"});
    kdx::symbol *s = place(top, d, "U1");
    kdx::node *n = kdx::xxnewnode(top, "N1", nullptr, nullptr);
    EXPECT_STREQ(kdx::xxwname(s), "symbol \"U1\"");
    EXPECT_STREQ(kdx::xxwname(d), "symbol \"res.sym\"");
    EXPECT_STREQ(kdx::xxwname(n), "node \"N1\"");
    EXPECT_STREQ(kdx::xxwname(kdx::xxfsp(s, "1", 0)), "port \"1\"");
    EXPECT_STREQ(kdx::xxwname(top), "net \"top\"");
    EXPECT_STREQ(kdx::xxwname(addprop(top, "R", "1")), "property \"R:1\"");
    std::string longtext(2900, 'v');
    kdx::prop *big = addprop(top, "R", longtext.c_str());
    EXPECT_EQ(std::string(kdx::xxwname(big)), "property \"R:" + longtext + "\"");
}

TEST_F(PropSearchTest, PortPropertiesOfASymbol) {
    kdx::symdef *d = mkdef("gate.sym", {"A", "B", "C"}, {{"ppin(A)", "VCC"}, {"ppin(B)", "VDD"}});
    kdx::symbol *s = kdx::xxnewsym(top, d, d->nports);
    addprop(s, "ppin(B)", "GND");
    addprop(s, "ppin(C", "broken");
    addprop(s, "ppinx(C)", "other");
    static std::vector<std::pair<std::string, std::string>> seen;
    seen.clear();
    kdx::xxsymportapply(s, "ppin", [](kdx::prop *p, void *, const char *portname) {
        seen.emplace_back(portname, kdx::xxpropval(p));
    });
    std::vector<std::pair<std::string, std::string>> want{{"B", "GND"}, {"A", "VCC"}};
    EXPECT_EQ(seen, want);

    seen.clear();
    kdx::xxsymportapply(d, "ppin", [](kdx::prop *p, void *, const char *portname) {
        seen.emplace_back(portname, kdx::xxpropval(p));
    });
    std::vector<std::pair<std::string, std::string>> defs{{"A", "VCC"}, {"B", "VDD"}};
    EXPECT_EQ(seen, defs);

    kdx::xxoptions().nofatal = 1;
    kdx::xxsymportapply(top, "ppin", [](kdx::prop *, void *, const char *) {});
    EXPECT_EQ(count("Assertion failed: file propif.cpp"), 1);
}

// Per-port properties behind a qualifier are found by what follows it, and a broken qualifier
// is still reported; a name of another case is another property.
TEST_F(PropSearchTest, PortPropertiesBehindQualifiers) {
    kdx::xxaddqual("FAST");
    kdx::symdef *d = mkdef("gate.sym", {"A", "B", "C"}, {{"(FAST)connect(C)", "A"}});
    kdx::symbol *s = kdx::xxnewsym(top, d, d->nports);
    addprop(s, "(FAST)ppin(A)", "VCC");
    addprop(s, "(SLOW)ppin(B)", "VDD");
    addprop(s, "PPIN(C)", "GND");
    addprop(s, "(FAST&)ppin(C)", "broken");
    static std::vector<std::pair<std::string, std::string>> seen;
    seen.clear();
    auto note = [](kdx::prop *p, void *, const char *portname) {
        seen.emplace_back(portname, kdx::xxpropval(p));
    };
    kdx::xxsymportapply(s, "ppin", note);
    std::vector<std::pair<std::string, std::string>> want{{"A", "VCC"}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(count("bad qualifier expression: (FAST&)ppin(C):broken"), 1);

    seen.clear();
    kdx::xxsymportapply(s, "connect", note);
    std::vector<std::pair<std::string, std::string>> fromdef{{"C", "A"}};
    EXPECT_EQ(seen, fromdef);
}

TEST_F(PropSearchTest, LookUpsWithoutCaseOrBehindAQualifierStillFindTheirProperty) {
    kdx::xxaddqual("FAST");
    kdx::symdef *d = mkdef("res.sym", {"1"}, {{"primitive", "R"}, {"prefix", "X"}});
    kdx::symbol *s = place(top, d, "R1", {{"value", "1k"}, {"(FAST)tol", "1%"}, {"Rs", "3"}});
    EXPECT_STREQ(val(s, "PRIMITIVE", kdx::FP_NOCASE), "R");
    EXPECT_EQ(val(s, "PRIMITIVE"), nullptr);
    EXPECT_STREQ(val(s, "rs", kdx::FP_NOCASE | kdx::FP_WHOLE), "3");
    EXPECT_EQ(val(s, "r", kdx::FP_NOCASE | kdx::FP_WHOLE), nullptr);
    EXPECT_STREQ(val(s, "tol"), "1%");
    EXPECT_STREQ(val(s, "prefix"), "X");
    EXPECT_EQ(val(s, "pre"), nullptr);
    EXPECT_EQ(count("error"), 0);
}

} // namespace
