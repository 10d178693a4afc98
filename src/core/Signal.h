#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Cancellable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// Qt defines `emit` as an empty macro; the member below must survive a Qt header
// included first.
#ifdef emit
#pragma push_macro("emit")
#undef emit
#define OMBRIX_SIGNAL_RESTORES_EMIT
#endif

namespace ombrix {

// A list of callbacks. Emitting calls a snapshot of the list outside the lock, so a
// callback may connect, disconnect or emit again; one disconnected meanwhile is skipped.
// A token never keeps the signal alive.
template <class... Args> class Signal {
public:
    using Handler = std::function<void(const Args&...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Cancellable connect(Handler handler) {
        std::uint64_t id;
        {
            std::lock_guard lock(state_->mutex);
            id = state_->nextId++;
            state_->handlers.emplace(id, std::make_shared<Slot>(std::move(handler)));
        }
        return Cancellable([weak = std::weak_ptr<State>(state_), id] {
            if (auto state = weak.lock()) {
                std::lock_guard lock(state->mutex);
                auto it = state->handlers.find(id);
                if (it != state->handlers.end()) {
                    it->second->connected = false;
                    state->handlers.erase(it);
                }
            }
        });
    }

    void emit(const Args&... args) const {
        std::vector<std::shared_ptr<Slot>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            snapshot.reserve(state_->handlers.size());
            for (auto& [id, h] : state_->handlers) {
                snapshot.push_back(h);
            }
        }
        for (auto& slot : snapshot) {
            // A connection cut by an earlier handler of this emission is not called.
            if (slot->connected) {
                slot->handler(args...);
            }
        }
    }

    std::size_t connectionCount() const {
        std::lock_guard lock(state_->mutex);
        return state_->handlers.size();
    }

private:
    struct Slot {
        explicit Slot(Handler h) : handler(std::move(h)) {}
        Handler handler;
        std::atomic<bool> connected{true};
    };
    struct State {
        std::mutex mutex;
        std::uint64_t nextId = 0;
        std::map<std::uint64_t, std::shared_ptr<Slot>> handlers; // ordered: connection order
    };
    std::shared_ptr<State> state_;
};

// A published field: every assignment notifies the observers, equal values included,
// the way the views expect to redraw.
template <class T> class Observable {
public:
    Observable() = default;
    explicit Observable(T initial) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    const T& get() const { return value_; }
    const T& operator()() const { return value_; }

    void set(T value) {
        value_ = std::move(value);
        changed_.emit(value_);
    }
    Observable& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    // Changes the value in place and notifies once.
    template <class F> void mutate(F&& f) {
        f(value_);
        changed_.emit(value_);
    }

    [[nodiscard]] Cancellable observe(std::function<void(const T&)> observer) {
        return changed_.connect(std::move(observer));
    }

private:
    T value_{};
    Signal<T> changed_;
};

} // namespace ombrix

#ifdef OMBRIX_SIGNAL_RESTORES_EMIT
#undef OMBRIX_SIGNAL_RESTORES_EMIT
#pragma pop_macro("emit")
#endif

OMBRIX_API_END
