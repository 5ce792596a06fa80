// Property texts, qualifier expressions, attaching at read time, linking and merging.
#include "objmodel.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using objmodel::ObjModelTest;

class PropTest : public ObjModelTest {
  protected:
    // A property made as the readers make it: record and text the last allocations.
    static kdx::prop *rdprop(void *owner, const char *text, int flags = 2) {
        return kdx::xxfixnewprop(owner, kdx::xxalprop(0, text, nullptr), flags);
    }
    static std::vector<std::string> texts(kdx::prop *list) {
        std::vector<std::string> out;
        for (kdx::prop *p = list; p && kdx::rectype(p) == kdx::objtype::prop; p = p->props)
            out.emplace_back(p->text);
        return out;
    }
    static int qual(const char *expr, int *error) {
        const char *t = expr;
        *error = 0;
        return kdx::xxqematch(&t, error);
    }
};

TEST_F(PropTest, ValuesOfTheTextForms) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::prop *r = addprop(n, "R", "1k");
    EXPECT_STREQ(kdx::xxpropiname(r, 0), "R");
    EXPECT_STREQ(kdx::xxpropval(r), "1k");

    kdx::prop *bare = addprop(n, "R", nullptr);
    EXPECT_EQ(kdx::xxproprval(bare), nullptr);
    EXPECT_EQ(kdx::xxpropval(bare), nullptr);
    EXPECT_STREQ(kdx::xxpropfval(bare), "");

    kdx::prop *empty = addprop(n, "R", "");
    EXPECT_STREQ(kdx::xxproprval(empty), "");
    EXPECT_EQ(kdx::xxpropval(empty), nullptr);

    kdx::prop *req = addprop(n, "R", "*REQ*");
    EXPECT_STREQ(kdx::xxproprval(req), "*REQ*");
    EXPECT_EQ(kdx::xxpropval(req), nullptr);
    EXPECT_EQ(kdx::xxpropval(addprop(n, "R", "*opt*")), nullptr);

    // Not a property: the accessors answer nothing, the check reports.
    EXPECT_EQ(kdx::xxpropval(n), nullptr);
    EXPECT_EQ(kdx::xxpropprop(nullptr), nullptr);
    EXPECT_EQ(kdx::xxchkprop(n), 0);
    EXPECT_EQ(kdx::xxchkprop(nullptr), 0);
    EXPECT_EQ(count("Parameter not a prop"), 1);
    EXPECT_EQ(count("NULL prop parameter"), 1);
}

TEST_F(PropTest, NameSkipsQualifierAndTargetAndIsBounded) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::prop *p = addprop(n, "(A|B)<U1>ppin(VCC)  ", "x");
    EXPECT_STREQ(kdx::xxpropiname(p, 0), "ppin(VCC)");
    EXPECT_STREQ(kdx::xxpropiname(p, 2), "<U1>ppin(VCC)");

    // The two buffers hold two names at once.
    kdx::prop *q = addprop(n, "Q", "1");
    const char *first = kdx::xxpropiname(p, 0);
    const char *second = kdx::xxpropiname(q, 1);
    EXPECT_STREQ(first, "ppin(VCC)");
    EXPECT_STREQ(second, "Q");

    EXPECT_EQ(kdx::xxpropiname(addprop(n, "(A", "1"), 0), nullptr);
    EXPECT_EQ(count("bad qualifier in property: \"(A:1\""), 1);
    EXPECT_EQ(kdx::xxpropiname(addprop(n, "<U1ppin", "1"), 0), nullptr);
    EXPECT_EQ(count("bad target in property"), 1);

    std::string name1022(1022, 'n');
    std::string name1023(1023, 'n');
    EXPECT_EQ(kdx::xxpropiname(addprop(n, name1022.c_str(), "v"), 0), name1022);
    EXPECT_EQ(kdx::xxpropiname(addprop(n, name1023.c_str(), "v"), 0), nullptr);
    EXPECT_EQ(count("property name too long"), 1);
}

