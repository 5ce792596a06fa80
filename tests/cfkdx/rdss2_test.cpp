// The record parser and the port classification, driven by small tables and files written by
// the tests themselves.

#include "kdx.h"
#include "kdxint.h"
#include "support/kdxsupport.h"
#include "support/testsupport.h"

#include "cfpath.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

using namespace kdx;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr rdfield keyfields[] = {{"k", FLD_WORD, PROPF_CLASS1}, {nullptr, 0, 0}};
constexpr rdfield qualfields[] = {{"a", FLD_QUAL, PROPF_QUAL},
                                  {"b", FLD_QUAL, PROPF_QUAL},
                                  {"v", FLD_WORD, PROPF_CLASS1},
                                  {nullptr, 0, 0}};
constexpr rdfield plainfields[] = {{"w", FLD_WORD, PROPF_CLASS1}, {nullptr, 0, 0}};
constexpr rdfield skipfields[] = {{"s1", FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
                                  {"s2", FLD_QUAL | FLD_GRAPHIC, PROPF_QUAL},
                                  {"g", FLD_WORD | FLD_GRAPHIC, PROPF_CLASS1},
                                  {nullptr, 0, 0}};
constexpr rdfield markfields[] = {{"id", FLD_WORD | FLD_NAME, PROPF_CLASS1},
                                  {"inact", FLD_INACT | FLD_NAME, PROPF_CLASS1},
                                  {nullptr, 0, 0}};

constexpr rdrecord testtable[] = {
    {"k", RC_FIELDS, keyfields},    {"q", RC_FIELDS, qualfields},
    {"r", RC_FIELDS, plainfields},  {"x", RC_FIELDS, skipfields},
    {"g", RC_GRAPHIC, plainfields}, {"u", RC_FIELDS, markfields},
    {"e", RC_FIELDS, nullptr},      {"s", RC_LINE, nullptr},
    {"n", RC_BLOCK, nullptr},       {"", 0, nullptr},
};

void *table() {
    return const_cast<rdrecord *>(testtable);
}

// The detail lines of a net, where the record keeps them.
template <class N> bool hasdetails(N *n) {
    return requires {
        n->details;
    };
}
template <class N> std::vector<std::string> detaillines(N *n) {
    std::vector<std::string> lines;
    if constexpr (requires { n->details; })
        for (const linecell *c = n->details; c != nullptr; c = c->next)
            lines.push_back(c->text);
    return lines;
}

class RecordParser : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testsupport::makedir("/tmp/rdss2_testXXXXXX");
        ASSERT_FALSE(dir.empty());
        xxsetlog(log.file());
        cf::PSetPath(dir.c_str());
    }
    void TearDown() override {
        xxfreeall();
        xxsetlog(stderr);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    void write(const char *name, const std::string &text) {
        ASSERT_TRUE(testsupport::writefile(dir + "/" + name, text));
    }

    // Parses the "[schematic2]" section of `text` into a new net against the test table.
    int parse(const std::string &text, int opts = 0) {
        write("t.sch", "[schematic2]\n" + text);
        xxinit();
        xxgetroot()->opts = static_cast<std::uint32_t>(opts);
        owner = xxnewnetdef("t", nullptr);
        xxsetcurnet(owner);
        const char *path = nullptr;
        EXPECT_EQ(xxfdopen(nullptr, "t.sch", XXK_SCHEMATIC, &path), XXK_SCHEMATIC);
        xxlinkprop(owner, xxalprop(1, "file", path), 2);
        int r = xxrdsection(owner, "[schematic2]", xxrdlines, table(), 1);
        xxfdclose();
        return r;
    }

    std::string logtext() { return log.text(); }

    static std::string value(void *obj, const char *name) {
        return testsupport::propvalue(obj, name);
    }
    static std::vector<std::string> qualifiers(const prop *p) { return testsupport::qualifiers(p); }

    std::string dir;
    testsupport::Capture log;
    net *owner = nullptr;
};

