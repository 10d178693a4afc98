#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <mutex>
#include <utility>

namespace ombrix {

// A value behind a lock; each operation is indivisible.
template <class T> class Atomic {
public:
    explicit Atomic(T initial = T{}) : value_(std::move(initial)) {}
    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

    T load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void store(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

    // Runs f on the value while holding the lock and returns what f returns.
    // f must not use this box again.
    template <class F> decltype(auto) mutate(F&& f) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(f)(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_;
};

} // namespace ombrix

OMBRIX_API_END
