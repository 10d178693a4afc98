#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Executor.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>

namespace ombrix {

class ManualClock;

// A deterministic main-queue loop. Jobs run only when the owner asks, in order of due
// time and then of posting; posting is thread-safe, so worker threads can hand results back.
class RunLoop final : public Executor {
public:
    explicit RunLoop(std::shared_ptr<Clock> clock = systemClock());

    void post(Job job) override;
    void postAfter(Duration delay, Job job) override;

    // Runs every job due now, including jobs those post that are due now. Returns how many ran.
    std::size_t runPending();

    // With a ManualClock: moves time forward by d, stopping at each due job to run it.
    void advance(Duration d);

    // Runs jobs as they fall due, waiting in real time for jobs posted by other threads,
    // until done() holds (true) or the timeout passes (false).
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Runs until stop() is called, from a job or another thread.
    void run();
    void stop();

    std::size_t pendingCount() const;
    const std::shared_ptr<Clock>& clock() const { return clock_; }

private:
    using Key = std::pair<TimePoint, std::uint64_t>;
    bool takeDue(TimePoint now, Job& job);

    std::shared_ptr<Clock> clock_;
    ManualClock* manual_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<Key, Job> jobs_;
    std::uint64_t nextSeq_ = 0;
    bool stopRequested_ = false;
};

} // namespace ombrix

OMBRIX_API_END
