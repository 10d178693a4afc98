#include "core/NotificationCenter.h"

#include <map>
#include <mutex>

namespace ombrix {

struct NotificationCenter::Impl {
    mutable std::mutex mutex;
    std::map<std::string, std::unique_ptr<Signal<>>> signals;

    Signal<>& signal(const std::string& name) {
        std::lock_guard lock(mutex);
        auto& slot = signals[name];
        if (!slot) {
            slot = std::make_unique<Signal<>>();
        }
        return *slot;
    }
};

std::shared_ptr<NotificationCenter::Impl> NotificationCenter::makeImpl() {
    return std::make_shared<Impl>();
}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

Cancellable NotificationCenter::addObserver(const std::string& name,
                                            std::function<void()> observer) {
    // Signals are never removed from the map, so the reference stays valid.
    return impl_->signal(name).connect([observer = std::move(observer)] { observer(); });
}

void NotificationCenter::post(const std::string& name) {
    impl_->signal(name).emit();
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->signals.find(name);
    return it == impl_->signals.end() ? 0 : it->second->connectionCount();
}

} // namespace ombrix
