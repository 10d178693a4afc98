#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <chrono>
#include <memory>
#include <mutex>

namespace ombrix {

using TimePoint = std::chrono::system_clock::time_point;
using Duration = std::chrono::system_clock::duration;

// Converts seconds held as a double (the unit most of the logic speaks) to a Duration.
inline Duration seconds(double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

// Anything that reads the time takes a Clock, so tests can drive time by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

// Time stands still until a test moves it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(TimePoint start = TimePoint{std::chrono::hours(24 * 365 * 50)})
        : now_(start) {}

    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void set(TimePoint t) {
        std::lock_guard lock(mutex_);
        now_ = t;
    }
    void advance(Duration d) {
        std::lock_guard lock(mutex_);
        now_ += d;
    }

private:
    mutable std::mutex mutex_;
    TimePoint now_;
};

// The process-wide real clock.
std::shared_ptr<Clock> systemClock();

// Seconds since 2001-01-01 00:00:00 UTC, the epoch of the stored formats that keep timestamps.
double secondsSinceReferenceDate(TimePoint t);
TimePoint fromSecondsSinceReferenceDate(double s);

} // namespace ombrix

OMBRIX_API_END