TEST_F(PropTest, QualifiersEvaluateLeftToRight) {
    kdx::xxaddqual("A,B");
    int err = 0;
    EXPECT_EQ(qual("A)", &err), 1);
    EXPECT_EQ(qual("a)", &err), 1) << "names compare without case";
    EXPECT_EQ(qual("C)", &err), 0);
    // Names compare whole: one that begins an active name, or that an active name begins, is
    // not active.
    kdx::xxaddqual("FAST");
    EXPECT_EQ(qual("FA)", &err), 0);
    EXPECT_EQ(qual("AB)", &err), 0);
    EXPECT_EQ(qual("!C)", &err), 1);
    EXPECT_EQ(qual("!!A)", &err), 1);
    EXPECT_EQ(qual("A&B)", &err), 1);
    EXPECT_EQ(qual("A&&C)", &err), 0);
    EXPECT_EQ(qual("C|B)", &err), 1);
    EXPECT_EQ(qual("C||C)", &err), 0);
    // A doubled operator is one operator, also where the answer is 1 (a syntax error gives 0).
    EXPECT_EQ(qual("C||A)", &err), 1);
    EXPECT_EQ(qual("A&&B)", &err), 1);
    EXPECT_EQ(qual("A^B)", &err), 0);
    EXPECT_EQ(qual("A^C)", &err), 1);
    // No precedence: (C & A) | B, then A | C & C = (A | C) & C.
    EXPECT_EQ(qual("C&A|B)", &err), 1);
    EXPECT_EQ(qual("A|C&C)", &err), 0);
    EXPECT_EQ(qual("A|(C&C))", &err), 1);
    EXPECT_EQ(qual("(A&(B^C)))", &err), 1);
    EXPECT_EQ(err, 0);

    // The text is left behind the closing parenthesis, also after a false term on the left.
    const char *t = "C&A)X:1";
    kdx::xxqematch(&t, &err);
    EXPECT_STREQ(t, "X:1");
}

TEST_F(PropTest, QualifierSyntaxErrors) {
    kdx::xxaddqual("A");
    for (const char *bad : {"A", "A&", "A B)", "A+B)", ")", "&A)", "!)", "(A)", "A|(B)"}) {
        int err = 0;
        EXPECT_EQ(qual(bad, &err), 0) << bad;
        EXPECT_EQ(err, 1) << bad;
    }
    // A name longer than the qualifier buffer is refused, not cut to something that matches.
    std::string longname(600, 'A');
    int err = 0;
    EXPECT_EQ(qual((longname + ")").c_str(), &err), 0);
    EXPECT_EQ(err, 1);
}

TEST_F(PropTest, DeepExpressionsStayWithinTheRoutineStack) {
    kdx::xxaddqual("A");
    int err = 0;
    std::string nested = std::string(150, '(') + "A" + std::string(151, ')');
    EXPECT_EQ(qual(nested.c_str(), &err), 1);
    EXPECT_EQ(err, 0);
    std::string negated = std::string(1001, '!') + "A)";
    EXPECT_EQ(qual(negated.c_str(), &err), 0);
    EXPECT_EQ(err, 0);
    std::string absurd = std::string(2000, '(') + "A" + std::string(2001, ')');
    EXPECT_EQ(qual(absurd.c_str(), &err), 0);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(count("internal error"), 0);
    EXPECT_EQ(kdx::xxstackdepth(), 0);
}

TEST_F(PropTest, NoActiveQualifiersMakeEveryNameFalse) {
    int err = 0;
    EXPECT_EQ(qual("A)", &err), 0);
    EXPECT_EQ(qual("!A)", &err), 1);
    EXPECT_EQ(err, 0);
}

