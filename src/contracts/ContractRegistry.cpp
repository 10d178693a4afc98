#include "contracts/ContractRegistry.h"

#include "contracts/ContractError.h"
#include "core/Error.h"

#include <utility>

namespace ombrix {

namespace {
std::vector<ActionID> listOf(const ContractRegistry::Index& index, const std::string& key) {
    auto it = index.find(key);
    if (it == index.end()) {
        return {};
    }
    // The set is already ordered by raw value.
    return {it->second.begin(), it->second.end()};
}

std::vector<std::string> keysOf(const ContractRegistry::Index& index) {
    std::vector<std::string> keys;
    keys.reserve(index.size());
    for (const auto& [key, ids] : index) {
        keys.push_back(key);
    }
    return keys;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += parts[i];
    }
    return text;
}
} // namespace

void ContractRegistry::add(const Contract& contract) {
    std::lock_guard guard(lock_);
    if (auto it = contracts_.find(contract.id); it != contracts_.end()) {
        throw ContractError::duplicateContract(contract.id, it->second);
    }
    contracts_.emplace(contract.id, contract);
    for (const auto& source : contract.sources) {
        sourceIndex_[source].insert(contract.id);
    }
    for (const auto& target : contract.targets) {
        targetIndex_[target].insert(contract.id);
    }
}

void ContractRegistry::registerHandler(std::shared_ptr<ActionHandler> handler) {
    if (!handler) {
        throw Error("ContractRegistry", 1, "Cannot register a null handler");
    }
    auto target = handler->targetName();
    std::lock_guard guard(lock_);
    handlers_[target] = std::move(handler);
}

Contract ContractRegistry::contract(ActionID id) const {
    auto it = contracts_.find(id);
    if (it == contracts_.end()) {
        throw ContractError::unknownAction(id);
    }
    return it->second;
}

Outcome ContractRegistry::dispatch(ActionID id, const std::string& source,
                                   DispatchParams params) const {
    // A copy, so a handler that registers contracts or handlers cannot pull the list
    // from under the loop.
    const std::vector<std::string> targets = contract(id).targets;
    if (targets.empty()) {
        throw ContractError::unregisteredTarget(joined(targets, ","));
    }
    const DispatchContext context{id, source, std::move(params)};
    for (const auto& target : targets) {
        auto serving = handler(target);
        if (!serving) {
            throw ContractError::noHandlerForTarget(target, id);
        }
        if (Outcome outcome = serving->handle(context); !outcome.isDone()) {
            return outcome;
        }
    }
    return Outcome::done();
}

std::shared_ptr<ActionHandler> ContractRegistry::handler(const std::string& target) const {
    auto it = handlers_.find(target);
    return it == handlers_.end() ? nullptr : it->second;
}

std::vector<ActionID> ContractRegistry::actionsFrom(const std::string& source) const {
    return listOf(sourceIndex_, source);
}

std::vector<ActionID> ContractRegistry::actionsTo(const std::string& target) const {
    return listOf(targetIndex_, target);
}

std::vector<std::string> ContractRegistry::allSources() const {
    return keysOf(sourceIndex_);
}

std::vector<std::string> ContractRegistry::allTargets() const {
    return keysOf(targetIndex_);
}

} // namespace ombrix
