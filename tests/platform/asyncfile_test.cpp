// The write stream whose bytes a helper thread writes: order, the old contents, failures.
#include "platform/asyncfile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::firstdifference;
using testsupport::readfile;

class AsyncFileTest : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makedir("/tmp/asyncfileXXXXXX");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const char *name) const { return dir_ + "/" + name; }

    std::string dir_;
};

TEST_F(AsyncFileTest, ManyBuffersArriveWholeAndInOrderReplacingALongerFile) {
    const std::string name = path("report.out");
    ASSERT_TRUE(testsupport::writefile(name, std::string(5'000'000, 'x')));

    std::FILE *f = platform::OpenAsyncWrite(name.c_str(), platform::FileMode::binary);
    ASSERT_NE(f, nullptr);
    char buf[4096]; // a small buffer: thousands of hand-overs through the bounded queue
    ASSERT_EQ(std::setvbuf(f, buf, _IOFBF, sizeof buf), 0);
    std::string expected;
    for (int i = 0; i < 100'000; ++i) {
        const std::string line = "line " + std::to_string(i) + "\n";
        expected += line;
        ASSERT_EQ(std::fputs(line.c_str(), f), 1) << i;
    }
    EXPECT_EQ(std::ferror(f), 0);
    ASSERT_EQ(std::fclose(f), 0);
    EXPECT_EQ(firstdifference(readfile(name), expected), "");
}

TEST_F(AsyncFileTest, TheFileIsEmptiedWhenOpenedAndANewFileGetsTheUsualMode) {
    const std::string old = path("old.out");
    ASSERT_TRUE(testsupport::writefile(old, "stale contents\n"));
    std::FILE *f = platform::OpenAsyncWrite(old.c_str(), platform::FileMode::binary);
    ASSERT_NE(f, nullptr);
    // Whoever reads the file next, before any write, sees it empty: never the old contents.
    EXPECT_EQ(readfile(old), "");
    ASSERT_EQ(std::fclose(f), 0);
    EXPECT_EQ(readfile(old), "");

    const mode_t mask = umask(022);
    const std::string made = path("new.out");
    f = platform::OpenAsyncWrite(made.c_str(), platform::FileMode::binary);
    umask(mask);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fclose(f), 0);
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(AsyncFileTest, AFileThatCannotBeOpenedFailsAtOnce) {
    errno = 0;
    EXPECT_EQ(platform::OpenAsyncWrite(path("no/such/folder/report.out").c_str(),
                                       platform::FileMode::binary),
              nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(platform::OpenAsyncWrite(dir_.c_str(), platform::FileMode::binary),
              nullptr); // a folder
}

TEST_F(AsyncFileTest, ADeviceIsWrittenWithoutBeingEmptied) {
    std::FILE *f = platform::OpenAsyncWrite("/dev/null", platform::FileMode::binary);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fputs("discarded\n", f), 1);
    EXPECT_EQ(std::fclose(f), 0);
}

TEST_F(AsyncFileTest, AFailedWriteIsReportedNotPassedOffAsSuccess) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    std::FILE *f = platform::OpenAsyncWrite("/dev/full", platform::FileMode::binary);
    ASSERT_NE(f, nullptr);
    char buf[256];
    ASSERT_EQ(std::setvbuf(f, buf, _IOFBF, sizeof buf), 0);
    // The helper meets the full device some time after the first hand-over; later writes then
    // fail, and the close reports it whatever the timing.
    const std::string block(1000, 'z');
    for (int i = 0; i < 50; ++i)
        std::fputs(block.c_str(), f);
    errno = 0;
    EXPECT_EQ(std::fclose(f), EOF);
    EXPECT_EQ(errno, ENOSPC);
}

TEST_F(AsyncFileTest, BuffersHandedOverKeepTheirPlaceAmongTheStreamsOwnBytes) {
    // A stream of OpenAsyncWrite takes the buffers themselves; any other stream copies them.
    for (const bool async : {true, false}) {
        const std::string name = path(async ? "async.out" : "plain.out");
        std::FILE *f = async ? platform::OpenAsyncWrite(name.c_str(), platform::FileMode::binary)
                             : std::fopen(name.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string expected;
        for (int i = 0; i < 200; ++i) {
            const std::string line = "stdio " + std::to_string(i) + "\n";
            ASSERT_EQ(std::fputs(line.c_str(), f), 1);
            const std::string block(1000 + i, static_cast<char>('a' + i % 26));
            std::shared_ptr<char[]> data(new char[block.size()]);
            block.copy(data.get(), block.size());
            ASSERT_TRUE(platform::WriteOwned(f, std::move(data), block.size())) << i;
            expected += line + block;
        }
        ASSERT_EQ(std::fclose(f), 0);
        EXPECT_EQ(firstdifference(readfile(name), expected), "") << (async ? "async" : "plain");
    }

    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    std::FILE *f = platform::OpenAsyncWrite("/dev/full", platform::FileMode::binary);
    ASSERT_NE(f, nullptr);
    bool handed = true;
    for (int i = 0; i < 50 && handed; ++i)
        handed = platform::WriteOwned(f, std::shared_ptr<char[]>(new char[1000]()), 1000);
    EXPECT_EQ(std::fclose(f), EOF);
}

} // namespace
