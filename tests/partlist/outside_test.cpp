// Faults of the outside world: devices that are full, files that cannot be read or vanish, and
// the shipped example cut at every byte. Every run must end with a message and a status: never a
// crash, an internal error or a hang.
#include "partlistint.h"

#include "kdx.h"
#include "platform/ui.h"
#include "support/runsupport.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::readfile;

// A run that hangs is ended by the alarm, and the test with it.
inline constexpr unsigned WATCHDOG_SECONDS = 300;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t CUT_STRIDE = 13; // the sanitizer builds cut at every 13th byte
#else
inline constexpr std::size_t CUT_STRIDE = 1;
#endif

class Outside : public testing::Test {
  protected:
    void SetUp() override {
        alarm(WATCHDOG_SECONDS);
        dir_ = testsupport::makedir("/tmp/partlist_outsideXXXXXX");
        ASSERT_FALSE(dir_.empty());
        testsupport::privatesettings(dir_);
        partlist::SetPropertyLength("40");
        for (const auto &e : fs::directory_iterator(fs::path(PARTLIST_SOURCE_DIR) / "examples/amp"))
            fs::copy_file(e.path(), dir_ / e.path().filename());
        old_ = fs::current_path();
        fs::current_path(dir_);
    }

    void TearDown() override {
        fs::current_path(old_);
        partlist::clearMap();
        platform::SetUiBackend(nullptr);
        fs::remove_all(dir_);
        alarm(0);
    }

    // Runs the example as `./dev example` does; the map is loaded first, as the command does.
    int run(std::vector<std::string> args = {"-p", ".", "top.sch"}) {
        partlist::clearMap();
        partlist::initializeMap("dra.txt");
        return testsupport::runpartlist(std::move(args));
    }

    // The run ended with a status and said why it failed; no invariant broke.
    static void expectmessage(int status, const std::string &log) {
        EXPECT_TRUE(status == -1 || status >= 0) << status;
        if (status == -1) {
            EXPECT_NE(log.find("fatal error: "), std::string::npos) << log;
        }
        EXPECT_EQ(log.find("internal error: "), std::string::npos) << log;
    }

    fs::path dir_;
    fs::path old_;
};

TEST_F(Outside, ReportAndLogOnAFullDevice) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";

    EXPECT_EQ(run({"-p", ".", "-o", "/dev/full", "top.sch"}), -1);
    EXPECT_NE(readfile("top.log").find("fatal error: Error writing output file /dev/full\n"),
              std::string::npos);

    // The log cannot be written: there is nowhere left to say so but the message box.
    fs::remove("top.log");
    fs::create_symlink("/dev/full", "top.log");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "partlist: Error writing log file top.log\n");
    EXPECT_NE(readfile("top.out").find("\tFixed 5 V linear regulator, 1 A"), std::string::npos);
    EXPECT_EQ(kdx::xxlog(), stderr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"-p", ".", "-o", "/dev/full", "top.sch"}), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "partlist: Error writing log file top.log\n");
}

// Mode 000 does not stop root, so every user also gets a file whose reads fail (the memory of
// the process at address 0, which reads as an I/O error) besides a folder in the file's place.
TEST_F(Outside, SchematicSymbolSheetOrMapThatCannotBeRead) {
    std::vector<std::string> kinds{"folder", "unreadable"};
    if (geteuid() != 0) kinds.emplace_back("mode 000");
    for (const char *file : {"top.sch", "R.sym", "stage.sch", "stage.sym", "dra.txt"}) {
        const std::string whole = readfile(file);
        for (const std::string &kind : kinds) {
            SCOPED_TRACE(std::string(file) + " " + kind);
            fs::remove(file);
            if (kind == "folder") {
                fs::create_directory(file);
            } else if (kind == "unreadable") {
                fs::create_symlink("/proc/self/mem", file);
            } else {
                ASSERT_TRUE(testsupport::writefile(file, whole));
                fs::permissions(file, fs::perms::none);
            }
            const int status = run();
            expectmessage(status, readfile("top.log"));
            if (std::string(file) == "top.sch") {
                EXPECT_EQ(status, -1);
            }
            fs::remove_all(file);
            ASSERT_TRUE(testsupport::writefile(file, whole));
        }
    }
}

