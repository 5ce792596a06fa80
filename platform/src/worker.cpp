// worker.cpp - the helper thread and its queue of tasks.
#include "platform/worker.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

namespace platform {

bool HelpersAllowed() {
    const char *value = std::getenv("PARTLIST_THREADS");
    return value == nullptr || std::strcmp(value, "0") != 0;
}

// A batch is never larger than the queue: a full queue must wake the helper.
Worker::Worker(std::size_t maxqueued, std::size_t batch)
    : maxqueued_(maxqueued > 0 ? maxqueued : 1), batch_(batch < 1            ? 1
                                                        : batch > maxqueued_ ? maxqueued_
                                                                             : batch) {}

Worker::~Worker() {
    finish();
}

// Makes sure a thread runs (called with the lock held); false when none could be started.
bool Worker::startlocked(std::unique_lock<std::mutex> &lock) {
    if (closing_ && thread_.joinable()) {
        // A retired helper may still be at its last tasks: they come first.
        lock.unlock();
        thread_.join();
        lock.lock();
    }
    closing_ = false;
    if (thread_.joinable()) return true;
    if (!HelpersAllowed()) return false;
    try {
        thread_ = std::thread(&Worker::run, this);
        return true;
    } catch (const std::system_error &) {
        return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool Worker::start() {
    std::unique_lock lock(mutex_);
    return startlocked(lock);
}

bool Worker::post(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    if (!startlocked(lock)) {
        lock.unlock();
        task(); // without a helper the caller does the work
        return false;
    }
    room_.wait(lock, [this] { return tasks_.size() < maxqueued_; });
    tasks_.push_back(std::move(task));
    const bool wake = tasks_.size() >= batch_;
    lock.unlock();
    if (wake) work_.notify_one();
    return true;
}

void Worker::run() {
    std::unique_lock lock(mutex_);
    std::deque<std::function<void()>> &taken = taken_;
    for (;;) {
        work_.wait(lock, [this] {
            return tasks_.size() >= batch_ || closing_ || (draining_ && !tasks_.empty());
        });
        if (tasks_.empty()) return; // closing, and nothing left
        taken.swap(tasks_);
        busy_ = true;
        lock.unlock();
        room_.notify_all();
        for (auto &task : taken) {
            try {
                task();
            } catch (...) {
                // An exception out of a thread's function ends the process: the host's too.
                failed_.store(true, std::memory_order_release);
            }
            task = nullptr; // what it holds goes now, on this thread
        }
        taken.clear();
        lock.lock();
        busy_ = false;
        if (tasks_.empty()) idle_.notify_all();
    }
}

void Worker::drain() {
    std::unique_lock lock(mutex_);
    if (tasks_.empty() && !busy_) return;
    draining_ = true;
    work_.notify_one();
    idle_.wait(lock, [this] { return tasks_.empty() && !busy_; });
    draining_ = false;
}

void Worker::end(bool wait, bool drop) {
    {
        std::lock_guard lock(mutex_);
        // The dropped tasks go here, under the lock: moving them out would need memory.
        if (drop) tasks_.clear();
        closing_ = true;
    }
    work_.notify_one();
    room_.notify_all();
    if (wait && thread_.joinable()) thread_.join();
}

void Worker::finish() {
    end(true, false);
}

void Worker::retire() {
    end(false, false);
}

void Worker::cancel() {
    end(true, true);
}

} // namespace platform
