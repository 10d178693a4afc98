#include "core/SerialQueue.h"

#include <future>
#include <pthread.h>

namespace ombrix {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    thread_ = std::thread([this] { loop(); });
    // Thread names are limited to 15 bytes; keep the tail, which is the telling part.
    std::string name = label_.size() > 15 ? label_.substr(label_.size() - 15) : label_;
    pthread_setname_np(thread_.native_handle(), name.c_str());
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (isCurrent()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

void SerialQueue::post(Job job) {
    schedule(Duration::zero(), std::move(job), true);
}

void SerialQueue::postAfter(Duration delay, Job job) {
    schedule(delay, std::move(job), true);
}

void SerialQueue::schedule(Duration delay, Job job, bool cancellable) {
    if (delay < Duration::zero()) {
        delay = Duration::zero();
    }
    auto due = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay);
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace(Key{due, nextSeq_++}, Entry{std::move(job), cancellable});
    }
    wake_.notify_all();
}

void SerialQueue::sync(const Job& job) {
    if (isCurrent()) {
        job();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    schedule(
        Duration::zero(),
        [&] {
            try {
                job();
                done.set_value();
            } catch (...) {
                done.set_exception(std::current_exception());
            }
        },
        false);
    finished.get();
}

std::size_t SerialQueue::cancelPending() {
    std::lock_guard lock(mutex_);
    std::size_t dropped = 0;
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->second.cancellable) {
            it = jobs_.erase(it);
            ++dropped;
        } else {
            ++it;
        }
    }
    return dropped;
}

void SerialQueue::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        if (!jobs_.empty() && jobs_.begin()->first.first <= now) {
            Job job = std::move(jobs_.begin()->second.job);
            jobs_.erase(jobs_.begin());
            lock.unlock();
            try {
                job();
            } catch (...) {
                // Nobody is there to hear it; the queue must keep serving.
            }
            lock.lock();
            continue;
        }
        if (stopping_) {
            return;
        }
        if (jobs_.empty()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, jobs_.begin()->first.first);
        }
    }
}

} // namespace ombrix
