#include "core/TaskQueue.h"

namespace ombrix {

TaskQueue::TaskQueue(std::string label) : queue_(std::move(label)) {}

TaskQueue::~TaskQueue() = default;

void TaskQueue::enqueue(Work work) {
    std::uint64_t id;
    {
        // Counted before it is scheduled, so isIdle() is false from here on.
        std::lock_guard lock(mutex_);
        id = nextId_++;
        waiting_.emplace(id, std::move(work));
    }
    queue_.post([this, id] { runUnit(id); });
}

void TaskQueue::runUnit(std::uint64_t id) {
    Work work;
    FailureHandler onFailure;
    {
        std::lock_guard lock(mutex_);
        auto it = waiting_.find(id);
        if (it == waiting_.end()) {
            return; // cancelled
        }
        work = std::move(it->second);
        waiting_.erase(it);
        ++running_;
        onFailure = onFailure_;
    }
    std::exception_ptr failure;
    try {
        if (work) {
            work();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // The unit's captures go before it counts as finished.
    work = nullptr;
    if (failure && onFailure) {
        try {
            onFailure(failure);
        } catch (...) {
            // A failing failure handler must not take the worker thread down.
        }
    }
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    idle_.notify_all();
}

void TaskQueue::enqueueSync(const Work& work) {
    queue_.sync(work);
}

bool TaskQueue::isIdle() const {
    std::lock_guard lock(mutex_);
    return waiting_.empty() && running_ == 0;
}

std::size_t TaskQueue::cancelAll() {
    std::map<std::uint64_t, Work> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(waiting_);
    }
    idle_.notify_all();
    // The dropped units' captures are released here, outside the lock.
    return dropped.size();
}

bool TaskQueue::waitUntilIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    auto idle = [this] { return waiting_.empty() && running_ == 0; };
    if (queue_.isCurrent()) {
        return idle();
    }
    return idle_.wait_for(lock, timeout, idle);
}

void TaskQueue::setFailureHandler(FailureHandler handler) {
    std::lock_guard lock(mutex_);
    onFailure_ = std::move(handler);
}

} // namespace ombrix
