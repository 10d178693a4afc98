#include "core/Clock.h"

namespace ombrix {

namespace {
// 2001-01-01T00:00:00Z. Differences are taken in integer ticks before going to double,
// so timestamps near today keep their sub-microsecond digits.
const TimePoint kReferenceDate{std::chrono::seconds(978307200)};
} // namespace

std::shared_ptr<Clock> systemClock() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

double secondsSinceReferenceDate(TimePoint t) {
    return std::chrono::duration<double>(t - kReferenceDate).count();
}

TimePoint fromSecondsSinceReferenceDate(double s) {
    return kReferenceDate + seconds(s);
}

} // namespace ombrix
