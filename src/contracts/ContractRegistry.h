#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "contracts/ActionID.h"
#include "contracts/Contract.h"
#include "contracts/DispatchContext.h"
#include "contracts/Outcome.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ombrix {

// The contracts, the handlers serving their targets and the dispatcher between them.
// Used from the main thread; the lock only guards the writers. Nothing is ever removed.
class ContractRegistry {
public:
    using ContractMap = std::map<ActionID, Contract, ActionIDRawLess>;
    using HandlerMap = std::map<std::string, std::shared_ptr<ActionHandler>>;
    using Index = std::map<std::string, ActionIDSet>;

    ContractRegistry() = default;
    ContractRegistry(const ContractRegistry&) = delete;
    ContractRegistry& operator=(const ContractRegistry&) = delete;

    // Throws ContractError::duplicateContract when the id already has a contract, and
    // then changes nothing.
    void add(const Contract& contract);

    // Stores the handler under its targetName(), replacing an earlier one of that name.
    // A null handler is refused with an ombrix::Error.
    void registerHandler(std::shared_ptr<ActionHandler> handler);

    // Throws ContractError::unknownAction when the id has no contract.
    Contract contract(ActionID id) const;

    // Calls the handler of each target of the action's contract in order, with the source
    // and params handed through unchecked. Stops at the first failure, whose outcome it
    // returns; handlers that already ran are not undone, and what a handler throws passes
    // through unchanged.
    Outcome dispatch(ActionID id, const std::string& source, DispatchParams params = {}) const;

    std::shared_ptr<ActionHandler> handler(const std::string& target) const;

    // Ids whose contract lists the source (or target), sorted by raw value.
    std::vector<ActionID> actionsFrom(const std::string& source) const;
    std::vector<ActionID> actionsTo(const std::string& target) const;

    std::vector<std::string> allSources() const;
    std::vector<std::string> allTargets() const;

    std::size_t contractCount() const { return contracts_.size(); }
    std::size_t handlerCount() const { return handlers_.size(); }

    // Read-only views for the validator and diagnostics; contracts iterate by raw value.
    const ContractMap& contracts() const { return contracts_; }
    const HandlerMap& handlers() const { return handlers_; }
    const Index& sourceIndex() const { return sourceIndex_; }
    const Index& targetIndex() const { return targetIndex_; }

private:
    ContractMap contracts_;
    HandlerMap handlers_;
    Index sourceIndex_;
    Index targetIndex_;
    std::mutex lock_;
};

} // namespace ombrix

OMBRIX_API_END
