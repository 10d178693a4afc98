#include "core/ServiceContainer.h"

#include "core/Inject.h"

#include <cstdio>
#include <cstdlib>

namespace ombrix {

// Holds the lock for one operation and remembers which thread holds it, so that a
// factory calling back into the container fails instead of deadlocking.
class ServiceContainer::Guard {
public:
    Guard(ServiceContainer& container, NameOf name) : container_(container) {
        if (container_.holder_.load() == std::this_thread::get_id()) {
            throw Error(kErrorDomain, kReentrant,
                        "Re-entrant use of the service container while it is busy: " + name());
        }
        container_.mutex_.lock();
        container_.holder_.store(std::this_thread::get_id());
    }
    ~Guard() {
        container_.holder_.store(std::thread::id{});
        container_.mutex_.unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    ServiceContainer& container_;
};

ServiceContainer& ServiceContainer::shared() {
    static auto* container = new ServiceContainer;
    return *container;
}

void ServiceContainer::storeInstance(std::type_index key, std::any value, NameOf name) {
    Guard guard(*this, name);
    instances_.insert_or_assign(key, std::move(value));
}

void ServiceContainer::storeFactory(std::type_index key, Lifetime lifetime, AnyFactory factory,
                                    NameOf name) {
    Guard guard(*this, name);
    if (lifetime == Lifetime::singleton) {
        std::any value = factory();
        instances_.insert_or_assign(key, value);
        factories_.insert_or_assign(key, [value] { return value; });
        return;
    }
    factories_.insert_or_assign(key, std::move(factory));
}

std::any ServiceContainer::resolveAny(std::type_index key, NameOf name) {
    Guard guard(*this, name);
    if (auto it = instances_.find(key); it != instances_.end()) {
        return it->second;
    }
    if (auto it = factories_.find(key); it != factories_.end()) {
        return it->second();
    }
    return {};
}

namespace detail {

void injectUnresolved(const std::string& qualifiedTypeName) {
    std::fprintf(stderr, "Inject: unresolved %s\n", qualifiedTypeName.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace detail

} // namespace ombrix
