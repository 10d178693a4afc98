#include "core/EventBus.h"

#include "core/Uuid.h"

#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>

namespace ombrix {

namespace {
struct Subscription {
    Subscription(std::type_index t, std::function<void(const void*, std::type_index)> h)
        : type(t), handler(std::move(h)) {}
    std::type_index type;
    std::function<void(const void*, std::type_index)> handler;
    std::atomic<bool> active{true};
};
} // namespace

struct EventBus::State {
    mutable std::mutex mutex;
    std::map<std::string, std::unordered_map<Uuid, std::shared_ptr<Subscription>>> subscribers;
};

EventBus::EventBus() : state_(std::make_shared<State>()) {}

Cancellable EventBus::subscribeErased(std::string key, std::type_index type, Handler handler) {
    const Uuid id = Uuid::random();
    {
        std::lock_guard lock(state_->mutex);
        state_->subscribers[key].emplace(id,
                                         std::make_shared<Subscription>(type, std::move(handler)));
    }
    return Cancellable([weak = std::weak_ptr<State>(state_), key = std::move(key), id] {
        auto state = weak.lock();
        if (!state) {
            return;
        }
        // Destroyed outside the lock: the handler may own things whose destructors
        // touch the bus.
        std::shared_ptr<Subscription> removed;
        {
            std::lock_guard lock(state->mutex);
            auto slot = state->subscribers.find(key);
            if (slot == state->subscribers.end()) {
                return;
            }
            auto entry = slot->second.find(id);
            if (entry != slot->second.end()) {
                removed = std::move(entry->second);
                removed->active = false;
                slot->second.erase(entry);
            }
            if (slot->second.empty()) {
                state->subscribers.erase(slot);
            }
        }
    });
}

void EventBus::publishErased(const std::string& key, const void* event,
                             std::type_index type) const {
    std::vector<std::shared_ptr<Subscription>> snapshot;
    {
        std::lock_guard lock(state_->mutex);
        auto slot = state_->subscribers.find(key);
        if (slot == state_->subscribers.end()) {
            return;
        }
        snapshot.reserve(slot->second.size());
        for (const auto& [id, subscription] : slot->second) {
            snapshot.push_back(subscription);
        }
    }
    // A handler may destroy the bus itself; nothing below touches it.
    for (const auto& subscription : snapshot) {
        if (subscription->active) {
            subscription->handler(event, type);
        }
    }
}

std::size_t EventBus::countErased(const std::string& key, std::type_index type) const {
    std::lock_guard lock(state_->mutex);
    auto slot = state_->subscribers.find(key);
    if (slot == state_->subscribers.end()) {
        return 0;
    }
    std::size_t n = 0;
    for (const auto& [id, subscription] : slot->second) {
        n += subscription->type == type ? 1 : 0;
    }
    return n;
}

std::vector<std::string> EventBus::subscribedTypeNames() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> names;
    names.reserve(state_->subscribers.size());
    for (const auto& [key, entries] : state_->subscribers) {
        names.push_back(key);
    }
    return names;
}

} // namespace ombrix