TEST_F(RecordParser, VerbatimRecordsConsumeTheirLinesAndBlocks) {
    // The block's inner line would be an unknown record if it were parsed; the block ends at
    // its "_" line, a second block at the section line.
    const char *text = "s anything at all\n"
                       "n start\n"
                       "zz inside the block\n"
                       "_end\n"
                       "# a comment\n"
                       "k one\n"
                       "n open block\n"
                       "zz still inside\n"
                       "[next]\n"
                       "k two\n";
    EXPECT_EQ(parse(text), 1) << logtext();
    EXPECT_EQ(value(owner, "k"), "one");
    EXPECT_EQ(logtext(), "");

    xxfreeall();
    EXPECT_EQ(parse(text, XXR_GRAPHICS), 1) << logtext();
    EXPECT_EQ(value(owner, "k"), "one");
    if (hasdetails(owner)) {
        EXPECT_THAT(detaillines(owner),
                    ElementsAre("s anything at all", "n start", "zz inside the block", "_end",
                                "n open block", "zz still inside"));
    }
}

TEST_F(RecordParser, PendingQualifiersBelongToTheNextPropertyOnly) {
    EXPECT_EQ(parse("q 1 2 x\nr y\nq 3\n"), 1) << logtext();
    EXPECT_THAT(qualifiers(xxfindprop(owner, "v", 0)), ElementsAre("a:1", "b:2"));
    EXPECT_TRUE(qualifiers(xxfindprop(owner, "w", 0)).empty());
}

TEST_F(RecordParser, PlacementWordsAreCountedEvenWhenDropped) {
    // Without the graphics option the two words are dropped and "g" is skipped too; every
    // dropped word that is missing is an error of its own, and the section goes on.
    EXPECT_EQ(parse("x 1 2 gv\nx 1\nk after\ng kept\n"), 0);
    EXPECT_EQ(value(owner, "g"), "(none)");
    EXPECT_EQ(value(owner, "k"), "after");
    EXPECT_EQ(value(owner, "w"), "(none)"); // class 3 record needs the graphics option
    const std::string few = "t.sch line 3 : bad format, too few words\n";
    EXPECT_EQ(log.count(few), 2) << logtext();
    EXPECT_EQ(log.count("\n"), 2) << logtext();

    xxfreeall();
    EXPECT_EQ(parse("x 1 2 gv\ng kept\n", XXR_GRAPHICS), 1) << logtext();
    EXPECT_EQ(value(owner, "g"), "gv");
    EXPECT_THAT(qualifiers(xxfindprop(owner, "g", 0)), ElementsAre("s1:1", "s2:2"));
    EXPECT_EQ(value(owner, "w"), "kept");
}

TEST_F(RecordParser, RecordErrorsFailTheSectionButNotTheRestOfIt) {
    // Unknown keyword, a record with no fields, and a blank line that ends the section early.
    EXPECT_EQ(parse("bogus 1 2\ne 1 2 3\nk one\n\t \nk two\n"), 0);
    EXPECT_EQ(value(owner, "k"), "one");
    std::string text = logtext();
    EXPECT_THAT(text, HasSubstr("line 2 : unrecognized record in [schematic2] section\n"));
    EXPECT_THAT(text, HasSubstr("warning: file "));
    EXPECT_THAT(text, HasSubstr("end of file in [schematic2] section\n"));
}

TEST_F(RecordParser, ExclusionMarkNeedsAOneThatDiffersFromTheId) {
    EXPECT_EQ(parse("u R1 1\nu R2 0\nu 1 1\nu R3 yes\nu R4\nu r5 1\n"), 1) << logtext();
    std::string file = value(owner, "file");
    EXPECT_EQ(xxexcluded("R1", file.c_str()), 1);
    EXPECT_EQ(xxexcluded("R2", file.c_str()), 0);
    EXPECT_EQ(xxexcluded("1", file.c_str()), 0);
    EXPECT_EQ(xxexcluded("R3", file.c_str()), 0);
    EXPECT_EQ(xxexcluded("R4", file.c_str()), 0);
    EXPECT_EQ(xxexcluded("R5", file.c_str()), 1); // compared without case
    EXPECT_EQ(xxexcluded("R1", "other.sch"), 0);
}

