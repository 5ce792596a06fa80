// The helper thread: order, batches, the bounded queue, and its three ways to end.
#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
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

TEST(Worker, DrainWaitsForAPartBatchAndKeepsTheThread) {
    Worker helper(64, 16);
    std::atomic<int> done{0};
    std::thread::id first, second;
    helper.post([&] {
        first = std::this_thread::get_id();
        ++done;
    });
    helper.drain(); // fewer than a batch wait: drain wakes the helper itself
    EXPECT_EQ(done, 1);
    helper.drain(); // nothing waits: returns at once
    helper.post([&] {
        second = std::this_thread::get_id();
        ++done;
    });
    helper.drain();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, std::this_thread::get_id());
    helper.finish();
}

TEST(Worker, SwitchedOffHelpersRunEveryTaskOnTheCallingThread) {
    setenv("PARTLIST_THREADS", "0", 1);
    EXPECT_FALSE(platform::HelpersAllowed());
    Worker helper(4, 2);
    EXPECT_FALSE(helper.start());
    std::vector<std::thread::id> ran;
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(helper.post([&ran] { ran.push_back(std::this_thread::get_id()); }));
    EXPECT_EQ(ran, std::vector<std::thread::id>(3, std::this_thread::get_id()));
    helper.finish();
    unsetenv("PARTLIST_THREADS");
    EXPECT_TRUE(platform::HelpersAllowed());
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

// A task that throws on the helper ends neither the process nor the tasks after it; the owner
// learns that work is missing.
TEST(Worker, ATaskThatThrowsOnTheHelperIsCaughtAndMarksTheWorkerFailed) {
    std::atomic<int> done{0};
    Worker helper(4);
    helper.post([] { throw std::bad_alloc(); });
    helper.post([&done] { ++done; });
    helper.finish();
    EXPECT_TRUE(helper.failed());
    EXPECT_EQ(done, 1);
    Worker fine(4);
    fine.post([&done] { ++done; });
    fine.finish();
    EXPECT_FALSE(fine.failed());
}

} // namespace
