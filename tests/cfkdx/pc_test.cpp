// The library's options and the read driver: the parse table (caller rows, the library's rows,
// their limits and messages), the values applied after a parse, "-par", and loading
// hierarchies of schematics and designs with xxreadfile.
#include "readerfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<std::string> listof(char *const *list) {
    std::vector<std::string> out;
    for (; list && *list; ++list)
        out.emplace_back(*list);
    return out;
}

class Driver : public readertest::ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        // "." of the start-up path is where "cad.rc" is read.
        workinscratch();
    }

    // Parses words (the program name first) with the run driver's four rows.
    const char *parse(std::vector<std::string> words) {
        words_ = std::move(words);
        argv_.clear();
        for (std::string &w : words_)
            argv_.push_back(w.data());
        argv_.push_back(nullptr);
        argc_ = static_cast<int>(words_.size());
        args_ = argv_.data();
        return kdx::ParseComLine("partlist", &argc_, &args_, "-o%s", &oflag_, &report_, "-f%s",
                                 &fflag_, &letters_, "-l%d", &lflag_, &pagelen_, "-debug", &debug_,
                                 nullptr);
    }

    void usedata(const char *dircase) {
        ASSERT_EQ(cf::PSetPath((std::string(PARTLIST_TEST_DATA) + "/" + dircase).c_str()),
                  cf::PATH_OK);
    }

    std::vector<std::string> words_;
    std::vector<char *> argv_;
    int argc_ = 0;
    char **args_ = nullptr;
    int oflag_ = 0, fflag_ = 0, lflag_ = 0, debug_ = 0, pagelen_ = 66;
    const char *report_ = nullptr;
    const char *letters_ = nullptr;
};

TEST_F(Driver, CallerRowsComeFirstAndLibrarySwitchesSetTheirFlags) {
    EXPECT_EQ(parse({"/opt/bin/partlist", "-oreport.out", "-xxnofatal", "-xxverbose", "-debug",
                     "-xxtrace", "-xxbegin", "-xxbreak", "-xxdsndebug", "-xxmemdebug",
                     "-xxnobrackets", "-v", "-l", "60", "top.sch"}),
              nullptr);
    EXPECT_STREQ(report_, "report.out");
    EXPECT_EQ(debug_, 1);
    EXPECT_EQ(pagelen_, 60);
    EXPECT_EQ(fflag_, 0);
    const kdx::LibOptions &o = kdx::xxoptions();
    EXPECT_EQ(o.nofatal, 1);
    EXPECT_EQ(o.verbose, 1);
    EXPECT_EQ(o.trace, 1);
    EXPECT_EQ(o.begin, 1);
    EXPECT_EQ(o.brk, 1);
    EXPECT_EQ(o.dsndebug, 1);
    EXPECT_EQ(o.memdebug, 1);
    EXPECT_EQ(o.nobrackets, 1);
    EXPECT_EQ(o.v, 1);
    EXPECT_EQ(o.debug, 0);
    EXPECT_EQ(cf::pathdebugflag(), 0);
    ASSERT_EQ(argc_, 1);
    EXPECT_STREQ(args_[0], "top.sch");
    EXPECT_STREQ(kdx::xxprogname(), "partlist");
}

TEST_F(Driver, LongerNamesAreMatchedBeforeTheirPrefixes) {
    EXPECT_EQ(parse({"partlist", "-pathDEBUG", "-par", "vendor:acme", "-p", "lib1+lib2", "-k",
                     "klib", "-xxdebug", "top"}),
              nullptr);
    EXPECT_EQ(cf::pathdebugflag(), 1);
    EXPECT_EQ(kdx::xxoptions().debug, 1);
    EXPECT_STREQ(cf::PGetPath(), "lib1+lib2");
    EXPECT_STREQ(cf::KGetPath(), "klib");
    kdx::prop *p = kdx::xxgetroot()->props;
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->text, "vendor:acme");
}

