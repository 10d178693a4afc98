#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace ombrix {

// Runs an action at most once per interval, synchronously; calls in between are dropped.
class Throttler {
public:
    explicit Throttler(double intervalSeconds, std::shared_ptr<Clock> clock = systemClock());

    // Returns whether the action ran.
    bool throttle(const std::function<void()>& action);

private:
    Duration interval_;
    std::shared_ptr<Clock> clock_;
    std::mutex mutex_;
    std::optional<TimePoint> last_; // none: no call accepted yet, so the first always runs
};

} // namespace ombrix

OMBRIX_API_END