TEST_F(PropTest, ReadTimeQualifiersDropAndGiveBackMemory) {
    kdx::xxaddqual("A,B");
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    EXPECT_EQ(rdprop(n, "(A&!B)X:1"), nullptr);
    char *after = kdx::xxalbuf->ptr;
    EXPECT_EQ(rdprop(n, "(A&!B)X:1 with a much longer text than the first"), nullptr);
    EXPECT_EQ(rdprop(n, "(A X:4"), nullptr);
    EXPECT_EQ(kdx::xxalbuf->ptr, after) << "a dropped property costs nothing";
    EXPECT_EQ(count("bad qualifier in property: \"(A X:4\""), 1);
    EXPECT_NE(rdprop(n, "(A|C)X:2"), nullptr);
    EXPECT_NE(rdprop(n, "(a)X:3"), nullptr);
    EXPECT_GT(kdx::xxalbuf->ptr, after);
    std::vector<std::string> want{"tn:top", "(A|C)X:2", "(a)X:3"};
    EXPECT_EQ(texts(n->props), want);
    EXPECT_EQ(n->lastprop, n->props->props->props);
}

TEST_F(PropTest, TargetsAreCheckedAndMarkTheRoot) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    EXPECT_EQ(kdx::xxgetroot()->flags & kdx::ROOT_TARGETED, 0);
    EXPECT_EQ(rdprop(n, "<U1:ppin>x"), nullptr);
    EXPECT_EQ(rdprop(n, "<U1 ppin:x"), nullptr);
    EXPECT_EQ(count("invalid targetted property"), 2);
    EXPECT_EQ(kdx::xxgetroot()->flags & kdx::ROOT_TARGETED, 0);
    kdx::prop *p = rdprop(n, "<U1>R:1k");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->flags & kdx::PROPF_TARGET);
    EXPECT_TRUE(kdx::xxgetroot()->flags & kdx::ROOT_TARGETED);
    // Without an owner the property is checked but attached nowhere.
    kdx::prop *loose = kdx::xxfixnewprop(nullptr, kdx::xxalprop(0, "(Z)Q:1", nullptr), 1);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(loose->flags, 1);
}

TEST_F(PropTest, KeepListFiltersByPrefix) {
    const char *keep[] = {"PART", nullptr};
    kdx::xxgetroot()->keep = keep;
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    EXPECT_NE(rdprop(n, "PARTNO:7"), nullptr);
    EXPECT_NE(rdprop(n, "<T>PART:7"), nullptr) << "the name behind the target counts";
    EXPECT_NE(rdprop(n, "primitive:R"), nullptr);
    EXPECT_NE(rdprop(n, "W/L:1/2"), nullptr);
    EXPECT_EQ(rdprop(n, "COLOR:red"), nullptr);
    EXPECT_EQ(rdprop(n, "part:lower"), nullptr) << "the prefix compares with case";
    kdx::xxgetroot()->keep = nullptr;
}

TEST_F(PropTest, RootOptionAttachesWhateverTheQualifier) {
    kdx::xxgetroot()->opts |= 0x800;
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    EXPECT_NE(rdprop(n, "(X)R:1"), nullptr);
}

TEST_F(PropTest, WidthLengthPairsAreSplit) {
    kdx::symdef *d = mkdef("nmos.sym", {"D", "G", "S"});
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::symbol *s = kdx::xxnewsym(n, d, d->nports);
    kdx::prop *p = rdprop(s, "W/L:2u/1u", 2);
    ASSERT_NE(p, nullptr);
    rdprop(s, "(A)<M1>L/W:3u/4u", 2);
    std::vector<std::string> want{"W/L:2u/1u",        "W:2u",        "L:1u",
                                  "(A)<M1>L/W:3u/4u", "(A)<M1>L:3u", "(A)<M1>W:4u"};
    // The qualified one is dropped (A is not active): only the first three stay.
    want.resize(3);
    EXPECT_EQ(texts(s->props), want);
    EXPECT_EQ(p->props->flags, 2 | kdx::PROPF_SPLIT);

    kdx::xxaddqual("A");
    rdprop(s, "(A)<M1>L/W:3u/4u", 2);
    std::vector<std::string> all{"W/L:2u/1u",        "W:2u",        "L:1u",
                                 "(A)<M1>L/W:3u/4u", "(A)<M1>L:3u", "(A)<M1>W:4u"};
    EXPECT_EQ(texts(s->props), all);
}

