#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Executor.h"
#include "core/Signal.h"

#include <memory>

namespace ombrix {

// Tracks whether the machine is online. A watcher thread listens for link, address and
// route changes on a routing netlink socket, recomputes the status from a fresh dump of
// links and routes at start and after each change, and applies it on the main queue.
class NetworkMonitor {
public:
    // The process-wide instance, created and started on first access. It is never destroyed;
    // its watcher stops when the process exits, before the statics it uses are torn down.
    static NetworkMonitor& shared();

    // Starts watching. Updates are applied through `mainQueue`; without one, through
    // whatever the main queue is at the time of each update.
    explicit NetworkMonitor(std::shared_ptr<Executor> mainQueue = nullptr);
    // Stops and joins the watcher. Updates already posted find the monitor gone and do nothing.
    ~NetworkMonitor();
    NetworkMonitor(const NetworkMonitor&) = delete;
    NetworkMonitor& operator=(const NetworkMonitor&) = delete;

    // True until the first update says otherwise. Read and observed on the main thread.
    Observable<bool>& isConnected();
    const Observable<bool>& isConnected() const;

    static constexpr const char* kQueueLabel = "com.ombrix.networkmonitor";

private:
    struct State;
    struct Watcher;
    std::shared_ptr<State> state_;
    std::unique_ptr<Watcher> watcher_;
};

} // namespace ombrix

OMBRIX_API_END
