// The reporter, the message composer and the routine stack.
#include "kdxint.h"
#include "support/testsupport.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

// Captures the log of the library in memory.
class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(log_.file(), nullptr);
        kdx::xxsetlog(log_.file());
    }
    void TearDown() override { kdx::xxsetlog(nullptr); }
    std::string logtext() { return log_.text(); }

    testsupport::Capture log_;
};

std::string compose(int *code, const char *letters, const char *file, int line, const char *fmt,
                    ...) {
    char out[kdx::XXMSGSIZE];
    std::va_list ap;
    va_start(ap, fmt);
    *code = kdx::xxcompose(out, sizeof out, letters, file, line, fmt, ap);
    va_end(ap);
    return out;
}

const char *const NOTE =
    "This is a KDX error: Please save the input and report to Morvek Corporation.\n";

using XxErrorTest = LogTest;

TEST_F(XxErrorTest, SeverityWordsFollowTheProgramName) {
    kdx::xxsetprogname("partlist");
    kdx::xxerror('w', "bad %s", "x");
    kdx::xxerror('e', "e%d", 1);
    kdx::xxerror('d', "dbg");
    kdx::xxerror('m', "Calling readin");
    EXPECT_EQ(logtext(), "partlist: warning: bad x\n"
                         "partlist: error: e1\n"
                         "partlist: debug: dbg\n"
                         "partlist: Calling readin\n");
    EXPECT_EQ(kdx::xxmsgcount(), 4);

    kdx::xxsetprogname("");
    kdx::xxerror('w', "plain");
    EXPECT_EQ(logtext().substr(log_.size() - 15), "warning: plain\n");
}

TEST_F(XxErrorTest, InvalidCodeWritesOnlyTheNoticeAndStillCounts) {
    kdx::xxsetprogname("partlist");
    kdx::xxerror('1', "never %s", "shown");
    kdx::xxerror(0xe9, "never");
    kdx::xxerror('f' | 0x100, "never");
    EXPECT_EQ(logtext(), "partlist: xxerror: invalid error message type\n"
                         "partlist: xxerror: invalid error message type\n"
                         "partlist: xxerror: invalid error message type\n");
    EXPECT_EQ(kdx::xxmsgcount(), 3);
}

TEST_F(XxErrorTest, InternalErrorAddsTheNoteAndReturnsWithNoFatal) {
    kdx::xxoptions().nofatal = 1;
    kdx::xxerror('i', "broken");
    kdx::xxerror('f', "gone");
    EXPECT_EQ(logtext(), std::string("internal error: broken\n") + NOTE + "fatal error: gone\n");
}

int exitstatus = 0;
void recordexit(int status) {
    exitstatus = status;
}

TEST_F(XxErrorTest, FatalErrorEndsTheRunThroughTheInstalledHandler) {
    kdx::xxsetexit(recordexit);
    kdx::xxerror('f', "stop");
    EXPECT_EQ(exitstatus, -1);
    exitstatus = 0;
    kdx::xxerror('i', "stop");
    EXPECT_EQ(exitstatus, -1);
    exitstatus = 0;
    kdx::xxerror('e', "goes on");
    EXPECT_EQ(exitstatus, 0);
    kdx::xxsetexit(nullptr);
}

TEST_F(XxErrorTest, FatalErrorWithoutHandlerReleasesTheLibraryAndThrows) {
    kdx::xxinit();
    kdx::xxsetprogname("partlist");
    ASSERT_NE(kdx::xxgetroot(), nullptr);
    int status = 0;
    try {
        kdx::RoutineScope scope("xxreadfile");
        kdx::xxerr("f", "no %s", "way");
        ADD_FAILURE() << "xxerr returned";
    } catch (const kdx::RunAbort &abort) {
        status = abort.status;
    }
    EXPECT_EQ(status, -1);
    EXPECT_EQ(kdx::xxgetroot(), nullptr);
    EXPECT_EQ(kdx::xxprogname(), nullptr);
    EXPECT_EQ(kdx::xxalbuf, nullptr);
    // The abandoned routine's entry went with the unwinding.
    EXPECT_EQ(kdx::xxstackdepth(), 0);
    EXPECT_EQ(logtext(), "partlist: fatal error: no way\n");
}

TEST_F(XxErrorTest, NumbersAreFormattedInTheCLocale) {
    const char *prev = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    kdx::xxerror('m', "%.1f", 2.5);
    kdx::xxerr("m", "%.1f", 2.5);
    EXPECT_EQ(logtext(), "2.5\n2.5\n");
    if (prev != nullptr) std::setlocale(LC_NUMERIC, "C");
}

