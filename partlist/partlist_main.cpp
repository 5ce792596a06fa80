// partlist_main.cpp - the run driver of the part-list utility.
//
// main runs one job: environment, banner, options, report stream, the design read and the two
// walks, then the clean-up, and returns the message count. Sch_Exit is the library's way out:
// it releases everything a run allocated and, for a negative status, unwinds to main (the
// recovery point), which closes the streams and returns that status.
#include "partlistint.h"
#include "partlist_outputs.h"
#include "partlist_version.h"

#include "cfpath.h"
#include "cfstring.h"
#include "kdx.h"
#include "platform/asyncfile.h"
#include "platform/numlocale.h"
#include "platform/placefile.h"
#include "platform/sysfile.h"
#include "platform/ui.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace partlist {

namespace {

inline constexpr const char *PROGNAME = "partlist";
inline constexpr const char *RELEASE = PARTLIST_RELEASE;
inline constexpr const char *NOTICE = "Copyright (c) Morvek Corporation. All rights reserved.";
inline constexpr int READFLAGS = 0x50; // the top net accepts design and schematic files
inline constexpr int RULE_WIDTH = 78;
// A report runs to megabytes for a large design: a buffer well above stdio's default keeps the
// number of writes down.
inline constexpr std::size_t REPORTBUF_SIZE = 256 * 1024;

struct MainState {
    const char *reportused; // the report name the run opened (the run's own copy)
    char *reportbuf;        // the report stream's buffer (malloc'ed), or null
    char *reporttemp;       // the file the report is written to until it is put in place
                            // (malloc'ed); null when it is written to its target directly
};

// How closing the report ended.
enum class ReportEnd {
    written, // in place (or there was none)
    failed,  // not written completely
    refused, // its target is a file the run read: left as it was, the report removed
};

constinit MainState state{};

void exithandler(int status) {
    Sch_Exit(status);
}

// Puts the report written to `temp` in place of `name`, unless the outputs' rule refuses it; the
// temporary file is gone in every case.
ReportEnd placereport(const char *temp, const char *name) {
    Refusal refusal = Refusal::none;
    switch (placeoutput(temp, name, &refusal)) {
    case Placed::done:
        keepoutput(name);
        return ReportEnd::written;
    case Placed::refused:
        return ReportEnd::refused;
    case Placed::failed:
        break;
    }
    return ReportEnd::failed;
}

// Closes the report and puts it in place.
ReportEnd closereport() {
    FILE *r = report();
    setreport(nullptr);
    if (r == nullptr) return ReportEnd::written;
    bool ok = std::ferror(r) == 0;
    if (std::fclose(r) != 0) ok = false;
    std::free(state.reportbuf);
    state.reportbuf = nullptr;
    ReportEnd end = ok ? ReportEnd::written : ReportEnd::failed;
    if (char *temp = std::exchange(state.reporttemp, nullptr)) {
        // A report not written completely goes in place all the same, as far as it goes.
        const ReportEnd placed = placereport(temp, state.reportused);
        if (placed != ReportEnd::written) end = placed;
        std::free(temp);
    }
    return end;
}

// The report of a run that is ending anyway: closed and put in place; when its target is a file
// the run read, the log says why it is not there, without ending the run a second time.
void closereportatend() {
    if (closereport() != ReportEnd::refused) return;
    kdx::LibOptions &o = kdx::xxoptions();
    const int nofatal = std::exchange(o.nofatal, 1);
    kdx::xxerror('f', "Can not open output file %s", state.reportused);
    o.nofatal = nofatal;
}

// Closes the log and gives the library back its standard error; false when the log could not be
// written completely, which only a message box can then tell (whatever way the run ended).
bool closelog() {
    FILE *log = logstream();
    setlogstream(nullptr);
    kdx::xxsetlog(stderr);
    if (log == nullptr) return true;
    bool ok = std::fflush(log) == 0 && std::ferror(log) == 0;
    if (std::fclose(log) != 0) ok = false;
    if (!ok) {
        std::string text = std::string("Error writing log file ") + logname();
        platform::SCH_MSGBOX(nullptr, PROGNAME, 1, text.c_str(), 1, 1, 1);
    }
    return ok;
}

void banner(FILE *log) {
    std::fprintf(log, "\nPARTLIST: Vantrell Schematic Partlist Utility, %s\n%s\n", RELEASE, NOTICE);
    char rule[RULE_WIDTH + 1];
    std::memset(rule, '-', RULE_WIDTH);
    rule[RULE_WIDTH] = '\0';
    std::fprintf(log, "%s\n", rule);
}

void parseoptions(int *argc, char ***argv) {
    RunOptions &o = runopts();
    // The run's own rows; the library appends its options behind them.
    // clang-format off
    const cf::OptionEntry rows[] = {
        // pattern  flag            kind  target          function
        {"-o%s",    &o.reportflag,  1,    &o.reportname,  nullptr},
        {"-f%s",    &o.filterflag,  1,    &o.letters,     nullptr},
        {"-l%d",    &o.pagelenflag, 1,    &o.pagelen,     nullptr},
        {"-debug",  &o.debug,       2,    nullptr,        nullptr},
    };
    // clang-format on
    // A bad option ends option processing quietly: what was set before it stays set.
    kdx::ParseComLineTable(PROGNAME, argc, argv, rows, static_cast<int>(std::size(rows)));
}

// True when `name` is the schematic the run is about to read, however either is written (other
// spellings, links): the name as given, or the file the search path finds for it. Opening the
// report empties it, and the run would lose the design it was asked to list.
bool isschematic(const char *name) {
    platform::FileId report;
    if (!platform::IdOfFile(name, report)) return false; // not there yet
    platform::FileId id;
    if (platform::IdOfFile(schname(), id) && id == report) return true;
    FILE *found = cf::PPathOpen(schname(), "r", nullptr, nullptr);
    if (found == nullptr) return false;
    const bool hit = platform::IdOfStream(found, id) && id == report;
    std::fclose(found);
    return hit;
}

// The stream of the report. It is written to a file of its own beside its target and put in place
// when the run ends (closereport): until then the target, which may be a file of the design
// read only later, stays as it is. A target that is no file of its own (a device, a pipe) is
// written directly. The file is written beside the walks: writing tens of megabytes costs the
// kernel as much as a good part of the walks themselves.
FILE *openreportfile(const char *name) {
    const platform::FileKind kind = platform::KindOfFile(name);
    if (kind != platform::FileKind::missing && kind != platform::FileKind::regular) {
        FILE *r = platform::OpenAsyncWrite(name, platform::FileMode::text);
        if (r != nullptr) keepoutput(name);
        return r;
    }
    const std::string temp = platform::MakeFileBeside(name);
    if (temp.empty()) return nullptr;
    state.reporttemp = cf::stralloc(temp.c_str());
    FILE *r = state.reporttemp != nullptr
                  ? platform::OpenAsyncWrite(temp.c_str(), platform::FileMode::text)
                  : nullptr;
    if (r == nullptr) {
        std::remove(temp.c_str());
        std::free(state.reporttemp);
        state.reporttemp = nullptr;
    }
    return r;
}

void openreport() {
    RunOptions &o = runopts();
    const char *name = o.reportflag ? reportname() : defreportname();
    state.reportused = name;
    FILE *r = name[0] != '\0' && !isschematic(name) ? openreportfile(name) : nullptr;
    if (r != nullptr) {
        // Without the buffer the stream keeps its own.
        state.reportbuf = static_cast<char *>(std::malloc(REPORTBUF_SIZE));
        if (state.reportbuf != nullptr) std::setvbuf(r, state.reportbuf, _IOFBF, REPORTBUF_SIZE);
    }
    setreport(r);
    if (r == nullptr) kdx::xxerror('f', "Can not open output file %s", name);
}

int run(int argc, char **argv) {
    initenv(argc, argv);
    FILE *log = logstream();
    if (log == nullptr) return -1;
    kdx::xxsetlog(log);
    banner(log);

    RunOptions &o = runopts();
    parseoptions(&argc, &argv);
    if (!o.filterflag) o.letters = "dic";
    keepoptvalues();
    openreport();

    if (o.debug) kdx::xxerror('m', "Calling readin");
    o.proplen = GetPropertyLength();
    readin(schname());
    Sch_Exit(1);

    switch (closereport()) {
    case ReportEnd::written:
        break;
    case ReportEnd::failed:
        kdx::xxerror('f', "Error writing output file %s", state.reportused);
        break;
    case ReportEnd::refused:
        kdx::xxerror('f', "Can not open output file %s", state.reportused);
        break;
    }
    const int count = kdx::xxmsgcount();
    return closelog() ? count : -1;
}

// Memory ran out on the run's thread (or on the printing helper): the library's fatal message,
// and the end of the run as for any fatal error, streams closed. Under -xxnofatal the message
// returns, but a run without memory cannot go on.
// Ends a run that left by an unexpected way: the clean-up (which must not throw again), then
// the streams.
void abandon() {
    try {
        cleanup();
    } catch (...) {
    }
    closereport();
    closelog();
}

int outofmemory() {
    try {
        kdx::xxerror('f', "Out of memory");
        Sch_Exit(-1);
    } catch (const kdx::RunAbort &) {
        // The clean-up has run.
    } catch (...) {
        abandon();
        return -1;
    }
    closereport();
    closelog();
    return -1;
}

} // namespace