TEST_F(Driver, SearchPathRefusalsComeBackAsTheResult) {
    const std::string longdir(700, 'd');
    EXPECT_STREQ(parse({"partlist", "-p", longdir, "-xxnofatal", "top"}), "-p path too long");
    EXPECT_EQ(kdx::xxoptions().nofatal, 0); // options behind the refused one are not applied
    EXPECT_STREQ(parse({"partlist", "-k", longdir, "top"}), "-k path too long");
    EXPECT_STREQ(parse({"partlist", "-zz", "top"}), "Unrecognized option: -zz");
}

TEST_F(Driver, NodeListsAndQualifiersApplyAfterASuccessfulParse) {
    EXPECT_EQ(parse({"partlist", "-1", "VCC1", "-1", "VCC2", "-0", "AGND", "-Q", "fast", "top"}),
              nullptr);
    EXPECT_THAT(listof(kdx::xxlogic1()), ElementsAre("VCC2"));
    EXPECT_THAT(listof(kdx::xxlogic0()), ElementsAre("AGND"));
    EXPECT_THAT(listof(kdx::xxqualifiers()), ElementsAre("fast"));

    // A later parse replaces the logic lists of the earlier one.
    EXPECT_EQ(parse({"partlist", "-1", "P3", "top"}), nullptr);
    EXPECT_THAT(listof(kdx::xxlogic1()), ElementsAre("P3"));
    EXPECT_THAT(listof(kdx::xxlogic0()), ElementsAre("AGND"));

    // A failed parse applies none of them.
    EXPECT_NE(parse({"partlist", "-1", "P4", "-0", "G4", "-nope", "top"}), nullptr);
    EXPECT_THAT(listof(kdx::xxlogic1()), ElementsAre("P3"));
    EXPECT_THAT(listof(kdx::xxlogic0()), ElementsAre("AGND"));
}

TEST_F(Driver, TableHoldsAtMost99CallerRows) {
    std::vector<std::string> names; // "-opt000" to "-opt099": none is a prefix of another
    for (int i = 0; i < 100; ++i)
        names.push_back("-opt0" + std::to_string(i / 10) + std::to_string(i % 10));
    std::vector<cf::OptionEntry> rows;
    for (const std::string &n : names)
        rows.push_back({n.c_str(), nullptr, 2, nullptr, nullptr});
    std::vector<std::string> words{"partlist", "-xxnofatal", "-opt098"};
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int argc = 3;
    char **args = argv.data();
    EXPECT_STREQ(kdx::ParseComLineTable("partlist", &argc, &args, rows.data(), 100),
                 "Too many options to ParseComLine()");
    EXPECT_EQ(argc, 3);
    EXPECT_EQ(kdx::xxoptions().nofatal, 0);

    EXPECT_EQ(kdx::ParseComLineTable("partlist", &argc, &args, rows.data(), 99), nullptr);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(kdx::xxoptions().nofatal, 1);
}

TEST_F(Driver, PatternsNeedASignAndANameCharacter) {
    int flag = 0;
    int argc = 1;
    char name[] = "partlist";
    char *argv[] = {name, nullptr};
    char **args = argv;
    EXPECT_STREQ(kdx::ParseComLine("partlist", &argc, &args, "o", &flag, nullptr),
                 "ParseComLine() invocation error");
    EXPECT_STREQ(kdx::ParseComLine("partlist", &argc, &args, "-%d", &flag, &argc, nullptr),
                 "ParseComLine() invocation error");
    EXPECT_EQ(kdx::ParseComLine("partlist", &argc, &args, "+9", &flag, nullptr), nullptr);
}

