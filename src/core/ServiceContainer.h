#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Error.h"
#include "core/TypeName.h"

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <typeindex>
#include <unordered_map>

namespace ombrix {

// Transient and scoped behave alike: there is no scope object.
enum class Lifetime { singleton, transient, scoped };

// A registry of services keyed by the type they are registered and resolved under.
// One lock serialises every operation, factory calls included. It is not re-entrant:
// a factory that uses the container it runs in fails with Error("ServiceContainer", 2)
// instead of deadlocking.
class ServiceContainer {
public:
    static constexpr const char* kErrorDomain = "ServiceContainer";
    static constexpr int kUnresolved = 1;
    static constexpr int kReentrant = 2;

    ServiceContainer() = default;
    ServiceContainer(const ServiceContainer&) = delete;
    ServiceContainer& operator=(const ServiceContainer&) = delete;

    // The process-wide container, never destroyed.
    static ServiceContainer& shared();

    // Replaces any earlier instance of T. An instance wins over a factory for T.
    template <class T> void registerInstance(std::shared_ptr<T> instance) {
        storeInstance(typeid(T), std::any(std::move(instance)), &typeName<T>);
    }

    // Singleton: runs the factory now, once, and keeps its value as the instance of T.
    // Transient and scoped: runs the factory on every resolution.
    template <class T>
    void registerFactory(Lifetime lifetime, std::function<std::shared_ptr<T>()> factory) {
        storeFactory(
            typeid(T), lifetime, [f = std::move(factory)]() -> std::any { return f(); },
            &typeName<T>);
    }

    // Null when nothing is registered for T.
    template <class T> std::shared_ptr<T> resolve() {
        std::any value = resolveAny(typeid(T), &typeName<T>);
        if (auto* service = std::any_cast<std::shared_ptr<T>>(&value)) {
            return *service;
        }
        return nullptr;
    }

    // Throws Error("ServiceContainer", 1, "Unresolved: <qualified type name>").
    template <class T> std::shared_ptr<T> resolveRequired() {
        if (auto service = resolve<T>()) {
            return service;
        }
        throw Error(kErrorDomain, kUnresolved, "Unresolved: " + typeName<T>());
    }

private:
    using NameOf = std::string (*)();
    using AnyFactory = std::function<std::any()>;
    class Guard;

    void storeInstance(std::type_index key, std::any value, NameOf name);
    void storeFactory(std::type_index key, Lifetime lifetime, AnyFactory factory, NameOf name);
    std::any resolveAny(std::type_index key, NameOf name);

    std::mutex mutex_;
    std::atomic<std::thread::id> holder_{};
    std::unordered_map<std::type_index, std::any> instances_;
    std::unordered_map<std::type_index, AnyFactory> factories_;
};

} // namespace ombrix

OMBRIX_API_END
