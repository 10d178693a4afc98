#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Cancellable.h"
#include "core/Signal.h"

#include <memory>
#include <string>

namespace ombrix {

// Notifications by name, carrying no object. Observers are called synchronously on
// the posting thread, in the order they were added.
class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();

    [[nodiscard]] Cancellable addObserver(const std::string& name, std::function<void()> observer);
    void post(const std::string& name);
    std::size_t observerCount(const std::string& name) const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_ = makeImpl();
    static std::shared_ptr<Impl> makeImpl();
};

} // namespace ombrix

OMBRIX_API_END
