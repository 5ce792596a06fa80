// The run driver: its statuses, the streams it leaves behind, and runs that follow each other.
#include "partlistint.h"

#include "kdx.h"
#include "support/runsupport.h"
#include "support/testsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using testsupport::readfile;

int openfds() {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class Run : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makedir("/tmp/partlist_runXXXXXX");
        ASSERT_FALSE(dir_.empty());
        // No suite settings: the ini file and the registry are looked for in the empty folder.
        testsupport::privatesettings(dir_);
        partlist::SetPropertyLength("40");
    }

    void TearDown() override { fs::remove_all(dir_); }

    // A schematic without symbols: a design of one empty sheet.
    fs::path sheet(const char *name) {
        fs::path p = dir_ / name;
        std::ofstream(p) << "[schematic2]\n[detail]\n[cell use]\n";
        return p;
    }

    int run(std::vector<std::string> args) { return testsupport::runpartlist(std::move(args)); }

    fs::path dir_;
};

TEST_F(Run, NoSchematicEndsWithMinusFour) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({(dir_ / "missing.sch").string()}), -4);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "partlist: No schematic file specified\n");
    EXPECT_FALSE(fs::exists(dir_ / "missing.log"));
    EXPECT_EQ(kdx::xxlog(), stderr);
}

TEST_F(Run, LogThatCannotBeCreatedEndsWithMinusFour) {
    fs::path sch = sheet("top.sch");
    fs::create_directory(dir_ / "top.log");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({sch.string()}), -4);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "partlist: Failed to open log file\n");
}

TEST_F(Run, ReportThatCannotBeOpenedIsFatal) {
    fs::path sch = sheet("top.sch");
    const int fds = openfds();
    const std::string bad = (dir_ / "nodir" / "x.out").string();
    EXPECT_EQ(run({"-o", bad, sch.string()}), -1);
    // The abandoned run closed its log; what it wrote is all there.
    EXPECT_EQ(openfds(), fds);
    EXPECT_EQ(kdx::xxlog(), stderr);
    const std::string log = readfile(dir_ / "top.log");
    EXPECT_EQ(log.rfind("\nPARTLIST: Vantrell Schematic Partlist Utility, Release 4.0\n", 0), 0u)
        << log;
    EXPECT_NE(log.find("\n" + std::string(78, '-') + "\n"), std::string::npos);
    EXPECT_NE(log.find("partlist: fatal error: Can not open output file " + bad + "\n"),
              std::string::npos)
        << log;
}

TEST_F(Run, NoFatalWritesTheMessageAndGoesOnWithoutAReport) {
    fs::path sch = sheet("top.sch");
    const std::string bad = (dir_ / "nodir" / "x.out").string();
    EXPECT_EQ(run({"-xxnofatal", "-o", bad, sch.string()}), 1);
    EXPECT_NE(readfile(dir_ / "top.log").find("fatal error: Can not open output file " + bad),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "top.out"));
}

TEST_F(Run, EmptyReportNameIsFatal) {
    fs::path sch = sheet("top.sch");
    EXPECT_EQ(run({"-o", "", sch.string()}), -1);
    EXPECT_NE(readfile(dir_ / "top.log").find("fatal error: Can not open output file \n"),
              std::string::npos);
}