TEST_F(RecordParser, OverlongWordsAndStrayBytesGiveMessagesNotDamage) {
    std::string longword(3000, 'w');
    std::string text = longword + " 1\n" + "k " + longword + "\n" + "k \x01\xff\x7f tail\n" +
                       std::string("r a\0b c\n", 8) + "k last";
    EXPECT_EQ(parse(text), 0);
    EXPECT_EQ(value(owner, "k").size() > 0, true);
    EXPECT_THAT(logtext(), HasSubstr("line or identifier too long, being truncated"));
}

TEST_F(RecordParser, ConnectorTypesAndBusMembersOfRealPorts) {
    write("ct.sym", "[symbol2]\n"
                    "port 0 0 1 0 NONE 1 in 0 0 g\n"
                    "port 0 0 1 0 HIER 1 in 0 0 g\np 0 0 1 0 0 connectortype:hierarchical\n"
                    "port 0 0 1 0 WREF 1 in 0 0 g\np 0 0 1 0 0 connectortype:WREF\n"
                    "port 0 0 1 0 OFF 1 in 0 0 g\np 0 0 1 0 0 connectortype:offpage\n"
                    "port 0 0 1 0 ON 1 in 0 0 g\np 0 0 1 0 0 connectortype:On\n"
                    "port 0 0 1 0 PROBE 1 in 0 0 g\np 0 0 1 0 0 connectortype:probes\n"
                    "port 0 0 1 0 L1 1 in 0 0 g\np 0 0 1 0 0 connectortype:logic1\n"
                    "port 0 0 1 0 L0 1 in 0 0 g\np 0 0 1 0 0 connectortype:LOGIC0\n"
                    "port 0 0 1 0 GLB 1 in 0 0 g\np 0 0 1 0 0 connectortype:global\n"
                    "iport 0 0 1 0 A[0:3] 1 in 0 0 g\n"
                    "[attributes]\n");
    xxinit();
    symdef *def = xxnewsymdef(nullptr, "ct");
    ASSERT_EQ(xxrdsymdef(nullptr, def, 0), 1) << logtext();
    const std::pair<const char *, int> expected[] = {
        {"NONE", PORTF_HIER}, {"HIER", PORTF_HIER}, {"WREF", PORTF_HIER | PORTF_WREF},
        {"OFF", PORTF_OFF},   {"ON", PORTF_ON},     {"PROBE", PORTF_HIER},
        {"L1", PORTF_LOGIC1}, {"L0", PORTF_LOGIC0}, {"GLB", PORTF_GLOBAL},
    };
    for (const auto &[name, flags] : expected) {
        SCOPED_TRACE(name);
        rport *rp = xxfrport(def->firstrport, name);
        ASSERT_NE(rp, nullptr);
        EXPECT_EQ(rp->flags, flags);
        ASSERT_NE(xxfsdp(def, name), nullptr);
        EXPECT_EQ(xxfsdp(def, name)->flags & 0xff00, flags);
    }
    // A whole-value type with more after it is unknown: warned and taken as hier.
    EXPECT_THAT(logtext(), HasSubstr("unrecognized connectortype: probes on port PROBE; using "
                                     "connectortype:hier\n"));

    // One hidden real port, four declared ports linked to it.
    rport *bus = xxfrport(def->firstrport, "A[0:3]");
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->flags, PORTF_HIDDEN | PORTF_HIER);
    EXPECT_EQ(def->nports, 9 + 4);
    for (const char *member : {"A[0]", "A[1]", "A[2]", "A[3]"}) {
        port *p = xxfsdp(def, member);
        ASSERT_NE(p, nullptr) << member;
        ASSERT_NE(p->links, nullptr);
        EXPECT_EQ(p->links->obj, bus);
        EXPECT_TRUE(p->flags & PORTF_HIDDEN);
    }
}

} // namespace