// The schematic chosen in the open dialog is gone before the run reads it.
TEST_F(Outside, SchematicThatVanishesBetweenTheSearchAndTheRead) {
    static const platform::UiBackend vanishing{
        [](void *, const char *, int, int, int, char *name, int size) {
            std::snprintf(name, static_cast<std::size_t>(size), "%s", "top.sch");
            return fs::remove("top.sch") ? 1 : 0;
        },
        [](void *, const char *, int, const char *, int, int, int) { return 0; }};
    platform::SetUiBackend(&vanishing);
    EXPECT_EQ(run({}), -1);
    const std::string log = readfile("top.log");
    EXPECT_NE(log.find("fatal error: Unable to read file top.sch\n"), std::string::npos) << log;
    expectmessage(-1, log);
}

// The report goes in place when the run ends, never over a file the run read, however that
// file is named: it stays as it was, and the run ends on the fatal message. Other targets are
// written as ever, and the run leaves no file of its own behind.
TEST_F(Outside, TheReportNeverReplacesAFileOfTheDesign) {
    fs::create_directory("sub");
    fs::create_symlink("stage.sch", "link.sch");
    ASSERT_TRUE(testsupport::writefile("old.out", "an earlier report\n"));
    std::vector<std::string> files;
    for (const auto &e : fs::directory_iterator("."))
        files.push_back(e.path().filename());
    ASSERT_GE(run(), 0);
    files.insert(files.end(), {"top.out", "top.log", "new.out"});

    for (const char *target :
         {"stage.sch", "R.sym", "psu_in.sch", "./sub/../stage.sch", "link.sch"}) {
        SCOPED_TRACE(target);
        const std::string before = readfile(target);
        EXPECT_EQ(run({"-p", ".", "-o", target, "top.sch"}), -1);
        EXPECT_EQ(readfile(target), before);
        EXPECT_NE(readfile("top.log").find(std::string("fatal error: Can not open output file ") +
                                           target + "\n"),
                  std::string::npos);
    }
    EXPECT_TRUE(fs::is_symlink("link.sch"));
    for (const char *target : {"new.out", "old.out"}) {
        EXPECT_GE(run({"-p", ".", "-o", target, "top.sch"}), 0);
        const std::string report = readfile(target);
        EXPECT_EQ(report.rfind("SCHEMATIC", 0), 0u) << target;
        EXPECT_NE(report.find("\tFixed 5 V linear regulator, 1 A"), std::string::npos) << target;
    }
    EXPECT_GE(run({"-p", ".", "-o", "/dev/null", "top.sch"}), 0);
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    std::vector<std::string> after;
    for (const auto &e : fs::directory_iterator("."))
        after.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, files);
}

TEST_F(Outside, EveryFileOfTheExampleCutAtEveryByte) {
    std::vector<fs::path> files;
    for (const auto &e : fs::directory_iterator("."))
        files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    int runs = 0;
    for (const fs::path &file : files) {
        const std::string whole = readfile(file);
        for (std::size_t cut = 0; cut < whole.size(); cut += CUT_STRIDE) {
            SCOPED_TRACE(file.string() + " cut at " + std::to_string(cut));
            ASSERT_TRUE(testsupport::writefile(file, whole.substr(0, cut)));
            const int status = run();
            expectmessage(status, readfile("top.log"));
            ++runs;
            if (HasFailure()) return;
        }
        ASSERT_TRUE(testsupport::writefile(file, whole));
    }
    EXPECT_GT(runs, 400);
}

} // namespace