TEST_F(PropTest, MalformedWidthLengthStaysAsWritten) {
    kdx::xxoptions().nofatal = 0;
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    int before = kdx::xxmsgcount();
    kdx::prop *p = rdprop(n, "W/L:2u", 2);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(kdx::xxmsgcount(), before) << "a user's value is no internal error";
    std::vector<std::string> want{"tn:top", "W/L:2u"};
    EXPECT_EQ(texts(n->props), want);
}

TEST_F(PropTest, LinkingHeadTailAndTerminators) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::prop *a = kdx::xxalprop(2, "A", "1");
    kdx::prop *b = kdx::xxalprop(2, "B", "1");
    kdx::xxlinkprop(n, a, 1);
    kdx::xxlinkprop(n, b, 2);
    std::vector<std::string> want{"A:1", "tn:top", "B:1"};
    EXPECT_EQ(texts(n->props), want);
    EXPECT_EQ(n->lastprop, b);

    // Sub-properties of a property.
    kdx::prop *s1 = kdx::xxalprop(2, "S1", nullptr);
    kdx::prop *s2 = kdx::xxalprop(2, "S2", nullptr);
    kdx::xxlinkprop(a, s1, 2);
    kdx::xxlinkprop(a, s2, 1);
    std::vector<std::string> subs{"S2", "S1"};
    EXPECT_EQ(texts(a->sub), subs);

    // An array port's list ends at its symbol, before and after properties join it.
    kdx::symdef *d = mkdef("res.sym", {"1", "2"}, {{"primitive", "R"}});
    kdx::symbol *s = kdx::xxnewsym(n, d, d->nports);
    ASSERT_TRUE(s->flags & kdx::SYMF_ARRAY);
    kdx::port *ap = &kdx::xxsymarray(s)[1];
    kdx::xxlinkprop(ap, kdx::xxalprop(2, "X", "1"), 2);
    kdx::xxlinkprop(ap, kdx::xxalprop(2, "Y", "1"), 2);
    kdx::xxlinkprop(ap, kdx::xxalprop(2, "W", "1"), 1);
    std::vector<std::string> aps{"W:1", "X:1", "Y:1"};
    EXPECT_EQ(texts(ap->props), aps);
    EXPECT_EQ(kdx::xxportobj(ap, 0), s);

    kdx::xxoptions().nofatal = 1;
    kdx::xxlinkprop(n, kdx::xxalprop(2, "Z", nullptr), 3);
    EXPECT_EQ(count("Assertion failed: file prop.cpp"), 1);
}

TEST_F(PropTest, MergeReportsConflictsAndCopiesMissing) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::symdef *d = mkdef("res.sym", {"1"}, {{"R", "1k"}});
    kdx::symbol *s = place(n, d, "R1");
    kdx::prop *src = kdx::xxalprop(2, "R", "2k");
    kdx::xxlinkprop(src, kdx::xxalprop(2, "TOL", "5"), 2);
    kdx::xxlinkprop(src, kdx::xxalprop(1, "SKIP", "1"), 2);
    kdx::xxlinkprop(src, kdx::xxalprop(2, "IID", "7"), 2);
    kdx::xxlinkprop(src, kdx::xxalprop(2, "R", "1k"), 2);
    // Mode 0: the definition's R:1k is found through the symbol and differs from R:2k.
    kdx::xxmergeprops(s, src, 0);
    EXPECT_EQ(count("symbol \"R1\" has incompatible properties: \"R:2k\" and \"R:1k\""), 1);
    EXPECT_EQ(s->props, nullptr);
    kdx::xxmergeprops(s, src->sub, 2);
    std::vector<std::string> want{"TOL:5"};
    EXPECT_EQ(texts(s->props), want);
    EXPECT_EQ(count("incompatible"), 1);
}

