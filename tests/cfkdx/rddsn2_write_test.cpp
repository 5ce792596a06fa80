// The design-file writer: databases written back to their file or to the log, and the backups
// that keep the old file.
#include "cfpath.h"
#include "kdxint.h"
#include "support/testsupport.h"

#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// A database in the order the writer writes it, so that it reads back to itself.
const std::string DB = "[design2]\n"
                       "p .\n"
                       "[sch:sym]\n"
                       "T\n"
                       "c p1 CPU_A\n"
                       "c p2 CPU_B\n"
                       "_\n"
                       "D alu\n"
                       "c p3 ALU_0\n"
                       "_\n"
                       "s misc\n"
                       "_\n"
                       "[tools]\n"
                       "t Mon Dec  6 16:14:46 2026 extracted netlist -k none -p .\n"
                       "[attributes]\n"
                       "p cpu;CPU_A 42 10 20 1 0 1 R:1k\n"
                       "p cpu;CPU_B 43 0 0 1 90 0 C:1u\n"
                       "[comments]\n"
                       "first comment\n";
const std::string OWNTOOL = "t Sun Dec  5 09:00:00 2026 extracted partlist -k old -p old\n";
// This program's fresh line: the date as ctime writes it, then its paths.
const char *FRESHTOOL = "t [A-Z][a-z][a-z] [A-Z][a-z][a-z] [ 1-3][0-9] [0-9:]{8} [0-9]{4} "
                        "extracted partlist -k [^ ]+ -p \\.\n";

class WriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string dir = testsupport::makedir("/tmp/dsnwrite_test.XXXXXX");
        ASSERT_FALSE(dir.empty());
        root_ = fs::canonical(dir);
        fs::permissions(root_, fs::perms::all);
        home_ = root_ / "home";
        work_ = root_ / "work";
        fs::create_directories(work_);
        fs::create_directories(home_);
        fs::permissions(home_, fs::perms::all);
        // "~" is the home directory the suite's initialisation file gives.
        testsupport::writefile(root_ / "config" / "morvek" / "van87.ini",
                               "[Vantrell]\n~=" + home_.string() + "\n");
        setenv("VANTRELL_REGISTRY", (root_ / "registry.ini").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("HOME", home_.c_str(), 1);
        old_ = fs::current_path();
        fs::current_path(work_);
        kdx::xxsetlog(log_.file());
        kdx::xxsetprogname("partlist");
        kdx::xxoptions() = {};
        cf::PSetPath(".");
        kdx::xxinit();
    }
    void TearDown() override {
        kdx::xxfreeall();
        kdx::xxdsn2free();
        kdx::xxcleanup();
        cf::FreePaths();
        kdx::xxoptions() = {};
        kdx::xxsetlog(nullptr);
        fs::current_path(old_);
        fs::permissions(work_, fs::perms::all);
        fs::remove_all(root_);
    }

    // Writes top.dsn and reads it as the design database.
    kdx::net *readdb(const std::string &text) {
        testsupport::writefile(work_ / "top.dsn", text);
        const char *path = nullptr;
        if (kdx::xxfdopen(nullptr, "top", kdx::XXK_DESIGN, &path) != kdx::XXK_DESIGN)
            return nullptr;
        return kdx::xxrddsn2(path);
    }
    fs::path backup() const { return home_ / "bak" / "top.dsn"; }

    fs::path root_, home_, work_, old_;
    testsupport::Capture log_;
};

