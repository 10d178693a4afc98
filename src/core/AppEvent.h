#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"

namespace ombrix {

// What every event on the bus carries: when it was made. Events are plain values.
class AppEvent {
public:
    virtual ~AppEvent() = default;
    virtual TimePoint timestamp() const = 0;

protected:
    // Copyable only as part of a concrete event, so a base can't slice one.
    AppEvent() = default;
    AppEvent(const AppEvent&) = default;
    AppEvent& operator=(const AppEvent&) = default;
};

} // namespace ombrix

OMBRIX_API_END
