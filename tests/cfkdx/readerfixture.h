// readerfixture.h - what the tests of the file readers and the read driver set up alike: the
// library's log captured in memory, default options, a scratch folder, the streams a test hands
// the library, and the end of a run when the test is done.
#pragma once

#include "cfpath.h"
#include "kdxint.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace readertest {

class ReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(log_.file(), nullptr);
        kdx::xxsetlog(log_.file());
        kdx::xxoptions() = {};
        dir_ = testsupport::makedir("/tmp/kdxreadXXXXXX");
        ASSERT_FALSE(dir_.empty());
    }

    void TearDown() override {
        // The library forgets a caller's stream without closing it: the streams go after it.
        kdx::xxcleanup();
        for (FILE *f : streams_)
            std::fclose(f);
        cf::FreePaths();
        kdx::xxoptions() = {};
        kdx::xxsetlog(nullptr);
        if (!old_.empty()) std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

    // Files are looked for in the scratch folder, and the library is started.
    void searchscratch() {
        ASSERT_EQ(cf::PSetPath(dir_.c_str()), cf::PATH_OK);
        kdx::xxinit();
    }

    // The scratch folder becomes the working folder (where "cad.rc" is read), with none of the
    // machine's suite settings.
    void workinscratch() {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        testsupport::privatesettings(dir_);
    }

    // A stream of the test's own, closed when the test ends; null stays null.
    FILE *keep(FILE *f) {
        if (f) streams_.push_back(f);
        return f;
    }
    FILE *tmpstream() { return keep(std::tmpfile()); }

    void put(const std::string &name, const std::string &text) {
        testsupport::writefile(dir_ + "/" + name, text);
    }

    // The log written since the last call.
    std::string fresh() { return log_.fresh(); }

    testsupport::Capture log_;
    std::string dir_;

  private:
    std::filesystem::path old_;
    std::vector<FILE *> streams_;
};

} // namespace readertest
