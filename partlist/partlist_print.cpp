// partlist_print.cpp - the printing of the sheets beside the walk.
//
// Formatting a sheet's lists into report lines and writing them costs about a tenth of a run of
// a large design, and needs nothing of the design: the lists hold all it prints. So the walk
// hands each sheet's lists over as a job and goes on with the next sheet while a helper thread
// prints them, in the order handed over. A job owns its lists and releases them. The helper
// reports nothing itself (the library's messages and the end of a run belong to the run's
// thread): a failure is kept and reported by the run's thread at its next hand-over or wait.
#include "partlistint.h"

#include "kdx.h"

#include "platform/worker.h"

#include <memory>
#include <mutex>
#include <string>

namespace partlist {

namespace {

// Waking a thread costs more than printing a small sheet, so jobs are handed over in batches:
// the helper is woken when a batch is waiting and takes all there are.
inline constexpr std::size_t BATCH = 16;   // jobs that wake the helper
inline constexpr std::size_t MAXJOBS = 64; // jobs waiting at most (their lists are held)

struct Printer {
    platform::Worker helper{MAXJOBS, BATCH};
    bool active = false; // between startprinting and the end of the printing
    std::mutex mutex;    // guards failure
    std::string failure; // the first failure met by the helper; empty while none
};

Printer &printer() {
    // Made on first use, so the library has no static constructor; after the lists' memory, so
    // that at the end of a process it is ended (and its jobs done) before that memory goes.
    initlistmemory();
    static Printer p;
    return p;
}

thread_local bool onhelper = false; // this thread is printing a job handed over

// Reports a failure the helper kept, once, through the library (which ends the run).
void reportkept(Printer &p) {
    std::string failure;
    {
        std::lock_guard lock(p.mutex);
        failure.swap(p.failure);
    }
    if (!failure.empty()) kdx::xxerror('f', "%s", failure.c_str());
}

} // namespace

PrintJob::~PrintJob() = default;

void printfailure(const char *text) {
    if (!onhelper) {
        kdx::xxerror('f', "%s", text);
        return;
    }
    Printer &p = printer();
    std::lock_guard lock(p.mutex);
    if (p.failure.empty()) p.failure = text;
}

void startprinting() {
    Printer &p = printer();
    p.active = true;
    p.helper.start();
}

void queueprint(std::unique_ptr<PrintJob> job) {
    Printer &p = printer();
    if (!p.active) {
        job->print();
        return;
    }
    // The queue holds copyable tasks; the job goes with the last copy, on the helper.
    std::shared_ptr<PrintJob> shared(std::move(job));
    p.helper.post([shared] {
        onhelper = true;
        try {
            shared->print();
        } catch (...) {
            printfailure("out of memory");
        }
        onhelper = false;
    });
    reportkept(p);
}

void finishprinting() {
    Printer &p = printer();
    p.active = false;
    p.helper.finish();
    reportkept(p);
}

void stopprinting() {
    Printer &p = printer();
    p.active = false;
    p.helper.cancel();
    std::lock_guard lock(p.mutex);
    p.failure.clear();
}

} // namespace partlist
