#include "core/Debouncer.h"
#include "core/RunLoop.h"
#include "core/SerialQueue.h"
#include "core/Throttler.h"

#include <condition_variable>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace ombrix;
using ::testing::ElementsAre;

namespace {

struct ManualLoop {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<RunLoop> loop = std::make_shared<RunLoop>(clock);
    TimePoint start = clock->now();

    double elapsed() const { return std::chrono::duration<double>(clock->now() - start).count(); }
    void advanceTo(double t) { loop->advance(start + seconds(t) - clock->now()); }
};

} // namespace

TEST(Debouncer, OnlyTheLastCallOfABurstRunsOneDelayAfterIt) {
    ManualLoop m;
    Debouncer debouncer(m.loop);
    std::vector<std::pair<int, double>> ran;
    debouncer.debounce(0.3, [&] { ran.emplace_back(1, m.elapsed()); });
    m.advanceTo(0.1);
    debouncer.debounce(0.3, [&] { ran.emplace_back(2, m.elapsed()); });
    EXPECT_TRUE(debouncer.hasPending());

    m.advanceTo(0.39);
    EXPECT_TRUE(ran.empty()); // the first call's deadline (0.3) passed without it running
    m.advanceTo(1.0);
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0].first, 2);
    EXPECT_NEAR(ran[0].second, 0.4, 1e-6);
    EXPECT_FALSE(debouncer.hasPending());
}

TEST(Debouncer, CallsFurtherApartThanTheDelayAllRun) {
    ManualLoop m;
    Debouncer debouncer(m.loop);
    std::vector<int> ran;
    debouncer.debounce(0.3, [&] { ran.push_back(1); });
    m.advanceTo(0.3);
    debouncer.debounce(0.3, [&] { ran.push_back(2); });
    m.advanceTo(1.0);
    EXPECT_THAT(ran, ElementsAre(1, 2));
}

TEST(Debouncer, CancelAndDestructionDropThePendingAction) {
    ManualLoop m;
    int ran = 0;
    {
        Debouncer debouncer(m.loop);
        debouncer.debounce(0.3, [&] { ++ran; });
        debouncer.cancel();
        EXPECT_FALSE(debouncer.hasPending());
        m.advanceTo(1.0);
        EXPECT_EQ(ran, 0);

        debouncer.debounce(0.3, [&] { ++ran; });
    }
    m.advanceTo(2.0);
    EXPECT_EQ(ran, 0);
}

TEST(Debouncer, ActionMayDebounceAgainFromInsideItsRun) {
    ManualLoop m;
    Debouncer debouncer(m.loop);
    std::vector<double> ranAt;
    std::function<void()> action = [&] {
        ranAt.push_back(m.elapsed());
        if (ranAt.size() < 3) {
            debouncer.debounce(0.5, action);
        }
    };
    debouncer.debounce(0.5, action);
    m.advanceTo(5.0);
    ASSERT_EQ(ranAt.size(), 3u);
    EXPECT_NEAR(ranAt[2], 1.5, 1e-6);
}

TEST(Debouncer, RunsItsActionOnTheGivenQueue) {
    auto queue = std::make_shared<SerialQueue>("com.ombrix.test.debounce");
    Debouncer debouncer(queue);
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<bool> onQueue;
    for (int i = 0; i < 3; ++i) {
        debouncer.debounce(0.0, [&] {
            std::lock_guard lock(mutex);
            onQueue.push_back(queue->isCurrent());
            cv.notify_all();
        });
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return !onQueue.empty(); }));
    EXPECT_TRUE(onQueue.front());
}

TEST(Throttler, RunsAtMostOncePerIntervalIncludingTheBoundary) {
    auto clock = std::make_shared<ManualClock>();
    const TimePoint start = clock->now();
    Throttler throttler(1.0, clock);
    std::vector<double> ran;
    auto at = [&](double t) {
        clock->set(start + seconds(t));
        return throttler.throttle([&] { ran.push_back(t); });
    };
    EXPECT_TRUE(at(0.0)); // the first call always runs
    EXPECT_FALSE(at(0.5));
    EXPECT_TRUE(at(1.0));
    EXPECT_FALSE(at(1.999));
    EXPECT_TRUE(at(2.0));
    EXPECT_THAT(ran, ElementsAre(0.0, 1.0, 2.0));
}

TEST(Throttler, ClockSetBackDoesNotShutItForLong) {
    auto clock = std::make_shared<ManualClock>();
    const TimePoint start = clock->now();
    Throttler throttler(60.0, clock);
    int ran = 0;
    EXPECT_TRUE(throttler.throttle([&] { ++ran; }));
    clock->set(start - std::chrono::hours(1));
    EXPECT_TRUE(throttler.throttle([&] { ++ran; }));
    clock->advance(seconds(1));
    EXPECT_FALSE(throttler.throttle([&] { ++ran; }));
    EXPECT_EQ(ran, 2);
}

TEST(Throttler, ActionMayCallTheThrottlerAgain) {
    auto clock = std::make_shared<ManualClock>();
    Throttler throttler(1.0, clock);
    bool innerRan = true;
    bool outerRan = throttler.throttle([&] { innerRan = throttler.throttle([] {}); });
    EXPECT_TRUE(outerRan);
    EXPECT_FALSE(innerRan);
}
