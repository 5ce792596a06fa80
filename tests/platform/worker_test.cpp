// The helper thread: order, batches, the bounded queue, and its three ways to end.
#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using platform::Worker;

TEST(Worker, RunsEveryTaskInOrderOffTheCallingThreadThroughAFullQueue) {
    Worker helper(2, 3); // two may wait, a batch of three wakes it: posts often wait for room
    std::vector<int> seen;
    std::thread::id ran;
    for (int i = 0; i < 1000; ++i)
        EXPECT_TRUE(helper.post([&seen, &ran, i] {
            seen.push_back(i); // only the helper touches it until finish
            ran = std::this_thread::get_id();
        }));
    helper.finish();
    ASSERT_EQ(seen.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
    EXPECT_NE(ran, std::this_thread::get_id());
}

TEST(Worker, FinishRunsAPartBatchAndTheNextTaskStartsANewThread) {
    Worker helper(64, 16);
    std::atomic<int> done{0};
    for (int i = 0; i < 5; ++i) // fewer than a batch: only finish wakes the helper
        helper.post([&done] { ++done; });
    helper.finish();
    EXPECT_EQ(done, 5);
    helper.post([&done] { ++done; });
    helper.finish();
    EXPECT_EQ(done, 6);
    helper.finish();             // nothing running: returns at once
    EXPECT_TRUE(helper.start()); // a thread with nothing to do ends at finish
    EXPECT_TRUE(helper.start());
    helper.finish();
    EXPECT_EQ(done, 6);
}

TEST(Worker, RetireEndsWithoutWaitingAndTheNextTaskComesAfterTheRetiredOnes) {
    Worker helper(8);
    std::mutex m;
    std::vector<int> seen;
    std::atomic<bool> release{false};
    helper.post([&] {
        while (!release)
            std::this_thread::yield();
        std::lock_guard lock(m);
        seen.push_back(1);
    });
    helper.retire(); // returns while the task still waits for `release`
    release = true;
    helper.post([&] {
        std::lock_guard lock(m);
        seen.push_back(2);
    });
    helper.finish();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(Worker, CancelDropsWaitingTasksOnTheCallingThreadAndKeepsTheStartedOne) {
    Worker helper(64, 1);
    std::atomic<bool> started{false}, release{false};
    std::atomic<int> ran{0};
    helper.post([&] {
        started = true;
        while (!release)
            std::this_thread::yield();
        ++ran;
    });
    while (!started)
        std::this_thread::yield();
    // Held by the waiting tasks: released by cancel, here, without running them.
    auto held = std::make_shared<int>(7);
    for (int i = 0; i < 10; ++i)
        helper.post([&ran, held] { ++ran; });
    EXPECT_EQ(held.use_count(), 11);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release = true;
    });
    helper.cancel();
    releaser.join();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(held.use_count(), 1);
}

TEST(Worker, TheEndOfTheWorkerRunsWhatWasHandedOver) {
    std::atomic<int> done{0};
    {
        Worker helper(4, 16);
        for (int i = 0; i < 3; ++i)
            helper.post([&done] { ++done; });
    }
    EXPECT_EQ(done, 3);
}

} // namespace
