// worker.h - a helper thread that runs the tasks handed to it, one after another, in order.
//
// A run hands work that needs nothing of its own state to helpers: the kernel's mapping of
// memory, the writing of the report, the printing of each sheet. Each is a Worker. The thread is
// started by the first task and ended by finish (waiting), retire (not waiting) or cancel; the
// next task starts a new one.
//
// With PARTLIST_THREADS=0 in the environment no helper thread is started: every task runs on the
// thread that hands it over, at once, which is how a run without helpers behaves.
//
// A task should catch what it throws and hand its failure to the thread that owns its result.
// One that does not (memory that runs out in a task's own work) is caught on the helper all the
// same, never ending the process, and failed() tells the owner that a task's work is missing;
// on the poster's thread (no helper) it reaches the poster as any exception does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// False when helper threads are switched off (PARTLIST_THREADS=0 in the environment).
bool HelpersAllowed();

class Worker {
  public:
    // At most `maxqueued` tasks wait; post waits for room beyond that. The helper is woken when
    // `batch` tasks wait (or at finish and retire): waking a thread can cost more than a small
    // task.
    explicit Worker(std::size_t maxqueued, std::size_t batch = 1);
    ~Worker(); // finish
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Starts the thread now rather than with the first task: starting a thread waits for the
    // kernel's lock on the process's memory, which a helper mapping memory may hold a while.
    // False when no thread could be started.
    bool start();

    // Queues a task. When no thread can be started the task is run on
    // the calling thread, and the result is false.
    bool post(std::function<void()> task);

    // Returns when every task handed over has run; the thread stays for more.
    void drain();

    // Runs every task handed over and ends the thread; returns when it has ended.
    void finish();

    // Has the thread end once the tasks handed over are done, without waiting for it.
    void retire();

    // Drops the tasks not yet started (destroying them on the calling thread), waits for those
    // started, and ends the thread. Allocates nothing, so it can end a run that ran out of memory.
    void cancel();

    // True once a task run on the helper has ended by an exception: its work is not done.
    bool failed() const { return failed_.load(std::memory_order_acquire); }

  private:
    void run();
    bool startlocked(std::unique_lock<std::mutex> &lock);
    void end(bool wait, bool drop);

    const std::size_t maxqueued_;
    const std::size_t batch_;
    std::mutex mutex_;
    std::condition_variable work_; // the helper waits for a batch
    std::condition_variable room_; // post waits for room
    std::condition_variable idle_; // drain waits for the tasks to be done
    std::deque<std::function<void()>> tasks_;
    // What the helper took to run, made here (on the owner's thread) because an empty deque
    // allocates, and memory that runs out on the helper before any task would end the process.
    std::deque<std::function<void()>> taken_;
    bool closing_ = false;  // the helper ends when no task waits
    bool draining_ = false; // the helper takes what waits, however few
    bool busy_ = false;     // the helper is running tasks it took
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

} // namespace platform
