// Memory that runs out in the middle of a run, on the run's thread or on the printing helper:
// the run ends on the library's fatal "Out of memory" with its streams closed, keeps every sheet
// listed before, and writes the same report and log with helper threads as without them.
//
// This test program replaces the global allocation functions: while a limit is set, every
// allocation of at least that many bytes fails, on whichever thread asks. The design holds one
// sheet far larger than the others, so its allocations are the only ones to reach the limit:
// a low limit fails its walk (the run's thread), a higher one only its printing.
#include "partlist.h"

#include "kdx.h"
#include "support/runsupport.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<std::size_t> faillimit{0}; // 0: nothing fails

void *allocate(std::size_t size, std::size_t align) {
    const std::size_t limit = faillimit.load(std::memory_order_relaxed);
    if (limit != 0 && size >= limit) throw std::bad_alloc();
    if (size == 0) size = 1;
    void *p = align <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(align, (size + align - 1) / align * align);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

} // namespace

// Every form, so that no allocation reaches another allocator (a sanitizer's among them).
void *operator new(std::size_t size) {
    return allocate(size, alignof(std::max_align_t));
}
void *operator new[](std::size_t size) {
    return allocate(size, alignof(std::max_align_t));
}
void *operator new(std::size_t size, std::align_val_t align) {
    return allocate(size, static_cast<std::size_t>(align));
}
void *operator new[](std::size_t size, std::align_val_t align) {
    return allocate(size, static_cast<std::size_t>(align));
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    try {
        return allocate(size, alignof(std::max_align_t));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    return operator new(size, std::nothrow);
}
void *operator new(std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
    try {
        return allocate(size, static_cast<std::size_t>(align));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t &) noexcept {
    return operator new(size, align, std::nothrow);
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete[](void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void *p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept {
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept {
    std::free(p);
}
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept {
    std::free(p);
}

namespace {

namespace fs = std::filesystem;
using testsupport::readfile;

inline constexpr int BIGPARTS = 20000;               // parts of the large sheet, all distinct
inline constexpr std::size_t WALKLIMIT = 256'000;    // reached by the walk of the large sheet
inline constexpr std::size_t PRINTLIMIT = 1'500'000; // reached only by its printing

const char *const SHEETS[] = {"s1", "s2", "s3", "big", "s4", "s5", "s6"}; // in placement order

int openfds() {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

struct Result {
    int status;
    std::string report;
    std::string log;
};

class OutOfMemory : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makedir("/tmp/partlist_oomXXXXXX");
        ASSERT_FALSE(dir_.empty());
        testsupport::privatesettings(dir_);
        partlist::SetPropertyLength("40");
        std::ofstream(dir_ / "res.sym") << "[symbol2]\nport 0 0 1 0 1 0 IO 0 0 a\n"
                                           "[attributes]\np 0 0 1 0 0 primitive:R\n";
        writedesign();
        old_ = fs::current_path();
        fs::current_path(dir_);
        // The first report of a process starts without an empty line, and the report's line
        // counter carries over from run to run: a first run and page filling that never comes
        // leave reports that depend on nothing but their own run.
        ASSERT_GE(run(0, true, false).status, 0);
    }

    // The top sheet places the sheets in order; the parts of each are all distinct.
    void writedesign() {
        std::ofstream top(dir_ / "top.sch");
        top << "[schematic2]\n[detail]\n[cell use]\n";
        int id = 0;
        for (const char *sheet : SHEETS) {
            std::ofstream(dir_ / (std::string(sheet) + ".sym")) << "[symbol2]\n[attributes]\n";
            top << "use " << sheet << " 0 0 1 0 X" << ++id << " 0\n";
            std::ofstream out(dir_ / (std::string(sheet) + ".sch"));
            out << "[schematic2]\n[detail]\n[cell use]\n";
            const int parts = std::string(sheet) == "big" ? BIGPARTS : 2;
            for (int i = 0; i < parts; ++i)
                out << "use res 0 0 1 0 R" << i << " 0\np 0 0 1 0 0 ref:R" << i
                    << "\np 0 0 1 0 0 VALUE:" << sheet << i << "\n";
        }
    }

    void TearDown() override {
        faillimit = 0;
        unsetenv("PARTLIST_THREADS");
        fs::current_path(old_);
        fs::remove_all(dir_);
    }

    Result run(std::size_t limit, bool helpers, bool debug) {
        if (helpers)
            unsetenv("PARTLIST_THREADS");
        else
            setenv("PARTLIST_THREADS", "0", 1);
        std::vector<std::string> args{"-p", ".", "-l", "1000000000"};
        if (debug) args.emplace_back("-debug");
        args.emplace_back("top.sch");
        faillimit = limit;
        const int status = testsupport::runpartlist(std::move(args));
        faillimit = 0;
        return Result{status, readfile("top.out"), readfile("top.log")};
    }

    fs::path dir_;
    fs::path old_;
};

TEST_F(OutOfMemory, InTheWalkEndsOnTheFatalMessageAndKeepsTheSheetsListedBefore) {
    const Result whole = run(0, true, false);
    ASSERT_EQ(whole.status, 0) << whole.log;
    const int fds = openfds();
    const Result r = run(WALKLIMIT, true, false);
    EXPECT_EQ(r.status, -1);
    const std::string last = "partlist: fatal error: Out of memory\n";
    ASSERT_GE(r.log.size(), last.size());
    EXPECT_EQ(r.log.substr(r.log.size() - last.size()), last) << r.log;
    EXPECT_EQ(openfds(), fds);
    EXPECT_EQ(kdx::xxlog(), stderr);
    // The report is the whole one up to the large sheet.
    const std::size_t big = whole.report.find("\nbig.sch");
    ASSERT_NE(big, std::string::npos);
    EXPECT_EQ(testsupport::firstdifference(r.report, whole.report.substr(0, big)), "");
}

TEST_F(OutOfMemory, RunsWithAndWithoutHelperThreadsWriteTheSameReportAndLog) {
    for (const std::size_t limit : {WALKLIMIT, PRINTLIMIT}) {
        for (const bool debug : {false, true}) {
            SCOPED_TRACE(testing::Message() << "limit " << limit << (debug ? " -debug" : ""));
            const Result alone = run(limit, false, debug);
            const Result helped = run(limit, true, debug);
            EXPECT_EQ(alone.status, -1);
            EXPECT_EQ(helped.status, -1);
            EXPECT_NE(alone.log.find("fatal error: Out of memory\n"), std::string::npos);
            EXPECT_EQ(testsupport::firstdifference(helped.report, alone.report), "");
            EXPECT_EQ(helped.log, alone.log);
        }
    }
    // The higher limit is met in printing: the walk of the large sheet was whole.
    EXPECT_NE(run(PRINTLIMIT, true, true).log.find("Calling addlist for R19999\n"),
              std::string::npos);
}

} // namespace
