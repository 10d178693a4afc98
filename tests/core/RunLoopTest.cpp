#include "core/RunLoop.h"

#include "core/Clock.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace ombrix;

namespace {

struct ManualLoop {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    RunLoop loop{clock};
};

} // namespace

TEST(RunLoop, RunsNothingUntilAskedThenInPostingOrder) {
    ManualLoop m;
    std::vector<int> ran;
    m.loop.post([&] { ran.push_back(1); });
    m.loop.post([&] { ran.push_back(2); });
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(m.loop.runPending(), 2u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(m.loop.pendingCount(), 0u);
}

TEST(RunLoop, JobsPostedByAJobRunInTheSamePass) {
    ManualLoop m;
    std::vector<int> ran;
    m.loop.post([&] {
        ran.push_back(1);
        m.loop.post([&] { ran.push_back(3); });
    });
    m.loop.post([&] { ran.push_back(2); });
    m.loop.runPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(RunLoop, DelayedJobsRunWhenTheirTimeComesInDueOrder) {
    ManualLoop m;
    std::vector<std::pair<int, double>> ran;
    const auto start = m.clock->now();
    auto at = [&](int id) {
        return [&, id] {
            ran.emplace_back(id, std::chrono::duration<double>(m.clock->now() - start).count());
        };
    };
    m.loop.postAfter(seconds(0.5), at(2));
    m.loop.postAfter(seconds(0.2), at(1));
    m.loop.postAfter(seconds(2.0), at(3));

    m.loop.runPending();
    EXPECT_TRUE(ran.empty());
    m.loop.advance(seconds(1.0));
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0].first, 1);
    EXPECT_DOUBLE_EQ(ran[0].second, 0.2); // time stops at each job's due moment
    EXPECT_EQ(ran[1].first, 2);
    EXPECT_DOUBLE_EQ(ran[1].second, 0.5);
    EXPECT_EQ(m.loop.pendingCount(), 1u);
    m.loop.advance(seconds(1.0));
    ASSERT_EQ(ran.size(), 3u);
    EXPECT_DOUBLE_EQ(ran[2].second, 2.0);
}

TEST(RunLoop, AdvanceRunsJobsScheduledByEarlierJobsWithinTheWindow) {
    ManualLoop m;
    int ran = 0;
    m.loop.postAfter(seconds(0.1), [&] {
        ++ran;
        m.loop.postAfter(seconds(0.1), [&] { ++ran; });
    });
    m.loop.advance(seconds(0.25));
    EXPECT_EQ(ran, 2);
}

TEST(RunLoop, AdvanceNeedsAManualClock) {
    RunLoop loop;
    EXPECT_THROW(loop.advance(seconds(1)), std::logic_error);
}

TEST(RunLoop, RunUntilPicksUpJobsPostedFromAnotherThread) {
    RunLoop loop;
    bool delivered = false;
    std::thread worker([&] { loop.post([&] { delivered = true; }); });
    EXPECT_TRUE(loop.runUntil([&] { return delivered; }, std::chrono::seconds(30)));
    worker.join();
}

TEST(RunLoop, RunUntilGivesUpAtTheTimeout) {
    RunLoop loop;
    EXPECT_FALSE(loop.runUntil([] { return false; }, std::chrono::milliseconds(1)));
}

TEST(RunLoop, StopEndsRunFromAJob) {
    RunLoop loop;
    int ran = 0;
    loop.post([&] { ++ran; });
    loop.post([&] { loop.stop(); });
    loop.run();
    EXPECT_EQ(ran, 1);
}

TEST(MainQueue, CanBeReplacedAndServesPosts) {
    auto clock = std::make_shared<ManualClock>();
    auto loop = std::make_shared<RunLoop>(clock);
    setMainQueue(loop);
    bool ran = false;
    mainQueue().post([&] { ran = true; });
    EXPECT_FALSE(ran);
    loop->runPending();
    EXPECT_TRUE(ran);
    setMainQueue(nullptr);
    EXPECT_NE(mainQueuePtr(), loop); // a fresh default loop takes over
}