TEST_F(Run, LongReportNameIsKeptWhole) {
    fs::path sch = sheet("top.sch");
    fs::create_directory(dir_ / std::string(200, 'd'));
    const fs::path out = dir_ / std::string(200, 'd') / (std::string(100, 'x') + ".out");
    ASSERT_GE(out.string().size(), partlist::NAME_SIZE);
    EXPECT_EQ(run({"-o", out.string(), sch.string()}), 0);
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(Run, NamesWrittenWithBackslashesOpen) {
    fs::create_directory(dir_ / "sub");
    sheet("sub/top.sch");
    fs::create_directory(dir_ / "out");
    auto back = [](fs::path p) {
        std::string s = p.string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    };
    EXPECT_EQ(run({"-o", back(dir_ / "out" / "x.out"), back(dir_ / "sub" / "top")}), 0);
    EXPECT_TRUE(fs::exists(dir_ / "out" / "x.out"));
    EXPECT_TRUE(fs::exists(dir_ / "sub" / "top.log"));
}

TEST_F(Run, ReportThatCannotBeWrittenIsFatal) {
    fs::path sch = sheet("top.sch");
    EXPECT_EQ(run({"-o", "/dev/full", sch.string()}), -1);
    EXPECT_NE(readfile(dir_ / "top.log").find("fatal error: Error writing output file /dev/full\n"),
              std::string::npos);
}

// Opening the report empties it: a report name that is the schematic itself, however written
// (or found along the search path), is refused before that, and the design stays whole.
TEST_F(Run, ReportThatIsTheSchematicIsRefusedAndLeavesItWhole) {
    fs::path sch = sheet("top.sch");
    const std::string design = "[schematic2]\n[detail]\n[cell use]\n";
    fs::create_symlink(sch, dir_ / "link.sch");
    fs::create_directory(dir_ / "sub");
    fs::path found = dir_ / "sub" / "top.sch";
    std::ofstream(found) << design;
    const fs::path old = fs::current_path();
    fs::current_path(dir_);
    struct Case {
        std::vector<std::string> args;
        std::string report;
    };
    const Case cases[] = {
        {{"-o", "top.sch", "top.sch"}, "top.sch"},
        {{"-o", "./sub/../top.sch", "top"}, "./sub/../top.sch"},
        {{"-o", "link.sch", sch.string()}, "link.sch"},
        // The design read is the one the search path finds, not the one in the folder; the
        // schematic as given is refused all the same.
        {{"-p", "sub", "-o", found.string(), "top.sch"}, found.string()},
        {{"-p", "sub", "-o", "top.sch", "top.sch"}, "top.sch"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(run(c.args), -1);
        EXPECT_NE(
            readfile("top.log").find("fatal error: Can not open output file " + c.report + "\n"),
            std::string::npos)
            << readfile("top.log");
        EXPECT_EQ(readfile(sch), design);
        EXPECT_EQ(readfile(found), design);
    }
    fs::current_path(old);
}

TEST_F(Run, CleanRunsCountTheirMessagesAcrossRuns) {
    fs::path sch = sheet("top.sch");
    // The last argument top (no extension) is tried as top.sch.
    EXPECT_EQ(run({(dir_ / "top").string()}), 0);
    EXPECT_EQ(readfile(dir_ / "top.out"), "SCHEMATIC          \tNAME          \t        "
                                          "PROPERTY    \t                     DESCRIPTION"
                                          "                \tQTY       \n");
    const std::string log = readfile(dir_ / "top.log");
    EXPECT_EQ(log.find("partlist:"), std::string::npos) << log;

    // The second run traces two lines; the count keeps growing from the first run's.
    const std::string other = (dir_ / "other.out").string();
    EXPECT_EQ(run({"-debug", "-o", other, sch.string()}), 2);
    EXPECT_NE(readfile(dir_ / "top.log")
                  .find("partlist: Calling readin\npartlist: Calling "
                        "xxsymtbl\n"),
              std::string::npos);
    ASSERT_TRUE(fs::exists(other));

    // A third run without options does not reuse the second run's report name or debug flag.
    fs::remove(dir_ / "top.out");
    EXPECT_EQ(run({sch.string()}), 2);
    EXPECT_TRUE(fs::exists(dir_ / "top.out"));
}

TEST_F(Run, DesignThatCannotBeReadIsFatal) {
    fs::path sch = dir_ / "top.sch";
    std::ofstream(sch) << "[not a schematic]\n";
    EXPECT_EQ(run({sch.string()}), -1);
    const std::string log = readfile(dir_ / "top.log");
    EXPECT_NE(log.find("fatal error: Unable to read file " + sch.string() + "\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Error flattening"), std::string::npos);
}

TEST_F(Run, NoFatalGoesOnWithoutADesign) {
    fs::path sch = dir_ / "top.sch";
    std::ofstream(sch) << "[not a schematic]\n";
    const int status = run({"-xxnofatal", sch.string()});
    EXPECT_GE(status, 2);
    const std::string log = readfile(dir_ / "top.log");
    EXPECT_NE(log.find("fatal error: Error flattening file " + sch.string() + "\n"),
              std::string::npos)
        << log;
    // The report holds the title line alone.
    EXPECT_EQ(readfile(dir_ / "top.out").find('\n'), readfile(dir_ / "top.out").size() - 1);
}

TEST_F(Run, RepeatedFailingRunsLeaveTheRoutineStackEmpty) {
    fs::path sch = dir_ / "top.sch";
    std::ofstream(sch) << "[not a schematic]\n";
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(run({sch.string()}), -1) << i;
    EXPECT_EQ(kdx::xxstackdepth(), 0);
}

// Runs of the golden case "hierarchy" (tests/data/golden/), whose first report and log the golden
// harness compares: its design files and the arguments of its run.
class Hierarchy : public Run {
  protected:
    void SetUp() override {
        Run::SetUp();
        const fs::path data = fs::path(PARTLIST_TEST_DATA) / "golden" / "hierarchy";
        for (const auto &e : fs::directory_iterator(data))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir_ / e.path().filename());
        // The sub-sheets are found along "." and keyed by their path behind "./".
        old_ = fs::current_path();
        fs::current_path(dir_);
        std::istringstream cmd(readfile(dir_ / "runs"));
        for (std::string word; cmd >> word;) {
            if (word == "--map" && cmd >> word)
                partlist::initializeMap(word.c_str());
            else if (word == "--proplen" && cmd >> word)
                partlist::SetPropertyLength(word.c_str());
            else
                args_.push_back(word);
        }
    }

    void TearDown() override {
        fs::current_path(old_);
        partlist::clearMap();
        Run::TearDown();
    }

    fs::path old_;
    std::vector<std::string> args_;
};

TEST_F(Hierarchy, SecondRunStartsItsFirstHeadingWithAnEmptyLine) {
    ASSERT_EQ(run(args_), 0);
    std::vector<std::string> again = args_;
    again.insert(again.begin(), {"-o", "again.out"});
    ASSERT_EQ(run(again), 0);
    const std::string first = readfile(dir_ / "top.out");
    const std::size_t title = first.find('\n') + 1;
    EXPECT_EQ(readfile(dir_ / "again.out"), first.substr(0, title) + "\n" + first.substr(title));
}

TEST_F(Hierarchy, StartUpLineEndingInAValueOptionLeavesAnEmptyValue) {
    std::ofstream(dir_ / "cad.rc") << "other -o elsewhere.out\npartlist -debug -o\n";
    // The start-up line's error stops the parse before the command line's "-o".
    std::vector<std::string> args = args_;
    args.insert(args.begin(), {"-o", "cli.out"});
    EXPECT_EQ(run(args), -1);
    EXPECT_FALSE(fs::exists(dir_ / "cli.out"));
    const std::string log = readfile(dir_ / "top.log");
    EXPECT_NE(log.find("fatal error: Can not open output file \n"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(dir_ / "elsewhere.out"));
}

TEST_F(Hierarchy, CategoryLettersAndPageLengthComeFromTheCommandLine) {
    std::vector<std::string> args = args_;
    args.insert(args.begin(), {"-f", "c", "-l", "12"});
    ASSERT_EQ(run(args), 0);
    const std::string out = readfile(dir_ / "top.out");
    EXPECT_EQ(out.find("Discrete"), std::string::npos);
    EXPECT_NE(out.find("    Control"), std::string::npos);
    // Uncategorised parts and blocks are always listed; a page of 12 lines is filled.
    EXPECT_NE(out.find("\tamp.sch "), std::string::npos);
    EXPECT_NE(out.find("\n\n\n"), std::string::npos);
}

} // namespace
