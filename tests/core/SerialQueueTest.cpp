#include "core/SerialQueue.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace ombrix;

TEST(SerialQueue, RunsJobsOneAtATimeInOrderOffTheCallingThread) {
    SerialQueue queue("com.ombrix.test");
    std::vector<int> ran;
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
    for (int i = 0; i < 50; ++i) {
        queue.post([&, i] {
            int now = ++concurrent;
            maxConcurrent = std::max(maxConcurrent.load(), now);
            ran.push_back(i);
            --concurrent;
        });
    }
    std::thread::id worker;
    queue.sync([&] { worker = std::this_thread::get_id(); });
    ASSERT_EQ(ran.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ran[i], i);
    }
    EXPECT_EQ(maxConcurrent.load(), 1);
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(SerialQueue, SyncFromInsideTheQueueRunsInlineInsteadOfDeadlocking) {
    SerialQueue queue("inline");
    std::promise<int> result;
    queue.post([&] {
        int value = 0;
        queue.sync([&] { value = 42; });
        result.set_value(value);
    });
    auto f = result.get_future();
    ASSERT_EQ(f.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(f.get(), 42);
}

TEST(SerialQueue, SyncPassesTheJobsExceptionToTheCaller) {
    SerialQueue queue("throws");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    bool stillServing = false;
    queue.sync([&] { stillServing = true; });
    EXPECT_TRUE(stillServing);
}

TEST(SerialQueue, DelayedJobsLetLaterImmediateJobsGoFirst) {
    SerialQueue queue("delays");
    std::mutex m;
    std::condition_variable cv;
    std::vector<int> ran;
    queue.postAfter(std::chrono::milliseconds(20), [&] {
        std::lock_guard lock(m);
        ran.push_back(2);
        cv.notify_all();
    });
    queue.post([&] {
        std::lock_guard lock(m);
        ran.push_back(1);
    });
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(SerialQueue, CancelPendingDropsWhatHasNotStarted) {
    SerialQueue queue("cancel");
    std::promise<void> release;
    auto gate = release.get_future().share();
    std::promise<void> started;
    int ran = 0;
    queue.post([&, gate] {
        started.set_value();
        gate.wait();
    });
    queue.post([&] { ++ran; });
    queue.post([&] { ++ran; });
    started.get_future().wait();
    EXPECT_EQ(queue.cancelPending(), 2u);
    release.set_value();
    queue.sync([] {});
    EXPECT_EQ(ran, 0);
}

TEST(SerialQueue, DestructionRunsDueJobsAndDropsDelayedOnes) {
    int due = 0;
    bool delayed = false;
    {
        SerialQueue queue("teardown");
        for (int i = 0; i < 10; ++i) {
            queue.post([&] { ++due; });
        }
        queue.postAfter(std::chrono::hours(1), [&] { delayed = true; });
    }
    EXPECT_EQ(due, 10);
    EXPECT_FALSE(delayed);
}

TEST(SerialQueue, AThrowingJobDoesNotStopTheQueue) {
    SerialQueue queue("contain");
    queue.post([] { throw std::runtime_error("lost"); });
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, CancelPendingNeverStrandsASyncCaller) {
    SerialQueue queue("sync-cancel");
    std::promise<void> release;
    auto gate = release.get_future().share();
    std::promise<void> started;
    queue.post([&, gate] {
        started.set_value();
        gate.wait();
    });
    started.get_future().wait();
    auto waiter = std::async(std::launch::async, [&] {
        bool ran = false;
        queue.sync([&] { ran = true; });
        return ran;
    });
    // Keep cancelling while the waiter's job is being queued behind the blocked one.
    for (int i = 0; i < 200; ++i) {
        queue.cancelPending();
        std::this_thread::yield();
    }
    release.set_value();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
}
