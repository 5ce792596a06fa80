// A file put in place of its target: links, modes, the umask, and what is left after a failure.
#include "platform/placefile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::readfile;
using testsupport::writefile;

class PlaceFileTest : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makedir("/tmp/placefileXXXXXX");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char *name) const { return dir_ + "/" + name; }

    // Writes `text` beside `target` and puts it in place.
    bool place(const std::string &target, const std::string &text) {
        const std::string temp = platform::MakeFileBeside(target.c_str());
        return !temp.empty() && writefile(temp, text) &&
               platform::PlaceFile(temp.c_str(), target.c_str());
    }
    static mode_t modeof(const std::string &name) {
        struct stat st {};
        return ::stat(name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    // Everything in the folder but the names given.
    std::vector<std::string> others(std::initializer_list<std::string> known) const {
        std::vector<std::string> left;
        for (const auto &e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename();
            if (std::find(known.begin(), known.end(), name) == known.end()) left.push_back(name);
        }
        return left;
    }

    std::string dir_;
};

TEST_F(PlaceFileTest, LinksStayLinksAndHardLinksAreSplitAsByAnyRename) {
    // A link to a file: the file is replaced, the link stays.
    ASSERT_TRUE(writefile(path("real"), "old"));
    fs::create_symlink("real", path("link"));
    ASSERT_TRUE(place(path("link"), "new"));
    EXPECT_TRUE(fs::is_symlink(path("link")));
    EXPECT_EQ(readfile(path("real")), "new");

    // A dangling link: the file is made where it points, and the link now leads to it.
    fs::create_directory(path("sub"));
    fs::create_symlink("sub/made", path("dangling"));
    ASSERT_TRUE(place(path("dangling"), "made"));
    EXPECT_TRUE(fs::is_symlink(path("dangling")));
    EXPECT_EQ(readfile(path("sub/made")), "made");

    // Other names of a file keep the old content.
    ASSERT_TRUE(writefile(path("one"), "old"));
    fs::create_hard_link(path("one"), path("two"));
    ASSERT_TRUE(place(path("one"), "new"));
    EXPECT_EQ(readfile(path("one")), "new");
    EXPECT_EQ(readfile(path("two")), "old");

    // Every spelling of a place is one target; a link to a file is that file.
    EXPECT_TRUE(platform::SameTarget(path("real").c_str(), path("link").c_str()));
    EXPECT_TRUE(platform::SameTarget(path("new.csv").c_str(), path("sub/../new.csv").c_str()));
    EXPECT_FALSE(platform::SameTarget(path("new.csv").c_str(), path("new.json").c_str()));
    EXPECT_FALSE(platform::SameTarget(path("one").c_str(), path("two").c_str()));
    EXPECT_EQ(others({"real", "link", "sub", "dangling", "one", "two"}),
              std::vector<std::string>{});
}

// The process's umask belongs to the host: reading it means setting it, and a file another thread
// makes in between would get the wrong mode. Every call the code under test makes lands here.
std::atomic<int> umaskcalls{0};

mode_t setumask(mode_t mask) {
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

TEST_F(PlaceFileTest, NewFilesFollowTheUmaskWhichIsNeverTouchedAndOldFilesKeepTheirMode) {
    const mode_t before = setumask(022);
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        setumask(mask);
        const std::string name = path(mask == 022 ? "a.csv" : "b.csv");
        ASSERT_TRUE(place(name, "x"));
        EXPECT_EQ(modeof(name), 0666 & ~mask) << std::oct << mask;
    }
    ASSERT_EQ(::chmod(path("a.csv").c_str(), 0640), 0);
    ASSERT_TRUE(place(path("a.csv"), "y"));
    EXPECT_EQ(modeof(path("a.csv")), 0640u);
    EXPECT_EQ(umaskcalls, 0);
    setumask(before);
}

TEST_F(PlaceFileTest, AFailureLeavesTheTargetAsItWasAndNoFileBeside) {
    ASSERT_TRUE(writefile(path("target"), "old"));
    const std::string temp = platform::MakeFileBeside(path("target").c_str());
    ASSERT_FALSE(temp.empty());
    fs::create_directory(path("folder")); // a file cannot replace a folder
    EXPECT_FALSE(platform::PlaceFile(temp.c_str(), path("folder").c_str()));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(readfile(path("target")), "old");
    EXPECT_EQ(others({"target", "folder"}), std::vector<std::string>{});
    errno = 0;
    EXPECT_EQ(platform::MakeFileBeside(path("no/such/folder/x").c_str()), "");
    EXPECT_EQ(errno, ENOENT);
}

} // namespace

extern "C" mode_t umask(mode_t mask) {
    ++umaskcalls;
    return setumask(mask);
}
