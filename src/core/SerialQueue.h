#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Executor.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace ombrix {

// A labelled worker thread running its jobs one at a time, in order of due time and
// then of posting. A job that throws is contained: the queue goes on with the next.
// Destroying the queue finishes the running job, runs the jobs already due and drops
// the delayed ones.
class SerialQueue final : public Executor {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(Job job) override;
    void postAfter(Duration delay, Job job) override;

    // Runs the job on the queue and waits for it. Called from the queue itself it runs
    // inline rather than deadlock.
    void sync(const Job& job);

    // Drops every job that has not started, except those a sync() caller waits for;
    // returns how many were dropped.
    std::size_t cancelPending();

    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
    const std::string& label() const { return label_; }

private:
    using Key = std::pair<std::chrono::steady_clock::time_point, std::uint64_t>;
    struct Entry {
        Job job;
        bool cancellable = true;
    };
    void schedule(Duration delay, Job job, bool cancellable);
    void loop();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<Key, Entry> jobs_;
    std::uint64_t nextSeq_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace ombrix

OMBRIX_API_END
