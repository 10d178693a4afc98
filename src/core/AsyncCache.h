#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Clock.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ombrix {

// A bounded cache whose entries expire. Eviction follows the order of last storing, not
// of reading. Keys dropped by expiry or invalidate() keep their place in the order, and
// count towards the capacity, until they are evicted or stored again.
// Every operation is serialised under one lock, so it can be shared between threads.
template <class Key, class Value> class AsyncCache {
public:
    AsyncCache(std::size_t capacity, double ttlSeconds,
               std::shared_ptr<Clock> clock = systemClock())
        : capacity_(capacity), ttl_(seconds(ttlSeconds)), clock_(std::move(clock)) {}
    AsyncCache(const AsyncCache&) = delete;
    AsyncCache& operator=(const AsyncCache&) = delete;

    // An entry that expired before now is removed from the store and reported absent.
    std::optional<Value> value(const Key& key) {
        std::lock_guard lock(mutex_);
        auto it = store_.find(key);
        if (it == store_.end()) {
            return std::nullopt;
        }
        if (it->second.expires < clock_->now()) {
            store_.erase(it);
            return std::nullopt;
        }
        return it->second.value;
    }

    void set(Value value, const Key& key) {
        std::lock_guard lock(mutex_);
        store_.insert_or_assign(key, Entry{std::move(value), clock_->now() + ttl_});
        order_.erase(std::remove(order_.begin(), order_.end(), key), order_.end());
        order_.push_back(key);
        while (order_.size() > capacity_) {
            store_.erase(order_.front());
            order_.pop_front();
        }
    }

    void invalidate(const Key& key) {
        std::lock_guard lock(mutex_);
        store_.erase(key);
    }

    void clear() {
        std::lock_guard lock(mutex_);
        store_.clear();
        order_.clear();
    }

    // Entries held, expired ones not yet read included.
    std::size_t storedCount() const {
        std::lock_guard lock(mutex_);
        return store_.size();
    }

    std::vector<Key> orderForTesting() const {
        std::lock_guard lock(mutex_);
        return {order_.begin(), order_.end()};
    }

private:
    struct Entry {
        Value value;
        TimePoint expires;
    };

    const std::size_t capacity_;
    const Duration ttl_;
    std::shared_ptr<Clock> clock_;
    mutable std::mutex mutex_;
    std::unordered_map<Key, Entry> store_;
    std::deque<Key> order_; // oldest stored first
};

} // namespace ombrix

OMBRIX_API_END