TEST_F(Driver, FunctionRowsReturnTheirOwnText) {
    std::string w0 = "tool", w1 = "-x", w2 = "bad";
    char *argv[] = {w0.data(), w1.data(), w2.data(), nullptr};
    int argc = 3;
    char **args = argv;
    cf::OptionFunc refuse = [](const char *value) -> const char * {
        return *value == 'b' ? "refused" : nullptr;
    };
    EXPECT_STREQ(kdx::ParseComLine(nullptr, &argc, &args, "-x %(s)", nullptr, refuse, nullptr),
                 "refused");
    // Without a program name, the base name of the vector's first element names the program.
    EXPECT_STREQ(kdx::xxprogname(), "tool");
}

TEST_F(Driver, StartUpFileOptionsComeBeforeTheCommandLine) {
    std::ofstream("cad.rc") << "other -xxtrace\npartlist -xxdebug -o rc.out -1 RCVCC\n";
    EXPECT_EQ(parse({"partlist", "-o", "cmd.out", "top"}), nullptr);
    EXPECT_EQ(kdx::xxoptions().debug, 1);
    EXPECT_EQ(kdx::xxoptions().trace, 0);
    EXPECT_STREQ(report_, "cmd.out");
    EXPECT_THAT(listof(kdx::xxlogic1()), ElementsAre("RCVCC"));
    EXPECT_THAT(fresh(), HasSubstr("partlist: Using options from cad.rc"));
}

TEST_F(Driver, ParOptionAddsOrChangesRootProperties) {
    EXPECT_EQ(
        parse({"partlist", "-par", "vendor:acme", "-par", "vendor:zeta", "-par", "temp:25", "top"}),
        nullptr);
    kdx::rootnet *root = kdx::xxgetroot();
    kdx::prop *vendor = kdx::xxfindprop(root, "vendor", 0);
    ASSERT_NE(vendor, nullptr);
    EXPECT_STREQ(vendor->text, "vendor:zeta"); // changed in place, not added twice
    EXPECT_NE(vendor->flags & 0x04, 0);
    EXPECT_STREQ(root->props->text, "temp:25"); // a new one goes to the head

    EXPECT_EQ(kdx::xxaddprop(root, "(fast)vendor:qual", 0), vendor);
    EXPECT_STREQ(vendor->text, "vendor:qual");
    EXPECT_THAT(fresh(), IsEmpty());

    EXPECT_EQ(kdx::xxaddprop(root, "vendor:", 0), nullptr);
    EXPECT_THAT(fresh(), HasSubstr("null value parameter"));
    EXPECT_STREQ(vendor->text, "vendor:qual");
    EXPECT_EQ(kdx::xxaddprop(root, "", 0), nullptr);
    EXPECT_THAT(fresh(), HasSubstr("null property string"));
}

TEST_F(Driver, HierarchyIsReadOnceWithEveryNetBelowIt) {
    usedata("pc_hier");
    kdx::net *top = kdx::xxreadfile(nullptr, "top", nullptr, 0x50);
    ASSERT_NE(top, nullptr) << fresh();
    EXPECT_EQ(top->flags & (kdx::NETF_READ | kdx::NETF_SCH), kdx::NETF_READ | kdx::NETF_SCH);
    kdx::net *left = kdx::xxfindnet("left", 0);
    ASSERT_NE(left, nullptr);
    EXPECT_NE(left->flags & kdx::NETF_READ, 0); // read from a CR LF file
    EXPECT_NE(kdx::xxfsym(left, "R2", 0), nullptr);
    EXPECT_THAT(kdx::xxpropval(kdx::xxfindprop(left, "file", 0)), HasSubstr("pc_hier/left.sch"));
    EXPECT_STREQ(kdx::xxpropval(kdx::xxfindprop(top, "bn", 0)), "top");
    EXPECT_EQ(kdx::xxgetroot()->opts, 0x50u);

    // Asked again, the same net comes back without reading anything.
    kdx::xxoptions().v = 1;
    fresh();
    EXPECT_EQ(kdx::xxreadfile(nullptr, "top", nullptr, 0x50), top);
    EXPECT_THAT(fresh(), Not(HasSubstr("Reading file")));
}

