#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/SerialQueue.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace ombrix {

// Background work on one labelled worker thread, one unit at a time in the order given.
// Keeps count of the asynchronous units that have not finished, so callers can tell
// when it is idle.
class TaskQueue {
public:
    using Work = std::function<void()>;
    using FailureHandler = std::function<void(const std::exception_ptr&)>;

    explicit TaskQueue(std::string label);
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // Returns at once. A unit that throws counts as finished; the exception goes to the
    // failure handler, if one is set.
    void enqueue(Work work);

    // Runs the work on the queue and returns after it ran, rethrowing what it threw.
    // Called from the queue itself it runs inline.
    void enqueueSync(const Work& work);

    bool isIdle() const;

    // Drops the asynchronous units that have not started; the running one finishes.
    // Returns how many were dropped.
    std::size_t cancelAll();

    // Waits until no asynchronous unit is unfinished or the timeout passes; true when idle.
    // Called from the queue itself it does not wait.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;

    void setFailureHandler(FailureHandler handler);

    const std::string& label() const { return queue_.label(); }

private:
    void runUnit(std::uint64_t id);

    mutable std::mutex mutex_;
    mutable std::condition_variable idle_;
    std::map<std::uint64_t, Work> waiting_; // enqueued, not started
    std::size_t running_ = 0;
    std::uint64_t nextId_ = 0;
    FailureHandler onFailure_;
    // Last, so it is destroyed first: the jobs it still runs on the way out use the state above.
    SerialQueue queue_;
};

} // namespace ombrix

OMBRIX_API_END
