// Multi-page designs read from "[design]" page lists.
#include "dsnfixture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <gmock/gmock.h>

namespace {

using dsntest::DesignTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

using PageListTest = DesignTest;

// The page list comes out the same whether names share a line, stand on lines of their own
// between comments, or come with CR LF line ends and a last line without one.
TEST_F(PageListTest, LayoutOfTheNamesDoesNotMatter) {
    for (const char *file : {"cpu", "cpu1line", "cpucrlf"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(open(file), kdx::XXK_DESIGN);
        kdx::net *n = kdx::xxnewnetdef(file, nullptr);
        ASSERT_EQ(kdx::xxrddsnfn(n), 1);
        ASSERT_NE(n->pages, nullptr);
        EXPECT_STREQ(n->pages, "p1.sch p2.sch");
        EXPECT_EQ(n->pageids, nullptr);
    }
    EXPECT_EQ(logtext(), "");
}

TEST_F(PageListTest, PageListLongerThanABlockIsKeptWhole) {
    const std::string file = "/tmp/rddsn_long" + std::to_string(getpid()) + ".dsn";
    std::string text = "[design]\n", want;
    for (int i = 0; i < 400; ++i) {
        std::string name = "p" + std::to_string(i) + std::string(200, 'x') + ".sch";
        text += name + "\n";
        want += (want.empty() ? "" : " ") + name;
    }
    ASSERT_TRUE(testsupport::writefile(file, text));
    ASSERT_EQ(open(file.c_str()), kdx::XXK_DESIGN);
    kdx::net *n = kdx::xxnewnetdef("long", nullptr);
    EXPECT_EQ(kdx::xxrddsnfn(n), 1) << logtext();
    ASSERT_NE(n->pages, nullptr);
    EXPECT_EQ(n->pages, want);
    std::remove(file.c_str());
}

TEST_F(PageListTest, DebugOptionListsThePages) {
    kdx::xxoptions().debug = 1;
    const char *path = nullptr;
    ASSERT_EQ(open("cpu1line", &path), kdx::XXK_DESIGN);
    ASSERT_EQ(kdx::xxrddsnfn(kdx::xxnewnetdef("cpu1line", nullptr)), 1);
    EXPECT_EQ(logtext(), std::string("t: Design file ") + path + " includes:\np1.sch p2.sch\n");
}

TEST_F(PageListTest, ReadingStopsAtTheFirstSection) {
    ASSERT_EQ(open("cpustop"), kdx::XXK_DESIGN);
    kdx::net *n = kdx::xxnewnetdef("cpustop", nullptr);
    ASSERT_EQ(kdx::xxrddsnfn(n), 1);
    EXPECT_STREQ(n->pages, "p1.sch");
}

TEST_F(PageListTest, FileWithoutNamesFailsTheDesign) {
    ASSERT_EQ(open("nonames"), kdx::XXK_DESIGN);
    kdx::net *n = kdx::xxnewnetdef("nonames", nullptr);
    EXPECT_EQ(kdx::xxrddsnfn(n), 0);
    EXPECT_EQ(count("error: file "), 1);
    EXPECT_EQ(count(": no filenames in file\n"), 1);

    EXPECT_EQ(kdx::xxreadfile(nullptr, "nonames", nullptr, 0x50), nullptr);
    EXPECT_TRUE(kdx::xxfindnet("nonames", 0)->flags & kdx::NETF_FAILED);
}

// A database the "[design2]" reader refused, or that describes other cells, must not have its
// words taken for page files.
TEST_F(PageListTest, DesignDatabaseIsNoPageList) {
    ASSERT_EQ(open("db2"), kdx::XXK_DESIGN);
    kdx::net *n = kdx::xxnewnetdef("db2", nullptr);
    EXPECT_EQ(kdx::xxrddsnfn(n), 0);
    EXPECT_EQ(count("no filenames in file"), 1);
    EXPECT_THAT(logtext(), Not(HasSubstr("unable to open")));
}

TEST_F(PageListTest, NextNameStaysInsideTheWordBuffer) {
    char word[4] = {'?', '?', '?', '?'};
    const char *rest = kdx::nextname(" \tabcdef  gh", word, sizeof word);
    EXPECT_STREQ(word, "abc");
    ASSERT_NE(rest, nullptr);
    rest = kdx::nextname(rest, word, sizeof word);
    EXPECT_STREQ(word, "gh");
    EXPECT_EQ(kdx::nextname(rest, word, sizeof word), nullptr);
    EXPECT_EQ(kdx::nextname(" \n", word, sizeof word), nullptr);
}

using DesignNetTest = DesignTest;

// Pages p1 and p2 become the instances p1#0 and p2#1, as the part-list run reads them.
TEST_F(DesignNetTest, PagesArePlacedAsNumberedInstances) {
    kdx::net *top = kdx::xxreadfile(nullptr, "cpu", nullptr, 0x50);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_EQ(logtext(), "");
    EXPECT_THAT(instances(top), ElementsAre("p1#0", "p2#1"));
    EXPECT_FALSE(top->flags & kdx::NETF_PAGESREAD);

    for (kdx::symbol *s = top->firstsym; s; s = s->next) {
        SCOPED_TRACE(s->name);
        EXPECT_TRUE(s->flags & kdx::SYMF_DESIGN);
        EXPECT_EQ(propval(s, "id"), s->name);
        EXPECT_EQ(kdx::xxfsym(top, s->name, 0), s);
        EXPECT_TRUE(s->def->flags & kdx::SDEFF_READ);
        EXPECT_TRUE(s->def->flags & kdx::SDEFF_NET);
        EXPECT_EQ(kdx::xxsymnetdescr(s), kdx::xxfindnet(s->def->name, 0));
    }
    EXPECT_EQ(propval(top->firstsym, "tn"), "p1");

    kdx::net *p1 = kdx::xxfindnet("p1", 0);
    ASSERT_NE(p1, nullptr);
    EXPECT_TRUE(p1->flags & kdx::NETF_READ);
    EXPECT_THAT(propval(p1, "file"), HasSubstr("p1.sch"));
}

// A page named twice takes the instance name of the first entry of its name both times.
TEST_F(DesignNetTest, PageNamedTwiceTakesTheFirstEntrysName) {
    for (int trace : {0, 1}) {
        SCOPED_TRACE(trace);
        kdx::xxoptions().trace = trace;
        kdx::net *top = kdx::xxreadfile(nullptr, "twice", nullptr, 0x40);
        ASSERT_NE(top, nullptr) << logtext();
        EXPECT_THAT(instances(top), ElementsAre("CPU_A", "CPU_A"));
        EXPECT_EQ(count("two symbols have the same name: CPU_A"), trace + 1);
        kdx::xxfreeall();
        kdx::xxdsn2free();
    }
}

// With the wiring passes on, the design gets every hierarchical port of both pages once (B is on
// both) and none of the off-page ones; B of both pages meets on one node of the design.
TEST_F(DesignNetTest, DesignGetsEveryHierarchicalPortOnce) {
    kdx::net *top = kdx::xxreadfile(nullptr, "cpu", nullptr, 0x40);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_EQ(top->nports, 3);
    for (const char *name : {"A", "B", "C"}) {
        SCOPED_TRACE(name);
        kdx::port *p = kdx::xxfndp(top, name);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->flags & kdx::PORTF_HIER);
        EXPECT_TRUE(p->flags & kdx::PORTF_PAGE);
    }
    EXPECT_EQ(kdx::xxfndp(top, "X"), nullptr);
    kdx::symdef *p1 = kdx::xxfindsymdef(nullptr, "p1", 0);
    ASSERT_NE(kdx::xxfsdp(p1, "X"), nullptr);
    EXPECT_EQ(kdx::xxfsdp(p1, "X")->flags, kdx::PORTF_OFF | kdx::PORTF_PAGE);

    kdx::node *b = kdx::xxportnode(kdx::xxfndp(top, "B"));
    ASSERT_NE(b, nullptr);
    kdx::symbol *pg1 = top->firstsym, *pg2 = pg1->next;
    EXPECT_EQ(kdx::xxportnode(kdx::xxfsp(pg1, "B", 0)), b);
    EXPECT_EQ(kdx::xxportnode(kdx::xxfsp(pg2, "B", 0)), b);
    EXPECT_NE(kdx::xxportnode(kdx::xxfsp(pg1, "A", 0)), b);
}

TEST_F(DesignNetTest, DesignThatListsItselfFails) {
    EXPECT_EQ(kdx::xxreadfile(nullptr, "self", nullptr, 0x50), nullptr);
    EXPECT_EQ(count("t: error: recursive schematic calls itself: self\n"), 1);
    // The pages behind the offending one are not read with it.
    EXPECT_NE(kdx::xxfindnet("p1", 0), nullptr);
    EXPECT_EQ(kdx::xxfindnet("p2", 0), nullptr);
}

TEST_F(DesignNetTest, PlacingAPageWithoutItsDefinitionOrNetIsAnInternalError) {
    kdx::xxoptions().nofatal = 1;
    kdx::net *d = kdx::xxnewnetdef("d", nullptr);
    d->pages = kdx::xxalstr(&kdx::xxalbuf, "ghost.sch");
    EXPECT_EQ(kdx::xxrddsn(d), 0);
    EXPECT_EQ(count("internal error: (in xxrddsn) phase error in multi-page schematic\n"), 1);

    kdx::xxnewsymdef(nullptr, "ghost");
    EXPECT_EQ(kdx::xxrddsn(d), 0);
    EXPECT_EQ(count("phase error 2 in multi-page schematic\n"), 1);
    EXPECT_EQ(d->firstsym, nullptr);
}

TEST_F(DesignNetTest, EmptyPageListStillCompletesTheDesign) {
    kdx::net *d = kdx::xxnewnetdef("d", nullptr);
    EXPECT_EQ(kdx::xxrddsn(d), 1);
    EXPECT_EQ(d->firstsym, nullptr);
    EXPECT_EQ(d->nports, 0);
}

} // namespace
