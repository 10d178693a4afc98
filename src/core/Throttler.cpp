#include "core/Throttler.h"

namespace ombrix {

Throttler::Throttler(double intervalSeconds, std::shared_ptr<Clock> clock)
    : interval_(seconds(intervalSeconds)), clock_(std::move(clock)) {}

bool Throttler::throttle(const std::function<void()>& action) {
    {
        std::lock_guard lock(mutex_);
        const TimePoint now = clock_->now();
        // A wall clock set back would otherwise shut the throttler until it caught up again.
        const bool accepted = !last_ || now < *last_ || now - *last_ >= interval_;
        if (!accepted) {
            return false;
        }
        last_ = now;
    }
    // Outside the lock, so the action may throttle again.
    action();
    return true;
}

} // namespace ombrix