TEST_F(Driver, MissingSubSheetFailsTheLoadAfterTheOtherNets) {
    usedata("pc_hier");
    EXPECT_EQ(kdx::xxreadfile(nullptr, "broken", nullptr, 0x50), nullptr);
    kdx::net *left = kdx::xxfindnet("left", 0);
    kdx::net *right = kdx::xxfindnet("right", 0);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_NE(left->flags & kdx::NETF_READ, 0);
    EXPECT_NE(right->flags & kdx::NETF_FAILED, 0);
    const std::string log = fresh();
    EXPECT_THAT(log, HasSubstr("error: unable to open file right.sch or .dsn for reading\n"));
    EXPECT_THAT(log, HasSubstr("No primitive property on symbol right, and no underlying "
                               "schematic or design file\n"));

    // The failed top-level read is not tried again.
    EXPECT_EQ(kdx::xxreadfile(nullptr, "nosuch", nullptr, 0x50), nullptr);
    EXPECT_THAT(fresh(), HasSubstr("unable to open file nosuch.sch or .dsn for reading"));
    EXPECT_EQ(kdx::xxreadfile(nullptr, "nosuch", nullptr, 0x50), nullptr);
    EXPECT_EQ(fresh(), "error: (in xxreadfile) read already failed\n");
}

TEST_F(Driver, DesignPagesBecomeInstancesOfTheDesignNet) {
    usedata("pc_dsn");
    kdx::net *top = kdx::xxreadfile(nullptr, "top", nullptr, 0x50);
    ASSERT_NE(top, nullptr) << fresh();
    EXPECT_NE(top->flags & kdx::NETF_DSN, 0);
    EXPECT_NE(kdx::xxfsym(top, "p1#0", 0), nullptr);
    EXPECT_NE(kdx::xxfsym(top, "p2#1", 0), nullptr);
    kdx::net *p2 = kdx::xxfindnet("p2", 0);
    ASSERT_NE(p2, nullptr);
    EXPECT_NE(p2->flags & kdx::NETF_READ, 0);
}

TEST_F(Driver, DesignDatabaseNamesItsPageInstances) {
    usedata("pc_dsn");
    kdx::net *top = kdx::xxreadfile(nullptr, "db", nullptr, 0x50);
    ASSERT_NE(top, nullptr) << fresh();
    EXPECT_STREQ(top->name, "*top*");
    EXPECT_NE(kdx::xxfsym(top, "FIRST", 0), nullptr);
    EXPECT_NE(kdx::xxfsym(top, "SECOND", 0), nullptr);
}

// The identification belongs to the first read of the process, so this test needs a process
// of its own (as every test has under ctest).
TEST_F(Driver, IdentificationIsWrittenAtTheFirstReadOnly) {
    usedata("pc_hier");
    EXPECT_EQ(parse({"partlist", "-v", "-0", "AGND", "-p", "x", "top"}), nullptr);
    usedata("pc_hier");
    fresh();
    ASSERT_NE(kdx::xxreadfile(nullptr, "top", nullptr, 0x50 | 0x200), nullptr);
    const std::string path = std::string(PARTLIST_TEST_DATA) + "/pc_hier";
    const std::string log = fresh();
    EXPECT_THAT(log, HasSubstr("partlist: KDX Library Identification:  $Revision: 4 $ \n"
                               "partlist: No qualifiers (-Q) in effect\n"
                               "partlist: Path in effect: " +
                               path +
                               "\n"
                               "partlist: Ground (-0) nodes: AGND\n"
                               "partlist: Power (-1) nodes: Vcc,Vdd\n"
                               "partlist: Extracting power (-1) and ground (-0) nodes logically\n"
                               "partlist: Extracting symbol power pins\n"
                               "partlist: Reading file"));
    kdx::xxfreeall();
    fresh();
    ASSERT_NE(kdx::xxreadfile(nullptr, "top", nullptr, 0x50), nullptr);
    EXPECT_THAT(fresh(), Not(HasSubstr("Identification")));
}

} // namespace