TEST(XxCompose, ContextNamesRoutinesFileAndLine) {
    kdx::RoutineScope outer("xxreadfile");
    kdx::RoutineScope inner("xxrdnet");
    int code = 0;
    EXPECT_EQ(compose(&code, "renl", "top.sch", 12, "bad %s", "line"),
              "(in xxrdnet called from xxreadfile) file top.sch line 12 : bad line");
    EXPECT_EQ(code, 'e');
    EXPECT_EQ(compose(&code, "wn", "top.sch", 12, "w"), "file top.sch : w");
    EXPECT_EQ(code, 'w');
    EXPECT_EQ(compose(&code, "el", "top.sch", 3, "x"), "line 3 : x");
    // Without an open input, n and l add nothing.
    EXPECT_EQ(compose(&code, "enl", nullptr, 3, "x"), "x");
    EXPECT_EQ(compose(&code, "ep", nullptr, 0, "y"), "y (see patt)");
    EXPECT_EQ(compose(&code, "ei", nullptr, 0, "z"), "(in xxrdnet called from xxreadfile) z");
    EXPECT_EQ(code, 'i');
}

TEST(XxCompose, FirstSeverityLetterWinsInFixedOrder) {
    struct {
        const char *letters;
        int code;
    } rows[] = {{"wi", 'i'}, {"ew", 'e'}, {"wf", 'f'}, {"ne", 'e'}, {"wn", 'w'},
                {"m", 'm'},  {"", 'm'},   {"rn", 'm'}, {"if", 'f'}};
    for (const auto &row : rows) {
        int code = 0;
        compose(&code, row.letters, nullptr, 0, "t");
        EXPECT_EQ(code, row.code) << row.letters;
    }
}

TEST(XxCompose, DebugMessagesOnlyWithDebugOrBegin) {
    int code = -1;
    EXPECT_EQ(compose(&code, "d", nullptr, 0, "quiet"), "");
    EXPECT_EQ(code, 0);
    kdx::xxoptions().begin = 1;
    EXPECT_EQ(compose(&code, "d", nullptr, 0, "said"), "said");
    EXPECT_EQ(code, 'd');
    kdx::xxoptions().begin = 0;
    kdx::xxoptions().debug = 1;
    compose(&code, "wd", nullptr, 0, "said");
    EXPECT_EQ(code, 'w');
}

TEST(XxCompose, ChainShowsAtMostTheFiveOutermostNames) {
    int code = 0;
    EXPECT_EQ(compose(&code, "r", nullptr, 0, "t"), "(in ) t");
    const char *names[] = {"r0", "r1", "r2", "r3", "r4", "r5", "r6"};
    for (const char *n : names)
        kdx::xxenterq(n);
    EXPECT_EQ(compose(&code, "r", nullptr, 0, "t"),
              "(in r4 called from r3 called from r2 called from r1 called from r0) t");
}

TEST(XxCompose, OverlongTextIsCutAtTheBuffer) {
    std::string big(20000, 'x');
    char out[64];
    std::memset(out, '#', sizeof out);
    char guard[16];
    std::memset(guard, '#', sizeof guard);
    auto run = [&](const char *fmt, ...) {
        std::va_list ap;
        va_start(ap, fmt);
        kdx::xxcompose(out, 32, "enlp", "a-long-file-name.sch", 7, fmt, ap);
        va_end(ap);
    };
    run("%s", big.c_str());
    EXPECT_EQ(std::strlen(out), 31u);
    EXPECT_EQ(std::string(out, 31), "file a-long-file-name.sch line ");
    EXPECT_EQ(out[32], '#');
}

TEST_F(XxErrorTest, XxErrWritesInputTextAsItStands) {
    kdx::xxerr("w", "%s", "100%d %s");
    kdx::xxerr("d", "silent");
    EXPECT_EQ(logtext(), "warning: 100%d %s\n");
    EXPECT_EQ(kdx::xxmsgcount(), 1);

    std::string big(20000, 'y');
    kdx::xxerr("m", "%s", big.c_str());
    std::string text = logtext();
    EXPECT_EQ(text.size(), 18u + kdx::XXMSGSIZE - 1 + 1);
}

using RoutineStackTest = LogTest;