void readin(const char *name) {
    std::unique_ptr<char, cf::FreeDeleter> title(makeheader());
    kdx::net *top = kdx::xxreadfile(nullptr, name, nullptr, READFLAGS);
    if (top == nullptr) {
        kdx::xxerror('f', "Unable to read file %s", name);
        // Reached only under -xxnofatal; the run goes on with no design.
        kdx::xxerror('f', "Error flattening file %s", name);
    }
    if (runopts().debug) kdx::xxerror('m', "Calling xxsymtbl");
    if (title != nullptr) reportf("%s", title.get());
    exporttop(top);
    startprinting();
    countsheets(top);
    clearparent();
    listsheets(top);
    finishprinting();
    exportdone();
    // The report is whole: its last buffer goes to the writer now, to be written while the run
    // releases its memory.
    if (FILE *r = report()) std::fflush(r);
}

void cleanup() {
    stopprinting(); // before anything the printing helper may still use is released
    cf::FreePaths();
    kdx::xxfreeall();
    kdx::xxcleanup();
    freereport();
    freecollect();
    freelistmemory();
}

int Sch_Exit(int status) {
    cleanup();
    if (status < 0) throw kdx::RunAbort{status};
    return status;
}

int main(int argc, char **argv) {
    // Every run starts from the default options; the message count, the report's first heading
    // and its line counter carry over on purpose.
    resetopts();
    exportbegin();
    cf::ForgetOpenedFiles();
    forgetoutputs();
    kdx::xxoptions() = kdx::LibOptions{};
    kdx::xxsetexit(exithandler);
    // Numbers are read and written the same way whatever locale the host has set (a window
    // toolkit sets the user's), until the run ends.
    platform::CNumericLocale numeric;
    try {
        return run(argc, argv);
    } catch (const kdx::RunAbort &abort) {
        closereportatend();
        closelog();
        return abort.status;
    } catch (const std::bad_alloc &) {
        return outofmemory();
    } catch (...) {
        // Nothing else may leave a run; treat it as a fatal end.
        abandon();
        return -1;
    }
}

} // namespace partlist
