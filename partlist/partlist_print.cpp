// partlist_print.cpp - the printing of the sheets beside the walk.
//
// Formatting a sheet's lists into report lines and writing them costs about a tenth of a run of
// a large design, and needs nothing of the design: the lists hold all it prints. So the walk
// hands each sheet's lists over as a job and goes on with the next sheet while a helper thread
// prints them, in the order handed over. A job owns its lists and releases them.
//
// A run with the helper must leave the report and the log byte for byte as a run without it
// does. The helper reports nothing itself (the library's messages and the end of a run belong
// to the run's thread): a failure it meets is kept, and the printing stops where a run without
// the helper would have ended. Before every message of the run, what was handed over is printed
// and a kept failure reported first (beforemessage), so no later line of the walk comes before
// it and no sheet listed before a fatal error is lost.
#include "partlistint.h"

#include "kdx.h"

#include "platform/worker.h"

#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace partlist {

namespace {

// Waking a thread costs more than printing a small sheet, so jobs are handed over in batches:
// the helper is woken when a batch is waiting and takes all there are.
inline constexpr std::size_t BATCH = 16;   // jobs that wake the helper
inline constexpr std::size_t MAXJOBS = 64; // jobs waiting at most (their lists are held)

struct Printer {
    platform::Worker helper{MAXJOBS, BATCH};
    // Written by the run's thread only, while the helper has nothing to do or before it starts.
    bool active = false;  // between startprinting and the end of the printing
    bool nofatal = false; // -xxnofatal of the run: a failure does not stop the printing
    // Shared with the helper.
    std::mutex mutex;                   // guards what follows
    std::vector<const char *> failures; // fatal messages met by the helper, not reported yet
    bool nomemory = false;              // then memory ran out on the helper
    bool stopped = false;               // the printing ended at a failure: later jobs are dropped
};

Printer &printer() {
    // Made on first use, so the library has no static constructor; after the lists' memory, so
    // that at the end of a process it is ended (and its jobs done) before that memory goes.
    initlistmemory();
    static Printer p;
    return p;
}

thread_local bool onhelper = false; // this thread is printing a job handed over

// Thrown on the helper where a run without it would have ended through its recovery point.
struct PrintStop {};

// Keeps a failure for the run's thread (null: memory ran out); true when it ends the printing.
bool keep(Printer &p, const char *text) {
    std::lock_guard lock(p.mutex);
    if (text != nullptr && !p.nomemory) {
        try {
            p.failures.push_back(text);
        } catch (const std::bad_alloc &) {
            text = nullptr;
        }
    }
    if (text == nullptr) p.nomemory = true;
    if (p.nomemory || !p.nofatal) p.stopped = true;
    return p.stopped;
}

// Prints a job on the helper, unless an earlier failure ended the printing.
void printonhelper(Printer &p, PrintJob &job) {
    {
        std::lock_guard lock(p.mutex);
        if (p.stopped) return;
    }
    onhelper = true;
    kdx::xxforbidthread(true);
    try {
        job.print();
    } catch (const PrintStop &) {
        // The failure is kept; the job ends where the run would have.
    } catch (...) {
        // Only memory can run out while printing (std::bad_alloc).
        keep(p, nullptr);
    }
    kdx::xxforbidthread(false);
    onhelper = false;
}

// Reports the failures the helper kept, in order, through the library: a fatal message ends the
// run (unless -xxnofatal), and memory that ran out ends it as on the run's own thread.
void reportkept(Printer &p) {
    std::vector<const char *> kept;
    bool nomemory = false;
    {
        std::lock_guard lock(p.mutex);
        kept.swap(p.failures);
        std::swap(nomemory, p.nomemory);
    }
    for (const char *text : kept)
        kdx::xxerror('f', "%s", text);
    if (nomemory) throw std::bad_alloc();
}

// Before every message of the run: the jobs handed over are printed first, and what they met is
// reported before the message, as a run without the helper would have written it.
void beforemessage() {
    Printer &p = printer();
    if (!p.active || onhelper) return;
    p.helper.drain();
    reportkept(p);
}

} // namespace

PrintJob::~PrintJob() = default;

void printfailure(const char *text) {
    if (!onhelper) {
        kdx::xxerror('f', "%s", text);
        return;
    }
    if (keep(printer(), text)) throw PrintStop{};
}

void startprinting() {
    Printer &p = printer();
    {
        std::lock_guard lock(p.mutex);
        p.failures.clear();
        p.nomemory = false;
        p.stopped = false;
    }
    p.nofatal = kdx::xxoptions().nofatal != 0;
    // Without a helper (none allowed, or none could be started) each job is printed when it is
    // handed over.
    p.active = p.helper.start();
    if (p.active) kdx::xxsetmsghook(beforemessage);
}

void queueprint(std::unique_ptr<PrintJob> job) {
    Printer &p = printer();
    if (!p.active) {
        job->print();
        return;
    }
    // The queue holds copyable tasks; the job goes with the last copy, on the helper.
    std::shared_ptr<PrintJob> shared(std::move(job));
    p.helper.post([&p, shared] { printonhelper(p, *shared); });
    reportkept(p);
}

void finishprinting() {
    Printer &p = printer();
    if (!p.active) return;
    p.helper.finish();
    p.active = false;
    kdx::xxsetmsghook(nullptr);
    reportkept(p);
}

void stopprinting() {
    Printer &p = printer();
    p.active = false;
    kdx::xxsetmsghook(nullptr);
    p.helper.cancel();
    std::lock_guard lock(p.mutex);
    p.failures.clear();
    p.nomemory = false;
    p.stopped = false;
}

} // namespace partlist
