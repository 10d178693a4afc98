#include "core/Debouncer.h"

namespace ombrix {

Debouncer::Debouncer(std::shared_ptr<Executor> queue) : queue_(std::move(queue)) {}

Debouncer::~Debouncer() {
    cancel();
}

void Debouncer::debounce(double delaySeconds, std::function<void()> action) {
    auto item = std::make_shared<Item>(std::move(action));
    {
        std::lock_guard lock(mutex_);
        if (work_) {
            work_->claimed = true;
        }
        work_ = item;
    }
    queue_->postAfter(seconds(delaySeconds), [item] {
        if (item->claimed.exchange(true)) {
            return;
        }
        // Only the claimant touches the action, so it can be moved out safely.
        auto action = std::move(item->action);
        action();
    });
}

void Debouncer::cancel() {
    std::lock_guard lock(mutex_);
    if (work_) {
        work_->claimed = true;
        work_.reset();
    }
}

bool Debouncer::hasPending() const {
    std::lock_guard lock(mutex_);
    return work_ && !work_->claimed;
}

} // namespace ombrix
