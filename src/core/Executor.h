#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"

#include <functional>
#include <memory>

namespace ombrix {

using Job = std::function<void()>;

// Somewhere to run work: now (after the current job) or after a delay.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void post(Job job) = 0;
    virtual void postAfter(Duration delay, Job job) = 0;
};

// The main queue: where jobs that must run after the current event go (opening files
// handed over by the file manager, writing back search results, redraw requests).
// The desktop app installs its event loop here; tests and the command-line tool a RunLoop.
// Until something is installed, a RunLoop on the system clock serves.
Executor& mainQueue();
std::shared_ptr<Executor> mainQueuePtr();
void setMainQueue(std::shared_ptr<Executor> queue);

} // namespace ombrix

OMBRIX_API_END
