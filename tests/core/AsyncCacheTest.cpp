#include "core/AsyncCache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace ombrix;
using ::testing::ElementsAre;
using ::testing::Optional;

namespace {

struct Fixture {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
};

} // namespace

TEST(AsyncCache, EvictsByOrderOfLastStoringNotOfReading) {
    Fixture f;
    AsyncCache<std::string, int> cache(2, 60, f.clock);
    cache.set(1, "a");
    cache.set(2, "b");
    cache.set(3, "a"); // a moves behind b
    cache.set(4, "c");
    EXPECT_EQ(cache.value("b"), std::nullopt);
    EXPECT_THAT(cache.value("a"), Optional(3));
    EXPECT_THAT(cache.value("c"), Optional(4));
    EXPECT_THAT(cache.orderForTesting(), ElementsAre("a", "c"));
    EXPECT_EQ(cache.storedCount(), 2u);

    // Reading a keeps it first in line.
    cache.set(5, "d");
    EXPECT_EQ(cache.value("a"), std::nullopt);
    EXPECT_THAT(cache.orderForTesting(), ElementsAre("c", "d"));
}

TEST(AsyncCache, EntryExpiresStrictlyAfterItsTtl) {
    Fixture f;
    AsyncCache<std::string, int> cache(4, 10, f.clock);
    cache.set(1, "a");
    f.clock->advance(seconds(10));
    EXPECT_THAT(cache.value("a"), Optional(1)); // expires exactly now: not yet before it
    f.clock->advance(std::chrono::microseconds(1));
    EXPECT_EQ(cache.value("a"), std::nullopt);
    EXPECT_EQ(cache.storedCount(), 0u);
    EXPECT_THAT(cache.orderForTesting(), ElementsAre("a")); // its place stays until evicted

    // Storing again renews the expiry.
    cache.set(2, "a");
    f.clock->advance(seconds(6));
    cache.set(3, "a");
    f.clock->advance(seconds(6));
    EXPECT_THAT(cache.value("a"), Optional(3));
}

TEST(AsyncCache, ZeroTtlValueIsGoneOnceAnyTimePassed) {
    Fixture f;
    AsyncCache<int, std::string> cache(2, 0, f.clock);
    cache.set("x", 1);
    EXPECT_EQ(cache.storedCount(), 1u);
    f.clock->advance(std::chrono::microseconds(1));
    EXPECT_EQ(cache.value(1), std::nullopt);
    EXPECT_EQ(cache.storedCount(), 0u);
}

TEST(AsyncCache, InvalidatedKeyKeepsItsPlaceUntilEvicted) {
    Fixture f;
    AsyncCache<std::string, int> cache(2, 60, f.clock);
    cache.set(1, "a");
    cache.invalidate("a");
    EXPECT_EQ(cache.value("a"), std::nullopt);
    EXPECT_THAT(cache.orderForTesting(), ElementsAre("a"));
    cache.set(2, "b");
    cache.set(3, "c"); // order was a, b, c: a leaves first
    EXPECT_THAT(cache.orderForTesting(), ElementsAre("b", "c"));
    EXPECT_THAT(cache.value("b"), Optional(2));
    EXPECT_THAT(cache.value("c"), Optional(3));

    cache.invalidate("missing"); // harmless
    cache.clear();
    EXPECT_EQ(cache.storedCount(), 0u);
    EXPECT_TRUE(cache.orderForTesting().empty());
    EXPECT_EQ(cache.value("b"), std::nullopt);
}

TEST(AsyncCache, StaysWithinCapacityUnderConcurrentUse) {
    Fixture f;
    AsyncCache<int, int> cache(50, 60, f.clock);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                int key = t * 10000 + i % 200;
                cache.set(i, key);
                if (auto v = cache.value(key)) {
                    EXPECT_GE(*v, 0);
                }
                if (i % 7 == 0) {
                    cache.invalidate(key);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_LE(cache.storedCount(), 50u);
    EXPECT_EQ(cache.orderForTesting().size(), 50u);
}