TEST_F(PropTest, MatchingNamesTargetsAndClasses) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::prop *rs = addprop(n, "RS", "2", 1);
    kdx::prop *r = addprop(n, "R", "1k", 2);
    kdx::prop *pp = addprop(n, "ppin(A)", "VCC", 2);
    EXPECT_EQ(kdx::xxfppl(n->props, "R", 1, nullptr, 0, 0), r);
    EXPECT_EQ(kdx::xxpmatch("R", 1, rs, nullptr, 0, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("r", 1, r, nullptr, 0, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("r", 1, r, nullptr, 0, kdx::FP_NOCASE), 1);
    EXPECT_EQ(kdx::xxpmatch("ppin", 4, pp, "A", 1, 0), 1);
    EXPECT_EQ(kdx::xxpmatch("ppin", 4, pp, "B", 1, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("ppin", 4, pp, nullptr, 0, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("ppin", 4, pp, nullptr, 0, kdx::FP_PORTFORM), 1);
    EXPECT_EQ(kdx::xxpmatch("R", 1, r, nullptr, 0, kdx::FP_PORTFORM), 0);
    EXPECT_EQ(kdx::xxpmatch("R", 1, r, nullptr, 0, 1), 0) << "class filter";
    EXPECT_EQ(kdx::xxpmatch("R", 1, rs, nullptr, 0, 1), 0);
    EXPECT_EQ(kdx::xxpmatch("RS", 2, rs, nullptr, 0, 1), 1);
    EXPECT_EQ(kdx::xxpmatch(nullptr, 0, r, nullptr, 0, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("", 0, r, nullptr, 0, 0), 0);

    // Whole names without case, compared in place however long the text.
    kdx::prop *spaced = addprop(n, "Part NO", "1", 2);
    EXPECT_EQ(kdx::xxpmatch("PART", 4, spaced, nullptr, 0, kdx::FP_WHOLE | kdx::FP_NOCASE), 1);
    EXPECT_EQ(kdx::xxpmatch("PAR", 3, spaced, nullptr, 0, kdx::FP_WHOLE | kdx::FP_NOCASE), 0);
    std::string huge(2990, 'x');
    kdx::prop *big = addprop(n, huge.c_str(), "1", 2);
    EXPECT_EQ(kdx::xxpmatch(huge.c_str(), 2990, big, nullptr, 0, kdx::FP_WHOLE | kdx::FP_NOCASE),
              1);
    // Only the flags 0x20 alone pass over the name itself; with other bits and without 0x200
    // the name is a prefix as usual.
    EXPECT_EQ(kdx::xxpmatch("X", 1, r, nullptr, 0, kdx::FP_WHOLE), 1);
    EXPECT_EQ(kdx::xxpmatch("X", 1, rs, nullptr, 0, kdx::FP_WHOLE), 0);
    EXPECT_EQ(kdx::xxpmatch("XYZ", 3, r, nullptr, 0, kdx::FP_WHOLE), 0);
    EXPECT_EQ(kdx::xxpmatch("ppin", 4, pp, "A", 1, kdx::FP_WHOLE | kdx::FP_NODEF), 1);
    EXPECT_EQ(kdx::xxpmatch("X", 1, r, nullptr, 0, kdx::FP_WHOLE | kdx::FP_NODEF), 0);
}

TEST_F(PropTest, FailingQualifiersInTheSearch) {
    kdx::net *n = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::prop *q = addprop(n, "(A)R", "1", 2);
    kdx::prop *bad = addprop(n, "(A&)R", "2", 2);
    EXPECT_EQ(kdx::xxpmatch("R", 1, q, nullptr, 0, 0), 0);
    EXPECT_EQ(kdx::xxpmatch("R", 1, q, nullptr, 0, kdx::FP_ANYQUAL), 1);
    EXPECT_EQ(kdx::xxpmatch("", 0, q, nullptr, 0, kdx::FP_QUALONLY), 0);
    EXPECT_EQ(kdx::xxpmatch("R", 1, bad, nullptr, 0, 0), 0);
    EXPECT_EQ(count("bad qualifier expression: (A&)R:2"), 1);
    EXPECT_EQ(kdx::xxpmatch("R", 1, bad, nullptr, 0, kdx::FP_ANYQUAL), 1);
    // A name that itself begins with "(" compares the text as it stands.
    EXPECT_EQ(kdx::xxpmatch("(A)R", 4, q, nullptr, 0, 0), 1);
}

} // namespace
