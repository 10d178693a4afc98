#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/ServiceContainer.h"

#include <functional>
#include <memory>

namespace ombrix {

namespace detail {
// Prints "Inject: unresolved <type>" to stderr and aborts.
[[noreturn]] void injectUnresolved(const std::string& qualifiedTypeName);
} // namespace detail

// Resolves T from a container on every read. A missing service is a programming error
// and stops the process. The container must outlive the wrapper.
template <class T> class Inject {
public:
    explicit Inject(ServiceContainer& container = ServiceContainer::shared())
        : resolve_([c = &container] { return c->resolve<T>(); }) {}

    std::shared_ptr<T> get() const {
        auto service = resolve_();
        if (!service) {
            detail::injectUnresolved(typeName<T>());
        }
        return service;
    }

    // Returns the owning pointer, so a transient service lives to the end of the expression.
    std::shared_ptr<T> operator->() const { return get(); }

    // The reference stays valid until the next dereference of this wrapper: the service is
    // held here meanwhile, since a transient one may have no other owner.
    T& operator*() const {
        held_ = get();
        return *held_;
    }

private:
    std::function<std::shared_ptr<T>()> resolve_;
    mutable std::shared_ptr<T> held_;
};

} // namespace ombrix

OMBRIX_API_END
