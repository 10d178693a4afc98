#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <functional>
#include <utility>

namespace ombrix {

// A move-only token that undoes a subscription when cancelled or destroyed.
class Cancellable {
public:
    Cancellable() = default;
    explicit Cancellable(std::function<void()> onCancel) : onCancel_(std::move(onCancel)) {}
    Cancellable(Cancellable&& other) noexcept : onCancel_(std::exchange(other.onCancel_, {})) {}
    Cancellable& operator=(Cancellable&& other) noexcept {
        if (this != &other) {
            cancel();
            onCancel_ = std::exchange(other.onCancel_, {});
        }
        return *this;
    }
    Cancellable(const Cancellable&) = delete;
    Cancellable& operator=(const Cancellable&) = delete;
    ~Cancellable() { cancel(); }

    void cancel() {
        if (auto f = std::exchange(onCancel_, {})) {
            f();
        }
    }
    bool isActive() const { return static_cast<bool>(onCancel_); }

private:
    std::function<void()> onCancel_;
};

} // namespace ombrix

OMBRIX_API_END
