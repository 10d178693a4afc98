#include "core/RunLoop.h"

#include <stdexcept>

namespace ombrix {

namespace {
std::mutex gMainQueueMutex;
std::shared_ptr<Executor>& mainQueueSlot() {
    static std::shared_ptr<Executor> queue;
    return queue;
}
} // namespace

std::shared_ptr<Executor> mainQueuePtr() {
    std::lock_guard lock(gMainQueueMutex);
    auto& slot = mainQueueSlot();
    if (!slot) {
        slot = std::make_shared<RunLoop>();
    }
    return slot;
}

Executor& mainQueue() {
    return *mainQueuePtr();
}

void setMainQueue(std::shared_ptr<Executor> queue) {
    std::lock_guard lock(gMainQueueMutex);
    mainQueueSlot() = std::move(queue);
}

RunLoop::RunLoop(std::shared_ptr<Clock> clock)
    : clock_(std::move(clock)), manual_(dynamic_cast<ManualClock*>(clock_.get())) {}

void RunLoop::post(Job job) {
    postAfter(Duration::zero(), std::move(job));
}

void RunLoop::postAfter(Duration delay, Job job) {
    if (delay < Duration::zero()) {
        delay = Duration::zero();
    }
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace(Key{clock_->now() + delay, nextSeq_++}, std::move(job));
    }
    wake_.notify_all();
}

bool RunLoop::takeDue(TimePoint now, Job& job) {
    std::lock_guard lock(mutex_);
    if (jobs_.empty() || jobs_.begin()->first.first > now) {
        return false;
    }
    job = std::move(jobs_.begin()->second);
    jobs_.erase(jobs_.begin());
    return true;
}

std::size_t RunLoop::runPending() {
    std::size_t ran = 0;
    Job job;
    while (takeDue(clock_->now(), job)) {
        job();
        ++ran;
    }
    return ran;
}

void RunLoop::advance(Duration d) {
    if (!manual_) {
        throw std::logic_error("RunLoop::advance needs a ManualClock");
    }
    const TimePoint target = manual_->now() + d;
    runPending();
    for (;;) {
        TimePoint next;
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty() || jobs_.begin()->first.first > target) {
                break;
            }
            next = jobs_.begin()->first.first;
        }
        if (next > manual_->now()) {
            manual_->set(next);
        }
        runPending();
    }
    manual_->set(target);
    runPending();
}

bool RunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        runPending();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex_);
        if (stopRequested_) {
            stopRequested_ = false;
            return done();
        }
        auto until = deadline;
        if (!jobs_.empty() && !manual_) {
            auto dueIn = jobs_.begin()->first.first - clock_->now();
            auto dueAt = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(dueIn);
            until = std::min(until, dueAt);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return done();
        }
        const auto posted = nextSeq_;
        wake_.wait_until(lock, until, [&] { return nextSeq_ != posted || stopRequested_; });
    }
}

void RunLoop::run() {
    runUntil([] { return false; }, std::chrono::hours(24 * 365));
}

void RunLoop::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
}

std::size_t RunLoop::pendingCount() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

} // namespace ombrix
