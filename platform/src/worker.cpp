// worker.cpp - the helper thread and its queue of tasks.
#include "platform/worker.h"

#include <system_error>
#include <utility>

namespace platform {

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
    try {
        thread_ = std::thread(&Worker::run, this);
        return true;
    } catch (const std::system_error &) {
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
    for (;;) {
        work_.wait(lock, [this] { return tasks_.size() >= batch_ || closing_; });
        if (tasks_.empty()) return; // closing, and nothing left
        std::deque<std::function<void()>> taken;
        taken.swap(tasks_);
        lock.unlock();
        room_.notify_all();
        for (auto &task : taken) {
            task();
            task = nullptr; // what it holds goes now, on this thread
        }
        lock.lock();
    }
}

void Worker::end(bool wait, std::deque<std::function<void()>> *dropped) {
    {
        std::lock_guard lock(mutex_);
        if (dropped != nullptr) dropped->swap(tasks_);
        closing_ = true;
    }
    work_.notify_one();
    room_.notify_all();
    if (wait && thread_.joinable()) thread_.join();
}

void Worker::finish() {
    end(true, nullptr);
}

void Worker::retire() {
    end(false, nullptr);
}

void Worker::cancel() {
    std::deque<std::function<void()>> dropped;
    end(true, &dropped);
}

} // namespace platform
