#include "core/Atomic.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace ombrix;

TEST(Atomic, LoadStoreAndMutateReturningAResult) {
    Atomic<std::string> box("a");
    EXPECT_EQ(box.load(), "a");
    box.store("b");
    auto size = box.mutate([](std::string& s) {
        s += "cd";
        return s.size();
    });
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(box.load(), "bcd");
}

TEST(Atomic, MutateIsIndivisibleAcrossThreads) {
    Atomic<int> counter(0);
    Atomic<std::vector<int>> log;
    constexpr int kThreads = 4;
    constexpr int kIncrements = 10000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kIncrements; ++i) {
                counter.mutate([](int& v) { ++v; });
                log.mutate([t](std::vector<int>& v) { v.push_back(t); });
                (void)counter.load();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter.load(), kThreads * kIncrements);
    EXPECT_EQ(log.load().size(), static_cast<std::size_t>(kThreads * kIncrements));
}
