#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/AppEvent.h"
#include "core/Cancellable.h"
#include "core/TypeName.h"

#include <concepts>
#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

namespace ombrix {

template <class E>
concept BusEvent = std::derived_from<E, AppEvent>;

// Typed publish/subscribe. Event types are keyed by their plain name; a handler is
// only ever called with an event of exactly the type it subscribed for, so two types
// sharing a plain name in different namespaces stay apart.
//
// Handlers run synchronously on the publishing thread, outside the bus's lock, so they
// may subscribe, cancel and publish from inside their call. A subscription cancelled on
// the publishing thread during a publication is not called for the rest of it.
class EventBus {
public:
    EventBus();
    EventBus(const EventBus&) = delete;
    EventBus& operator=(const EventBus&) = delete;

    // Lasts until the token is cancelled or destroyed; the token never keeps the bus alive.
    // An empty handler subscribes nothing.
    template <BusEvent E>
    [[nodiscard]] Cancellable subscribe(std::function<void(const E&)> handler) {
        if (!handler) {
            return {};
        }
        return subscribeErased(
            plainTypeName<E>(), typeid(E),
            [handler = std::move(handler)](const void* event, std::type_index type) {
                if (type == std::type_index(typeid(E))) {
                    handler(*static_cast<const E*>(event));
                }
            });
    }

    // Dispatches on the static type of the argument.
    template <BusEvent E> void publish(const E& event) const {
        publishErased(plainTypeName<E>(), &event, typeid(E));
    }

    template <BusEvent E> std::size_t subscriberCount() const {
        return countErased(plainTypeName<E>(), typeid(E));
    }

    // The keys that currently hold at least one subscription.
    std::vector<std::string> subscribedTypeNames() const;

private:
    struct State;
    using Handler = std::function<void(const void* event, std::type_index type)>;

    Cancellable subscribeErased(std::string key, std::type_index type, Handler handler);
    void publishErased(const std::string& key, const void* event, std::type_index type) const;
    std::size_t countErased(const std::string& key, std::type_index type) const;

    std::shared_ptr<State> state_;
};

} // namespace ombrix

OMBRIX_API_END
