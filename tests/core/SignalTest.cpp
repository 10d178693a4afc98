#include "core/Signal.h"

#include "core/NotificationCenter.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace ombrix;

TEST(Signal, DeliversToEveryConnectionInOrderUntilCancelled) {
    Signal<int, std::string> signal;
    std::vector<std::string> seen;
    auto a = signal.connect(
        [&](int n, const std::string& s) { seen.push_back("a" + std::to_string(n) + s); });
    auto b = signal.connect(
        [&](int n, const std::string& s) { seen.push_back("b" + std::to_string(n) + s); });
    signal.emit(1, "x");
    a.cancel();
    signal.emit(2, "y");
    EXPECT_EQ(seen, (std::vector<std::string>{"a1x", "b1x", "b2y"}));
    EXPECT_EQ(signal.connectionCount(), 1u);
}

TEST(Signal, TokenReleaseDisconnectsAndAMovedTokenStaysLive) {
    Signal<> signal;
    int calls = 0;
    {
        auto token = signal.connect([&] { ++calls; });
        Cancellable moved = std::move(token);
        EXPECT_FALSE(token.isActive());
        signal.emit();
    }
    signal.emit();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(signal.connectionCount(), 0u);
}

TEST(Signal, HandlersMayConnectDisconnectAndEmitReentrantly) {
    Signal<int> signal;
    std::vector<int> seen;
    std::optional<Cancellable> late;
    Cancellable self;
    self = signal.connect([&](int n) {
        seen.push_back(n);
        self.cancel(); // disconnecting itself mid-emission
        late = signal.connect([&](int m) { seen.push_back(100 + m); });
        if (n == 1) {
            signal.emit(2);
        }
    });
    signal.emit(1);
    EXPECT_EQ(seen, (std::vector<int>{1, 102}));
}

TEST(Signal, TokenOutlivingTheSignalIsHarmless) {
    Cancellable token;
    {
        Signal<> signal;
        token = signal.connect([] {});
    }
    token.cancel();
    SUCCEED();
}

TEST(Observable, NotifiesOnEveryAssignmentIncludingEqualValues) {
    Observable<int> value(3);
    std::vector<int> seen;
    auto token = value.observe([&](const int& v) { seen.push_back(v); });
    value = 4;
    value = 4;
    value.mutate([](int& v) { v += 1; });
    EXPECT_EQ(value.get(), 5);
    EXPECT_EQ(seen, (std::vector<int>{4, 4, 5}));
}

TEST(NotificationCenter, PostsByNameOnlyToThatNamesObservers) {
    NotificationCenter center;
    int find = 0;
    int sidebar = 0;
    auto a = center.addObserver("FindCommandTriggered", [&] { ++find; });
    auto b = center.addObserver("ShowHighlightSidebar", [&] { ++sidebar; });
    center.post("FindCommandTriggered");
    center.post("FindCommandTriggered");
    center.post("Nobody");
    EXPECT_EQ(find, 2);
    EXPECT_EQ(sidebar, 0);
    a.cancel();
    center.post("FindCommandTriggered");
    EXPECT_EQ(find, 2);
    EXPECT_EQ(center.observerCount("FindCommandTriggered"), 0u);
    EXPECT_EQ(center.observerCount("ShowHighlightSidebar"), 1u);
}

TEST(NotificationCenter, DefaultCenterIsOneInstance) {
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

TEST(Signal, AConnectionCutByAnEarlierHandlerIsNotCalledInThatEmission) {
    Signal<> signal;
    std::vector<std::string> seen;
    Cancellable second;
    auto first = signal.connect([&] {
        seen.push_back("first");
        second.cancel();
    });
    second = signal.connect([&] { seen.push_back("second"); });
    signal.emit();
    EXPECT_EQ(seen, (std::vector<std::string>{"first"}));
}
