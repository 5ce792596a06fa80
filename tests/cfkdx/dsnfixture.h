// dsnfixture.h - runs the design readers on the hand-written designs of tests/data and captures
// the library's log.
#pragma once

#include "cfpath.h"
#include "kdxint.h"
#include "support/kdxsupport.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace dsntest {

class DesignTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Pages are found along the search path "." of the design's own folder, as the "p"
        // lines of the databases record it.
        ASSERT_EQ(chdir(PARTLIST_TEST_DATA "/dsn_pages"), 0);
        ASSERT_NE(log_.file(), nullptr);
        kdx::xxsetlog(log_.file());
        kdx::xxsetprogname("t");
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
    }

    std::string logtext() { return log_.text(); }
    int count(const std::string &text) { return log_.count(text); }

    // Opens a design file as the read driver does; the kind found, 0 on failure.
    static int open(const char *name, const char **path = nullptr) {
        return kdx::xxfdopen(nullptr, name, kdx::XXK_DESIGN | kdx::XXK_SCHEMATIC, path);
    }
    // Opens and reads a "[design2]" file; the net it yields.
    static kdx::net *readdb(const char *name) {
        const char *path = nullptr;
        if (open(name, &path) != kdx::XXK_DESIGN) return nullptr;
        return kdx::xxrddsn2(path);
    }
    // The instance names of a net's symbols, in order of creation.
    static std::vector<std::string> instances(kdx::net *n) {
        std::vector<std::string> names;
        for (kdx::symbol *s = n->firstsym; s; s = s->next)
            names.emplace_back(s->name ? s->name : "(null)");
        return names;
    }
    static std::string propval(void *obj, const char *name) {
        return testsupport::propvalue(obj, name);
    }

    testsupport::Capture log_;
};

} // namespace dsntest
