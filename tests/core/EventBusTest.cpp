#include "core/EventBus.h"

#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <vector>

using namespace ombrix;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct Ping : AppEvent {
    explicit Ping(int v = 0) : value(v) {}
    TimePoint timestamp() const override { return at; }
    int value;
    TimePoint at{};
};

struct Pong : AppEvent {
    TimePoint timestamp() const override { return {}; }
};

} // namespace

namespace elsewhere {
// Same plain name as the Ping above, different type.
struct Ping : ombrix::AppEvent {
    ombrix::TimePoint timestamp() const override { return {}; }
};
} // namespace elsewhere

TEST(EventBus, PublishingWithoutSubscribersDoesNothing) {
    EventBus bus;
    EXPECT_EQ(bus.subscriberCount<Ping>(), 0u);
    bus.publish(Ping{1});
    auto empty = bus.subscribe<Ping>(nullptr);
    EXPECT_FALSE(empty.isActive());
    bus.publish(Ping{2});
    EXPECT_EQ(bus.subscriberCount<Ping>(), 0u);
    EXPECT_THAT(bus.subscribedTypeNames(), IsEmpty());
}

TEST(EventBus, DeliversOnlyToHandlersOfThePublishedType) {
    EventBus bus;
    std::vector<int> pings;
    int pongs = 0;
    int foreignPings = 0;
    auto a = bus.subscribe<Ping>([&](const Ping& p) { pings.push_back(p.value); });
    auto b = bus.subscribe<Pong>([&](const Pong&) { ++pongs; });
    auto c = bus.subscribe<elsewhere::Ping>([&](const elsewhere::Ping&) { ++foreignPings; });

    bus.publish(Ping{7});
    EXPECT_THAT(pings, ElementsAre(7));
    EXPECT_EQ(pongs, 0);
    EXPECT_EQ(foreignPings, 0);

    bus.publish(elsewhere::Ping{});
    bus.publish(Pong{});
    EXPECT_THAT(pings, ElementsAre(7));
    EXPECT_EQ(pongs, 1);
    EXPECT_EQ(foreignPings, 1);

    // Both Pings share the key, yet each count is of its own type.
    EXPECT_THAT(bus.subscribedTypeNames(), ElementsAre("Ping", "Pong"));
    EXPECT_EQ(bus.subscriberCount<Ping>(), 1u);
    EXPECT_EQ(bus.subscriberCount<elsewhere::Ping>(), 1u);
}

TEST(EventBus, KeyGoesWithTheLastTokenOfItsType) {
    EventBus bus;
    int calls = 0;
    auto first = bus.subscribe<Ping>([&](const Ping&) { ++calls; });
    std::optional<Cancellable> second = bus.subscribe<Ping>([&](const Ping&) { ++calls; });
    EXPECT_EQ(bus.subscriberCount<Ping>(), 2u);

    first.cancel();
    first.cancel(); // twice is harmless
    EXPECT_EQ(bus.subscriberCount<Ping>(), 1u);
    EXPECT_THAT(bus.subscribedTypeNames(), ElementsAre("Ping"));

    Cancellable moved = std::move(*second);
    second.reset(); // the moved-from token owns nothing
    EXPECT_EQ(bus.subscriberCount<Ping>(), 1u);

    bus.publish(Ping{});
    EXPECT_EQ(calls, 1);

    { Cancellable released = std::move(moved); } // release cancels
    EXPECT_EQ(bus.subscriberCount<Ping>(), 0u);
    EXPECT_THAT(bus.subscribedTypeNames(), IsEmpty());
    bus.publish(Ping{});
    EXPECT_EQ(calls, 1);
}

TEST(EventBus, TokenOutlivingTheBusIsHarmless) {
    Cancellable token;
    {
        EventBus bus;
        token = bus.subscribe<Ping>([](const Ping&) {});
        EXPECT_TRUE(token.isActive());
    }
    token.cancel();
    EXPECT_FALSE(token.isActive());
}

TEST(EventBus, HandlersMaySubscribePublishAndCancelFromInsideTheirCall) {
    EventBus bus;
    std::vector<std::string> log;

    // Subscribes during a publication: the newcomer hears the next one.
    std::vector<Cancellable> late;
    auto subscriber = bus.subscribe<Ping>([&](const Ping& p) {
        log.push_back("subscriber " + std::to_string(p.value));
        if (late.empty()) {
            late.push_back(bus.subscribe<Ping>(
                [&](const Ping& q) { log.push_back("late " + std::to_string(q.value)); }));
        }
    });
    // Publishes another event from inside its call.
    auto relay = bus.subscribe<Pong>([&](const Pong&) { bus.publish(Ping{2}); });
    // Cancels its own token during the publication.
    Cancellable once;
    once = bus.subscribe<Ping>([&](const Ping& p) {
        log.push_back("once " + std::to_string(p.value));
        once.cancel();
    });

    bus.publish(Ping{1});
    EXPECT_THAT(log, ::testing::UnorderedElementsAre("subscriber 1", "once 1"));
    EXPECT_EQ(bus.subscriberCount<Ping>(), 2u); // subscriber and late; once is gone

    log.clear();
    bus.publish(Pong{});
    EXPECT_THAT(log, ::testing::UnorderedElementsAre("subscriber 2", "late 2"));
}

TEST(EventBus, HandlerCancelledEarlierInThePublicationIsNotCalled) {
    EventBus bus;
    int calls = 0;
    Cancellable a;
    Cancellable b;
    // Whichever runs first cancels the other, as an owner tearing down a neighbour would.
    a = bus.subscribe<Ping>([&](const Ping&) {
        ++calls;
        b.cancel();
    });
    b = bus.subscribe<Ping>([&](const Ping&) {
        ++calls;
        a.cancel();
    });
    bus.publish(Ping{});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(bus.subscriberCount<Ping>(), 1u);
}

TEST(EventBus, HandlerMayDestroyTheBusDuringAPublication) {
    auto bus = std::make_unique<EventBus>();
    int calls = 0;
    std::vector<Cancellable> tokens;
    for (int i = 0; i < 2; ++i) {
        tokens.push_back(bus->subscribe<Ping>([&](const Ping&) {
            ++calls;
            bus.reset();
        }));
    }
    bus->publish(Ping{});
    EXPECT_EQ(bus, nullptr);
    EXPECT_GE(calls, 1);
    tokens.clear();
}

TEST(EventBus, SurvivesConcurrentPublishersAndSubscribers) {
    EventBus bus;
    std::atomic<int> received{0};
    auto counter = bus.subscribe<Ping>([&](const Ping&) { ++received; });

    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                bus.publish(Ping{i});
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 2000; ++i) {
            auto churn = bus.subscribe<Ping>([](const Ping&) {});
        }
    });
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(received.load(), 6000);
    EXPECT_EQ(bus.subscriberCount<Ping>(), 1u);
}
