#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Executor.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace ombrix {

// Runs only the last action of a burst: each call replaces the pending one and starts
// the delay again. Actions run on the given queue.
class Debouncer {
public:
    explicit Debouncer(std::shared_ptr<Executor> queue);
    // Cancels the pending action: it usually captures its owner, which is going away too.
    ~Debouncer();
    Debouncer(const Debouncer&) = delete;
    Debouncer& operator=(const Debouncer&) = delete;

    void debounce(double delaySeconds, std::function<void()> action);

    // Drops the pending action, if any; one that has already started is not interrupted.
    void cancel();
    bool hasPending() const;

private:
    struct Item {
        explicit Item(std::function<void()> a) : action(std::move(a)) {}
        std::atomic<bool> claimed{false}; // set once, by whoever gets there first: run or cancel
        std::function<void()> action;
    };

    std::shared_ptr<Executor> queue_;
    mutable std::mutex mutex_;
    std::shared_ptr<Item> work_;
};

} // namespace ombrix

OMBRIX_API_END
