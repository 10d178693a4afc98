#include "contracts/ContractError.h"

#include <utility>

namespace ombrix {

ContractError::ContractError(Kind kind, std::string description, std::optional<ActionID> id,
                             std::optional<Contract> existing, std::string text)
    : Error(kDomain, static_cast<int>(kind), std::move(description)), kind_(kind), actionID_(id),
      existing_(std::move(existing)), text_(std::move(text)) {}

ContractError ContractError::duplicateContract(ActionID newID, const Contract& existing) {
    std::string description = "Duplicate contract for " + std::string(rawValue(newID)) +
                              " \u2014 existing key: " + existing.key();
    return {Kind::duplicateContract, std::move(description), newID, existing, {}};
}

ContractError ContractError::unknownAction(ActionID id) {
    return {
        Kind::unknownAction, "Unknown action: " + std::string(rawValue(id)), id, std::nullopt, {}};
}

ContractError ContractError::noHandlerForTarget(const std::string& target, ActionID id) {
    std::string description = "No handler registered for target '" + target + "' (action " +
                              std::string(rawValue(id)) + ")";
    return {Kind::noHandlerForTarget, std::move(description), id, std::nullopt, target};
}

ContractError ContractError::unregisteredTarget(const std::string& text) {
    return {Kind::unregisteredTarget, "Target '" + text + "' is not registered", std::nullopt,
            std::nullopt, text};
}

ContractError ContractError::bridgeOpRequired(ActionID id) {
    std::string description =
        "Action " + std::string(rawValue(id)) + " touches PDF but has no bridgeOp";
    return {Kind::bridgeOpRequired, std::move(description), id, std::nullopt, {}};
}

ContractError ContractError::invalidSource(const std::string& source) {
    return {Kind::invalidSource, "Invalid source: '" + source + "'", std::nullopt, std::nullopt,
            source};
}

} // namespace ombrix
