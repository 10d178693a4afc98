#include "core/TaskQueue.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace ombrix;
using namespace std::chrono_literals;
using ::testing::ElementsAre;

namespace {

constexpr auto kGenerous = 10s;

// Holds the queue's worker inside a unit until the test lets it go.
class Gate {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void pass() {
        {
            std::lock_guard lock(mutex_);
            entered_ = true;
        }
        cv_.notify_all();
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return open_; });
    }
    bool waitEntered() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, kGenerous, [&] { return entered_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
    bool entered_ = false;
};

} // namespace

TEST(TaskQueue, IdleBeforeWorkBusyWhileItRunsIdleAfter) {
    TaskQueue queue("com.ombrix.test");
    EXPECT_TRUE(queue.isIdle());
    EXPECT_EQ(queue.label(), "com.ombrix.test");

    Gate gate;
    std::vector<int> ran;
    std::thread::id worker;
    queue.enqueue([&] {
        worker = std::this_thread::get_id();
        gate.pass();
        ran.push_back(1);
    });
    queue.enqueue([&] { ran.push_back(2); });
    EXPECT_FALSE(queue.isIdle()); // counted before the worker picks it up
    ASSERT_TRUE(gate.waitEntered());
    EXPECT_FALSE(queue.isIdle());

    gate.open();
    ASSERT_TRUE(queue.waitUntilIdle(kGenerous));
    EXPECT_TRUE(queue.isIdle());
    EXPECT_THAT(ran, ElementsAre(1, 2));
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(TaskQueue, EnqueueSyncRunsOnTheQueueAndWaitsForIt) {
    TaskQueue queue("com.ombrix.test");
    std::thread::id asyncThread;
    queue.enqueue([&] { asyncThread = std::this_thread::get_id(); });

    std::thread::id syncThread;
    bool asyncDoneFirst = false;
    queue.enqueueSync([&] {
        syncThread = std::this_thread::get_id();
        asyncDoneFirst = asyncThread != std::thread::id{};
    });
    EXPECT_EQ(syncThread, asyncThread);
    EXPECT_NE(syncThread, std::this_thread::get_id());
    EXPECT_TRUE(asyncDoneFirst);

    // From inside a unit it runs inline instead of waiting for itself.
    std::promise<std::vector<int>> done;
    queue.enqueue([&] {
        std::vector<int> steps{1};
        queue.enqueueSync([&] { steps.push_back(2); });
        steps.push_back(3);
        EXPECT_FALSE(queue.waitUntilIdle(kGenerous)); // returns at once: this unit is unfinished
        done.set_value(steps);
    });
    auto steps = done.get_future();
    ASSERT_EQ(steps.wait_for(kGenerous), std::future_status::ready);
    EXPECT_THAT(steps.get(), ElementsAre(1, 2, 3));

    EXPECT_THROW(queue.enqueueSync([] { throw std::runtime_error("sync failure"); }),
                 std::runtime_error);
    EXPECT_TRUE(queue.waitUntilIdle(kGenerous));
}

TEST(TaskQueue, CancelAllDropsWaitingUnitsAndLetsTheRunningOneFinish) {
    TaskQueue queue("com.ombrix.test");
    Gate gate;
    std::vector<int> ran;
    queue.enqueue([&] {
        gate.pass();
        ran.push_back(1);
    });
    ASSERT_TRUE(gate.waitEntered());

    auto captured = std::make_shared<int>(0);
    for (int i = 2; i <= 4; ++i) {
        queue.enqueue([&ran, i, captured] { ran.push_back(i); });
    }
    EXPECT_EQ(captured.use_count(), 4);
    EXPECT_EQ(queue.cancelAll(), 3u);
    EXPECT_EQ(captured.use_count(), 1); // dropped units release what they hold at once
    EXPECT_FALSE(queue.isIdle());       // the running unit is still unfinished

    queue.enqueue([&] { ran.push_back(5); }); // work after the cancel still runs
    gate.open();
    ASSERT_TRUE(queue.waitUntilIdle(kGenerous));
    EXPECT_THAT(ran, ElementsAre(1, 5));
    EXPECT_EQ(queue.cancelAll(), 0u);
    EXPECT_TRUE(queue.isIdle());
}

TEST(TaskQueue, CancelAllLeavesAWaitingSyncCallerAlone) {
    TaskQueue queue("com.ombrix.test");
    Gate gate;
    queue.enqueue([&] { gate.pass(); });
    ASSERT_TRUE(gate.waitEntered());

    std::atomic<bool> syncRan{false};
    std::thread caller([&] { queue.enqueueSync([&] { syncRan = true; }); });
    queue.cancelAll();
    gate.open();
    caller.join(); // would hang if the cancel had swallowed the caller's job
    EXPECT_TRUE(syncRan);
}

TEST(TaskQueue, ThrowingUnitCountsAsFinished) {
    TaskQueue queue("com.ombrix.test");
    std::mutex mutex;
    std::vector<std::string> failures;
    queue.setFailureHandler([&](const std::exception_ptr& e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            std::lock_guard lock(mutex);
            failures.push_back(ex.what());
        }
    });
    std::atomic<bool> after{false};
    queue.enqueue([] { throw std::runtime_error("unit failed"); });
    queue.enqueue([] { throw 42; }); // not even a std::exception
    queue.enqueue([&] { after = true; });
    ASSERT_TRUE(queue.waitUntilIdle(kGenerous));
    EXPECT_TRUE(after);
    std::lock_guard lock(mutex);
    EXPECT_THAT(failures, ElementsAre("unit failed"));
}
