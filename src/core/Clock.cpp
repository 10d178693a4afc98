#include "core/Clock.h"

namespace ombrix {

namespace {
// 2001-01-01T00:00:00Z as seconds since the Unix epoch.
constexpr double kReferenceDateUnix = 978307200.0;
} // namespace

std::shared_ptr<Clock> systemClock() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

double secondsSinceReferenceDate(TimePoint t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count() - kReferenceDateUnix;
}

TimePoint fromSecondsSinceReferenceDate(double s) {
    return TimePoint{} + seconds(s + kReferenceDateUnix);
}

} // namespace ombrix
