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

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace partlist {

namespace {

// Waking a thread costs more than printing a small sheet, so jobs are handed over in batches:
// the helper is woken when a batch is waiting and takes all there are.
inline constexpr std::size_t BATCH = 16;   // jobs that wake the helper
inline constexpr std::size_t MAXJOBS = 64; // jobs waiting at most (their lists are held)

struct Printer {
    std::mutex mutex;
    std::condition_variable work; // the helper waits for a batch
    std::condition_variable room; // the run's thread waits for room in the queue
    std::deque<std::unique_ptr<PrintJob>> jobs;
    std::thread helper;
    bool closing = false; // no more jobs come; the helper ends when the queue is empty
    std::string failure;  // the first failure met by the helper; empty while none

    // A process that ends in the middle of a run must not leave the helper running.
    ~Printer() {
        {
            std::lock_guard lock(mutex);
            closing = true;
        }
        work.notify_all();
        if (helper.joinable()) helper.join();
    }
};

Printer &printer() {
    // Made on first use, so the library has no static constructor; after the lists' memory, so
    // that at the end of a process it is ended (and its jobs done) before that memory goes.
    initlistmemory();
    static Printer p;
    return p;
}

thread_local bool onhelper = false; // this thread is the printing helper

void runhelper(Printer *p) {
    onhelper = true;
    for (;;) {
        std::deque<std::unique_ptr<PrintJob>> batch;
        {
            std::unique_lock lock(p->mutex);
            p->work.wait(lock, [p] { return p->jobs.size() >= BATCH || p->closing; });
            if (p->jobs.empty()) break;
            batch.swap(p->jobs);
        }
        p->room.notify_one();
        for (auto &job : batch) {
            try {
                job->print();
            } catch (...) {
                printfailure("out of memory");
            }
            job.reset();
        }
    }
    onhelper = false;
}

// Reports a failure the helper kept, once, through the library (which ends the run).
void reportkept(Printer &p) {
    std::string failure;
    {
        std::lock_guard lock(p.mutex);
        failure.swap(p.failure);
    }
    if (!failure.empty()) kdx::xxerror('f', "%s", failure.c_str());
}

// Ends the helper after the jobs it has; with `discard` the waiting jobs are released unprinted.
void endhelper(Printer &p, bool discard) {
    if (!p.helper.joinable()) return;
    std::deque<std::unique_ptr<PrintJob>> dropped;
    {
        std::lock_guard lock(p.mutex);
        if (discard) dropped.swap(p.jobs);
        p.closing = true;
    }
    p.work.notify_all();
    p.helper.join();
    p.closing = false;
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
    if (p.helper.joinable()) return;
    try {
        p.helper = std::thread(runhelper, &p);
    } catch (const std::system_error &) {
        // Without a helper every job is printed when it is handed over.
    }
}

void queueprint(std::unique_ptr<PrintJob> job) {
    Printer &p = printer();
    if (!p.helper.joinable()) {
        job->print();
        return;
    }
    bool wake;
    {
        std::unique_lock lock(p.mutex);
        p.room.wait(lock, [&p] { return p.jobs.size() < MAXJOBS; });
        p.jobs.push_back(std::move(job));
        wake = p.jobs.size() == BATCH;
    }
    if (wake) p.work.notify_one();
    reportkept(p);
}

void finishprinting() {
    Printer &p = printer();
    endhelper(p, false);
    reportkept(p);
}

void stopprinting() {
    Printer &p = printer();
    endhelper(p, true);
    std::lock_guard lock(p.mutex);
    p.failure.clear();
}

} // namespace partlist
