// A throw-away suite installation for the path tests: a temporary tree holding the registry file,
// the initialisation file and the working directory, with the environment pointed at it, and the
// run's log captured in a file.
#pragma once

#include "cfpath.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace pathtest {

namespace fs = std::filesystem;

class PathEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string dir = testsupport::makedir("/tmp/cfpath_test.XXXXXX");
        ASSERT_FALSE(dir.empty());
        root = fs::canonical(dir);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("VANTRELL_REGISTRY", (root / "registry.ini").c_str(), 1);
        fs::create_directories(root / "work");
        oldcwd = fs::current_path();
        fs::current_path(root / "work");
        cf::pathdebugflag() = 0;
    }

    void TearDown() override {
        cf::FreePaths();
        cf::SetPathLog(nullptr);
        fs::current_path(oldcwd);
        fs::remove_all(root);
    }

    std::string write(const fs::path &name, const std::string &text) {
        testsupport::writefile(name, text);
        return name.string();
    }

    // The registry names dir as the suite's home, where van87.ini holds the given entries of
    // its [VANTRELL] section.
    void suite(const std::string &entries, const fs::path &dir = {}) {
        fs::path home = dir.empty() ? root / "suite" : dir;
        write(root / "registry.ini",
              "[Software\\Morvek\\Vantrell\\8.7\\Directories]\nHome Dir=" + home.string() + "\n");
        write(home / "van87.ini", "[VANTRELL]\n" + entries);
    }

    // Sends the run's log, and the -pathDEBUG traces with it, to a buffer read back by logtext.
    void capturelog(bool trace = true) {
        cf::SetPathLog(log.file());
        cf::pathdebugflag() = trace;
    }

    std::string logtext() { return log.text(); }

    fs::path root;
    fs::path oldcwd;
    testsupport::Capture log;
};

} // namespace pathtest
