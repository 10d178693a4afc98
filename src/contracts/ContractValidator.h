#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionID.h"
#include "contracts/ContractRegistry.h"

#include <string>
#include <vector>

namespace ombrix {

// A target a contract names but no handler serves.
struct MissingHandler {
    std::string target;
    ActionID action;

    friend bool operator==(const MissingHandler&, const MissingHandler&) = default;
};

// Stateless checks over a filled registry. Contracts are walked in raw-value order.
struct ContractValidator {
    static std::vector<MissingHandler> findMissingHandlers(const ContractRegistry& registry);
    // Ids whose contract key was already seen earlier in the walk.
    static std::vector<ActionID> findDuplicates(const ContractRegistry& registry);
    // "doc." actions without a bridge operation.
    static std::vector<ActionID> findMissingBridgeOps(const ContractRegistry& registry);

    // Throws ContractError::unregisteredTarget listing every missing handler, else
    // ContractError::duplicateContract for the first repeated key.
    static void validate(const ContractRegistry& registry);
};

} // namespace ombrix

OMBRIX_API_END
