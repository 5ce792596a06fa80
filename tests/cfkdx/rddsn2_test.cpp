// Design databases: reading "[design2]" files and the designs they describe.
#include "dsnfixture.h"

#include <cstdio>
#include <gmock/gmock.h>
#include <string>
#include <vector>

namespace {

using dsntest::DesignTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> lines(kdx::linecell *c) {
    std::vector<std::string> out;
    for (; c; c = c->next)
        out.emplace_back(c->text ? c->text : "(null)");
    return out;
}

// Each entry as kind, name and its pages as page=instance.
std::vector<std::string> entries(kdx::dsn2entry *e) {
    std::vector<std::string> out;
    for (; e; e = e->next) {
        std::string s(1, e->kind);
        if (e->name) s += std::string(" ") + e->name;
        for (kdx::dsn2entry *c = e->subs; c; c = c->next)
            s += std::string(" ") + c->name + "=" + c->text2;
        out.push_back(s);
    }
    return out;
}

// An attribute as its text followed by its qualifiers, in list order.
std::string attribute(kdx::prop *p) {
    std::string s = p->text;
    for (kdx::prop *q = p->sub; q; q = kdx::propnext(q))
        s += std::string(" ") + q->text;
    return s;
}

using Design2Test = DesignTest;

TEST_F(Design2Test, OnePageDatabaseMakesThatPageTheTop) {
    const char *path = nullptr;
    ASSERT_EQ(open("db1", &path), kdx::XXK_DESIGN);
    kdx::net *top = kdx::xxrddsn2(path);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_EQ(logtext(), "");
    EXPECT_STREQ(top->name, "p1");
    EXPECT_EQ(kdx::xxdsn2top(), top);
    EXPECT_EQ(propval(top, "file"), path);
    EXPECT_STREQ(kdx::xxdsn2path(), ".");
    EXPECT_THAT(entries(kdx::xxdsn2entries()), ElementsAre("T p1=P1_0"));
    EXPECT_THAT(lines(top->tools),
                ElementsAre("t Mon Dec  6 16:14:46 2026 extracted netlist -k none -p ."));
    EXPECT_THAT(lines(top->comments), ElementsAre("kept comment"));
    EXPECT_EQ(*kdx::xxdsn2tools(), top->tools);
    EXPECT_FALSE(kdx::xxcurfile()->open);
    // A page is read as a schematic, not through the database.
    EXPECT_EQ(kdx::xxfindmpg(top), 0);
}

TEST_F(Design2Test, DatabaseContentsWithLfAndCrLf) {
    for (const char *file : {"db2", "db2crlf"}) {
        SCOPED_TRACE(file);
        kdx::net *top = readdb(file);
        ASSERT_NE(top, nullptr) << logtext();
        EXPECT_STREQ(top->name, "*top*");
        EXPECT_THAT(entries(kdx::xxdsn2entries()),
                    ElementsAre("T p1=CPU_A p2.sch=CPU_B", "D alu@D p2=ALU_0", "s misc",
                                "D ALU@D p1=ALU_1"));
        EXPECT_THAT(lines(kdx::xxdsn2comments()), ElementsAre("first comment", "second comment"));
        EXPECT_THAT(lines(*kdx::xxdsn2tools()), ElementsAre(HasSubstr("extracted netlist")));

        // Attributes newest first; placement as qualifiers path, symid, tx, ty, scale, rot,
        // display.
        std::vector<std::string> attrs;
        for (kdx::prop *p = kdx::xxdsn2attrs(); p; p = kdx::propnext(p)) {
            EXPECT_EQ(p->flags & kdx::PROPF_ATTR, kdx::PROPF_ATTR);
            EXPECT_EQ(p->sub->flags & kdx::PROPF_QUAL, kdx::PROPF_QUAL);
            attrs.push_back(attribute(p));
        }
        EXPECT_THAT(attrs, ElementsAre("C:1u path:cpu;CPU_B symid:43 tx:0 ty:0 scale:1 rot:90 "
                                       "display:0",
                                       "R:1k path:cpu;CPU_A symid:42 tx:10 ty:20 scale:1 rot:0 "
                                       "display:1"));
        kdx::xxfreeall();
        kdx::xxinit();
    }
    EXPECT_EQ(logtext(), "");
}

TEST_F(Design2Test, DesignsOfTheDatabaseGetTheirPages) {
    ASSERT_NE(readdb("db2"), nullptr);
    kdx::net *top = kdx::xxfindnet("*TOP*", 0);
    ASSERT_EQ(kdx::xxfindmpg(top), 1);
    EXPECT_STREQ(top->pages, "p1 p2.sch ");
    EXPECT_EQ(top->pageids, kdx::xxdsn2entries()->subs);

    // The design is named twice: its first entry gives the pages.
    kdx::net *alu = kdx::xxnewnetdef("ALU@D", nullptr);
    ASSERT_EQ(kdx::xxfindmpg(alu), 1);
    EXPECT_STREQ(alu->pages, "p2 ");
    EXPECT_STREQ(alu->pageids->text2, "ALU_0");

    EXPECT_EQ(kdx::xxfindmpg(kdx::xxnewnetdef("misc", nullptr)), 0);
    EXPECT_EQ(kdx::xxfindmpg(kdx::xxnewnetdef("alu", nullptr)), 0);

    kdx::dsn2entry *list = kdx::xxdsn2entries();
    EXPECT_EQ(kdx::xxfinddp(list, nullptr), list);
    EXPECT_EQ(kdx::xxfinddp(list, "MISC"), list->next->next);
    EXPECT_STREQ(kdx::xxfinddp(list->subs, "P2.SCH")->text2, "CPU_B");
    EXPECT_EQ(kdx::xxfinddp(list, "nothing"), nullptr);
}

// The whole load: "*top*" with its pages named by the "c" lines and the ports of both pages.
TEST_F(Design2Test, TwoPageTopIsPlacedWithTheRecordedInstanceNames) {
    kdx::net *top = kdx::xxreadfile(nullptr, "db2", nullptr, 0x40);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_STREQ(top->name, "*top*");
    EXPECT_THAT(instances(top), ElementsAre("CPU_A", "CPU_B"));
    EXPECT_EQ(propval(kdx::xxfsym(top, "CPU_B", 0), "id"), "CPU_B");
    EXPECT_EQ(propval(kdx::xxfsym(top, "CPU_B", 0), "tn"), "p2");
    EXPECT_THAT(propval(top, "file"), HasSubstr("db2.dsn"));
    for (const char *name : {"A", "B", "C"})
        EXPECT_NE(kdx::xxfndp(top, name), nullptr) << name;
    EXPECT_EQ(kdx::xxfndp(top, "X"), nullptr);
    EXPECT_EQ(logtext(), "");
}

TEST_F(Design2Test, RecordedPathThatDiffersIsAWarning) {
    kdx::xxsetprogname("partlist");
    ASSERT_NE(readdb(PARTLIST_TEST_DATA "/dsn_bad/pathdiff"), nullptr);
    EXPECT_EQ(logtext(), "partlist: warning: Path specified differs from that used to create "
                         "schematic:\n\tschedit path=/elsewhere/lib\n\tpartlist path=.\n");
    EXPECT_STREQ(kdx::xxdsn2path(), "/elsewhere/lib");
}

// Files the database reader refuses leave no database behind, so the read driver can read the
// name the ordinary way.
TEST_F(Design2Test, MalformedFilesAreRefused) {
    struct Case {
        const char *file;
        const char *message; // "" for none
    };
    const Case cases[] = {
        {"badpre", ""},                                    // "p" not followed by a blank
        {"badpre2", ""},                                   // unknown preamble line
        {"noattr", ""},                                    // "[attributes]" missing
        {"nosch", ""},                                     // "[sch:sym]" missing
        {"unknownlast", "Unrecognized section: [bogus]."}, // ends in a skipped section
        {"badline", "Invalid line in file"},               // unknown entry keyword
        {"unclosed", "Invalid line in file"},              // entry without "_"
        {"shortc", "Invalid line in file"},                // page without its instance name
        {"badattr", "Invalid line in file"},               // attribute of three words
        {"attrkw", "Invalid line in file"},                // attribute line without "p"
        {"notop", "Invalid line in file"},                 // no "T" entry
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::size_t before = logtext().size();
        std::string file = std::string(PARTLIST_TEST_DATA "/dsn_bad/") + c.file;
        const char *path = nullptr;
        ASSERT_EQ(open(file.c_str(), &path), kdx::XXK_DESIGN);
        EXPECT_EQ(kdx::xxrddsn2(path), nullptr);
        std::string said = logtext().substr(before);
        if (*c.message)
            EXPECT_EQ(said, std::string("t: error: file ") + path + " : " + c.message + "\n");
        else
            EXPECT_EQ(said, "");
        EXPECT_EQ(kdx::xxdsn2top(), nullptr);
        EXPECT_EQ(kdx::xxdsn2entries(), nullptr);
        EXPECT_FALSE(kdx::xxcurfile()->open);
    }
}

TEST_F(Design2Test, UnrecognizedSectionIsSkipped) {
    kdx::net *top = readdb(PARTLIST_TEST_DATA "/dsn_bad/unknown");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(count(" : Unrecognized section: [bogus].\n"), 1);
    // The "T" inside the skipped section is no entry.
    EXPECT_THAT(entries(kdx::xxdsn2entries()), ElementsAre("T p1=P1_0"));
}

// A line longer than the line buffer is cut and the rest of it dropped; its tail is never read as
// a line of its own (here it would start a section).
TEST_F(Design2Test, OverlongLinesAreCut) {
    std::string dir = testing::TempDir();
    std::string file = dir + "/long.dsn";
    FILE *f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::string comment = "#" + std::string(998, 'x') + "[bogus]" + std::string(2000, 'y');
    std::fprintf(f, "[design2]\np .\n[sch:sym]\n%s\nT\nc p1 %s\n_\n[attributes]\n", comment.c_str(),
                 std::string(1500, 'I').c_str());
    std::fclose(f);

    ASSERT_NE(readdb(file.c_str()), nullptr) << logtext();
    EXPECT_EQ(logtext(), "");
    kdx::dsn2entry *page = kdx::xxdsn2entries()->subs;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(std::string(page->text2), std::string(999 - 5, 'I'));
    std::remove(file.c_str());
}

TEST_F(Design2Test, ForgettingTheDatabaseLeavesNoPagesBehind) {
    ASSERT_NE(readdb("db2"), nullptr);
    kdx::xxdsn2free();
    EXPECT_EQ(kdx::xxdsn2top(), nullptr);
    EXPECT_EQ(kdx::xxfindmpg(kdx::xxfindnet("*top*", 0)), 0);
}

// The database and the page lists live in the object buffer: a later run in the same process
// must neither use nor follow them, even when the release did not forget them.
TEST_F(Design2Test, LaterRunNeverSeesAnEarlierDatabase) {
    ASSERT_NE(kdx::xxreadfile(nullptr, "db2", nullptr, 0x50), nullptr) << logtext();
    kdx::xxfreeall();
    kdx::xxinit();
    EXPECT_EQ(kdx::xxdsn2top(), nullptr);

    kdx::net *top = kdx::xxreadfile(nullptr, "cpu", nullptr, 0x50);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_THAT(instances(top), ElementsAre("p1#0", "p2#1"));
    EXPECT_EQ(kdx::xxfindmpg(kdx::xxnewnetdef("alu@D", nullptr)), 0);
}

// Attribute paths of cell uses: the top's name unless it is "*top*", the first page below
// "*top*" by its net, then instances; the "@D" of designs never shows.
TEST(DesignPathTest, PathsOfCellUses) {
    const char *nets[] = {"*top*", "p1", "alu@D", "cell"};
    const char *insts[] = {nullptr, "CPU_A", "ALU_0", "I@D1"};
    EXPECT_STREQ(kdx::xxdsnpathof(nets, insts, 1), "");
    EXPECT_STREQ(kdx::xxdsnpathof(nets, insts, 2), "p1");
    EXPECT_STREQ(kdx::xxdsnpathof(nets, insts, 3), "p1;ALU_0");
    EXPECT_STREQ(kdx::xxdsnpathof(nets, insts, 4), "p1;ALU_0;I1");

    const char *single[] = {"cpu@D", "p1"};
    const char *singleinst[] = {nullptr, "U@x"};
    EXPECT_STREQ(kdx::xxdsnpathof(single, singleinst, 2), "cpu;U@x");
    EXPECT_STREQ(kdx::xxdsnpath(nullptr), "");
}

} // namespace