TEST_F(RoutineStackTest, OverflowRefusesTheHundredAndFirstEntryAndStaysBalanced) {
    kdx::xxoptions().nofatal = 1;
    for (int i = 0; i < 100; ++i)
        kdx::xxenterq("deep");
    EXPECT_EQ(kdx::xxstackdepth(), 100);
    EXPECT_EQ(logtext(), "");
    {
        kdx::RoutineScope over("extra");
        EXPECT_EQ(kdx::xxstackdepth(), 100);
        EXPECT_EQ(kdx::xxstackname(99), std::string("deep"));
    }
    // Leaving the refused routine must not pop its caller.
    EXPECT_EQ(kdx::xxstackdepth(), 100);
    kdx::xxleave();
    EXPECT_EQ(kdx::xxstackdepth(), 99);
    EXPECT_EQ(logtext(), std::string("internal error: (in deep called from deep called from deep "
                                     "called from deep called from deep) Routine stack overflow "
                                     "in extra\n") +
                             NOTE);
}

TEST_F(RoutineStackTest, OverflowIsFatalWithoutNoFatal) {
    for (int i = 0; i < 100; ++i)
        kdx::xxenterq("deep");
    EXPECT_THROW(kdx::RoutineScope over("extra"), kdx::RunAbort);
    EXPECT_EQ(kdx::xxstackdepth(), 100);
    kdx::xxleave();
    EXPECT_EQ(kdx::xxstackdepth(), 99);
}

TEST_F(RoutineStackTest, TraceIndentsByDepth) {
    kdx::xxsetprogname("partlist");
    kdx::xxoptions().trace = 1;
    {
        kdx::RoutineScope a("xxreadfile");
        kdx::RoutineScope b("xxrdnet");
        kdx::QuietRoutineScope c("chksym");
        kdx::RoutineScope d("xxnewsym");
    }
    EXPECT_EQ(logtext(), "partlist: xxreadfile\n"
                         "partlist:   xxrdnet\n"
                         "partlist:       xxnewsym\n");
    EXPECT_EQ(kdx::xxstackdepth(), 0);
}

TEST_F(RoutineStackTest, BeginTracesOnlyOutermostEntries) {
    kdx::xxoptions().begin = 1;
    {
        kdx::RoutineScope a("xxreadfile");
        kdx::RoutineScope b("xxrdnet");
    }
    kdx::RoutineScope c("xxinit");
    EXPECT_EQ(logtext(), "xxreadfile\nxxinit\n");
}

TEST_F(RoutineStackTest, AssertionNamesFileRoutineAndLine) {
    kdx::xxoptions().nofatal = 1;
    XXASSERT(1 + 1 == 2);
    EXPECT_EQ(logtext(), "");
    XXASSERT(false);
    int line = __LINE__ - 1;
    {
        kdx::RoutineScope scope("xxsymtbl");
        XXASSERT(false);
    }
    int line2 = __LINE__ - 2;
    EXPECT_EQ(logtext(), "internal error: Assertion failed: file err_test.cpp, routine ?, line " +
                             std::to_string(line) + "\n" + NOTE +
                             "internal error: Assertion failed: file err_test.cpp, routine "
                             "xxsymtbl, line " +
                             std::to_string(line2) + "\n" + NOTE);
}

TEST(RoutineStack, ScopesPopWhenUnwinding) {
    try {
        kdx::RoutineScope a("xxreadfile");
        kdx::QuietRoutineScope b("xxpeek");
        EXPECT_EQ(kdx::xxstackdepth(), 2);
        throw kdx::RunAbort{-1};
    } catch (const kdx::RunAbort &) {
    }
    EXPECT_EQ(kdx::xxstackdepth(), 0);
    kdx::xxleave(); // an extra leave never drives the stack below empty
    EXPECT_EQ(kdx::xxstackdepth(), 0);
    EXPECT_EQ(kdx::xxstackname(0), nullptr);
}

} // namespace

namespace {

// A helper of the run marks its thread; the checked builds stop it at its first message or
// library routine, so a change that lets the helper use the library cannot go unnoticed.
TEST(ThreadCheckDeathTest, AMarkedThreadThatUsesTheLibraryAborts) {
#ifdef PARTLIST_THREADCHECKS
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto onhelper = [](auto use) {
        std::thread([use] {
            kdx::xxforbidthread(true);
            use();
        }).join();
    };
    EXPECT_DEATH(onhelper([] { kdx::xxerror('w', "from a helper"); }), "must not use the library");
    EXPECT_DEATH(onhelper([] {
                     kdx::membuf *buf = nullptr;
                     kdx::xxalstr(&buf, "x");
                 }),
                 "xxalstr entered on a thread");
    // Marked and unmarked again, the thread may use the library.
    std::thread([] {
        kdx::xxforbidthread(true);
        kdx::xxforbidthread(false);
        kdx::xxsetlog(nullptr);
    }).join();
#else
    GTEST_SKIP() << "a build without thread checks";
#endif
}

} // namespace