TEST_F(WriterTest, DatabaseWrittenBackOverItsFileWithTheOldOneInTheBackup) {
    // This program's earlier line goes, the other program's stays, a malformed one is left out
    // with a warning, a fresh line ends the section.
    std::string original = DB;
    original.insert(original.find("[attributes]"), OWNTOOL + "t Mon Dec x\n");
    ASSERT_NE(readdb(original), nullptr) << log_.text();
    ASSERT_EQ(kdx::xxwritedsn(nullptr), 1) << log_.text();
    EXPECT_EQ(log_.text(), "partlist: WARNING: Error in [tools] section of design file\n");

    const std::string written = testsupport::readfile(work_ / "top.dsn");
    const std::size_t attrs = DB.find("[attributes]");
    EXPECT_EQ(written.substr(0, attrs), DB.substr(0, attrs));
    EXPECT_THAT(written.substr(attrs, written.find("[attributes]") - attrs),
                MatchesRegex(FRESHTOOL));
    EXPECT_EQ(written.substr(written.find("[attributes]")), DB.substr(attrs));
    EXPECT_EQ(testsupport::readfile(backup()), original);
    EXPECT_EQ(kdx::xxbackupname(), backup().string());

    // The database's list no longer holds the replaced line; the malformed one stays in it.
    kdx::linecell *tools = *kdx::xxdsn2tools();
    ASSERT_TRUE(tools && tools->next);
    EXPECT_STREQ(tools->next->text, "t Mon Dec x");
    EXPECT_EQ(tools->next->next, nullptr);
    EXPECT_EQ(kdx::xxdsn2top()->tools, tools);
}

TEST_F(WriterTest, StdoutWritesTheWholeDatabaseToTheLogWithoutBackup) {
    kdx::xxoptions().dsndebug = 1;
    ASSERT_NE(readdb(DB), nullptr);
    ASSERT_EQ(kdx::xxwritedsn("STDOUT"), 1);
    const std::string log = log_.text();
    const std::string head = DB.substr(0, DB.find("[tools]") + 8);
    // Once by "-xxdsndebug" as the file is read, once more by the call.
    EXPECT_EQ(testsupport::occurrences(log, head), 2) << log;
    EXPECT_EQ(testsupport::occurrences(log, DB.substr(DB.find("[attributes]"))), 2) << log;
    EXPECT_FALSE(fs::exists(home_ / "bak"));
    EXPECT_EQ(testsupport::readfile(work_ / "top.dsn"), DB);
}

TEST_F(WriterTest, FailuresKeepTheOldFile) {
    const std::string target = (work_ / "top.dsn").string();
    EXPECT_EQ(kdx::xxwritedsn(target.c_str()), 0);
    EXPECT_THAT(log_.fresh(), HasSubstr("error: No .dsn file to back annotate."));
    ASSERT_NE(readdb(DB), nullptr);

    // A backup that cannot be written whole leaves the file where it is.
    EXPECT_EQ(kdx::xxmv("top.dsn", "/dev/full"), 0);
    EXPECT_EQ(testsupport::readfile(work_ / "top.dsn"), DB);

    // A file system that takes no more than the old file: the new one fails part-way and is
    // removed; the old one is in the backup, and the log says so.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = DB.size();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = kdx::xxwritedsn(target.c_str());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_EQ(result, 0);
    EXPECT_THAT(log_.fresh(),
                HasSubstr("error: Can not write file " + target + "\n" + "partlist: the previous " +
                          target + " is kept as " + backup().string() + "\n"));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(testsupport::readfile(backup()), DB);

    // A directory without write permission: the old file stays, and a copy is in the backup.
    testsupport::writefile(target, DB);
    fs::remove(backup());
    fs::permissions(home_ / "bak", fs::perms::all);
    fs::permissions(work_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    // Permissions bind the superuser only as another user.
    const bool root = geteuid() == 0;
    ASSERT_TRUE(!root || seteuid(65534) == 0);
    const int denied = kdx::xxwritedsn(target.c_str());
    ASSERT_TRUE(!root || seteuid(0) == 0);
    EXPECT_EQ(denied, 0);
    EXPECT_THAT(
        log_.fresh(),
        HasSubstr("error: (in xxbackup called from xxwritedsn) unable to back up file " + target));
    EXPECT_EQ(testsupport::readfile(target), DB);
    EXPECT_EQ(testsupport::readfile(backup()), DB);

    // A home directory whose "bak" is a file: nothing is moved.
    fs::permissions(work_, fs::perms::all);
    fs::remove(backup());
    fs::remove(home_ / "bak");
    testsupport::writefile(home_ / "bak", "");
    EXPECT_EQ(kdx::xxwritedsn(target.c_str()), 0);
    EXPECT_THAT(log_.fresh(),
                HasSubstr("error: cannot create backup directory: \"" + (home_ / "bak").string()));
    EXPECT_EQ(testsupport::readfile(target), DB);
}

} // namespace
