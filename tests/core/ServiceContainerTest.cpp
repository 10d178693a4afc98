#include "core/ServiceContainer.h"

#include "core/Inject.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace ombrix;

namespace ombrix::svc_test {

struct Counter {
    explicit Counter(int v = 0) : value(v) {}
    int value;
};
struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};
struct Missing {};

} // namespace ombrix::svc_test

using namespace ombrix::svc_test;

TEST(ServiceContainer, SingletonFactoryRunsOnceAtRegistration) {
    ServiceContainer c;
    int runs = 0;
    c.registerFactory<Counter>(Lifetime::singleton, [&] {
        ++runs;
        return std::make_shared<Counter>(runs);
    });
    EXPECT_EQ(runs, 1);
    auto a = c.resolve<Counter>();
    auto b = c.resolveRequired<Counter>();
    EXPECT_EQ(runs, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
}

TEST(ServiceContainer, TransientAndScopedFactoriesRunOnEveryResolution) {
    for (auto lifetime : {Lifetime::transient, Lifetime::scoped}) {
        ServiceContainer c;
        int runs = 0;
        c.registerFactory<Counter>(lifetime, [&] { return std::make_shared<Counter>(++runs); });
        EXPECT_EQ(runs, 0);
        auto a = c.resolve<Counter>();
        auto b = c.resolve<Counter>();
        EXPECT_EQ(runs, 2);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->value, 1);
        EXPECT_EQ(b->value, 2);
    }
}

TEST(ServiceContainer, InstancesWinOverFactoriesAndLaterRegistrationsReplace) {
    ServiceContainer c;
    int runs = 0;
    c.registerFactory<Counter>(Lifetime::transient,
                               [&] { return std::make_shared<Counter>(++runs); });
    auto first = std::make_shared<Counter>(10);
    c.registerInstance(first);
    EXPECT_EQ(c.resolve<Counter>(), first);

    // A transient factory registered afterwards still loses to the instance.
    c.registerFactory<Counter>(Lifetime::transient,
                               [&] { return std::make_shared<Counter>(++runs); });
    EXPECT_EQ(c.resolve<Counter>(), first);
    EXPECT_EQ(runs, 0);

    auto second = std::make_shared<Counter>(20);
    c.registerInstance(second);
    EXPECT_EQ(c.resolve<Counter>(), second);

    // A singleton writes the instance itself.
    c.registerFactory<Counter>(Lifetime::singleton, [] { return std::make_shared<Counter>(30); });
    EXPECT_EQ(c.resolve<Counter>()->value, 30);
}

TEST(ServiceContainer, KeysAreTheExactRegisteredType) {
    ServiceContainer c;
    auto derived = std::make_shared<Derived>();
    c.registerInstance<Base>(derived);
    EXPECT_EQ(c.resolve<Base>(), derived);
    EXPECT_EQ(c.resolve<Derived>(), nullptr);
}

TEST(ServiceContainer, UnresolvedTypesYieldNoneOrTheUnresolvedError) {
    ServiceContainer c;
    EXPECT_EQ(c.resolve<Missing>(), nullptr);
    try {
        c.resolveRequired<Missing>();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "ServiceContainer");
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.description(), "Unresolved: ombrix::svc_test::Missing");
    }
    // A factory that produces nothing counts as unresolved too.
    c.registerFactory<Counter>(Lifetime::transient, [] { return std::shared_ptr<Counter>(); });
    EXPECT_THROW(c.resolveRequired<Counter>(), Error);
}

TEST(ServiceContainer, FactoryUsingItsOwnContainerFailsInsteadOfDeadlocking) {
    ServiceContainer c;
    c.registerInstance(std::make_shared<Derived>());
    c.registerFactory<Counter>(Lifetime::transient, [&] {
        c.resolve<Derived>();
        return std::make_shared<Counter>();
    });
    try {
        c.resolve<Counter>();
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "ServiceContainer");
        EXPECT_EQ(e.code(), 2);
        EXPECT_NE(e.description().find("ombrix::svc_test::Derived"), std::string::npos);
    }

    // The failed singleton leaves nothing behind, and the lock is free again.
    EXPECT_THROW(c.registerFactory<Missing>(Lifetime::singleton,
                                            [&] {
                                                c.registerInstance(std::make_shared<Base>());
                                                return std::make_shared<Missing>();
                                            }),
                 Error);
    EXPECT_EQ(c.resolve<Missing>(), nullptr);
    EXPECT_EQ(c.resolve<Base>(), nullptr);
    EXPECT_NE(c.resolve<Derived>(), nullptr);

    // Another container may be used from a factory.
    ServiceContainer other;
    other.registerInstance(std::make_shared<Base>());
    c.registerFactory<Counter>(Lifetime::transient, [&] {
        other.resolveRequired<Base>();
        return std::make_shared<Counter>(7);
    });
    EXPECT_EQ(c.resolve<Counter>()->value, 7);
}

TEST(ServiceContainer, FactoryExceptionsPropagateAndReleaseTheLock) {
    ServiceContainer c;
    c.registerFactory<Counter>(
        Lifetime::transient, []() -> std::shared_ptr<Counter> { throw std::runtime_error("no"); });
    EXPECT_THROW(c.resolve<Counter>(), std::runtime_error);
    c.registerInstance(std::make_shared<Counter>(3));
    EXPECT_EQ(c.resolve<Counter>()->value, 3);
}

TEST(ServiceContainer, ResolutionsFromManyThreadsAreSerialised) {
    ServiceContainer c;
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    int runs = 0; // guarded by the container's lock alone
    c.registerFactory<Counter>(Lifetime::transient, [&] {
        if (inside.exchange(true)) {
            ++overlaps;
        }
        ++runs;
        std::this_thread::yield();
        inside = false;
        return std::make_shared<Counter>();
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                ASSERT_NE(c.resolve<Counter>(), nullptr);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(runs, 1600);
}

TEST(Inject, ResolvesOnEveryRead) {
    ServiceContainer c;
    Inject<Counter> counter(c); // before anything is registered
    int runs = 0;
    c.registerFactory<Counter>(Lifetime::transient,
                               [&] { return std::make_shared<Counter>(++runs); });
    EXPECT_EQ(counter.get()->value, 1);
    EXPECT_EQ(counter->value, 2);
    Counter& ref = *counter;
    EXPECT_EQ(ref.value, 3); // still alive: the wrapper holds it until the next read
    EXPECT_EQ(runs, 3);

    auto fixed = std::make_shared<Counter>(42);
    c.registerInstance(fixed);
    EXPECT_EQ(counter.get(), fixed);
}

TEST(Inject, UsesTheSharedContainerByDefault) {
    struct OnlyHere {
        int v = 5;
    };
    ServiceContainer::shared().registerInstance(std::make_shared<OnlyHere>());
    Inject<OnlyHere> injected;
    EXPECT_EQ(injected->v, 5);
}

TEST(InjectDeathTest, MissingServiceStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ServiceContainer c;
    Inject<Missing> missing(c);
    EXPECT_DEATH(missing.get(), "Inject: unresolved ombrix::svc_test::Missing");
}
