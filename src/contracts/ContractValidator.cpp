#include "contracts/ContractValidator.h"

#include "contracts/ContractError.h"

#include <set>

namespace ombrix {

std::vector<MissingHandler>
ContractValidator::findMissingHandlers(const ContractRegistry& registry) {
    std::vector<MissingHandler> missing;
    for (const auto& [id, contract] : registry.contracts()) {
        for (const auto& target : contract.targets) {
            if (!registry.handler(target)) {
                missing.push_back({target, id});
            }
        }
    }
    return missing;
}

std::vector<ActionID> ContractValidator::findDuplicates(const ContractRegistry& registry) {
    std::set<std::string> seen;
    std::vector<ActionID> duplicates;
    for (const auto& [id, contract] : registry.contracts()) {
        if (!seen.insert(contract.key()).second) {
            duplicates.push_back(id);
        }
    }
    return duplicates;
}

std::vector<ActionID> ContractValidator::findMissingBridgeOps(const ContractRegistry& registry) {
    std::vector<ActionID> missing;
    for (const auto& [id, contract] : registry.contracts()) {
        if (!contract.bridgeOp && rawValue(id).starts_with("doc.")) {
            missing.push_back(id);
        }
    }
    return missing;
}

void ContractValidator::validate(const ContractRegistry& registry) {
    auto missing = findMissingHandlers(registry);
    if (!missing.empty()) {
        std::string text = "missing handlers:\n";
        for (std::size_t i = 0; i < missing.size(); ++i) {
            if (i > 0) {
                text += '\n';
            }
            text += "  \u2022 " + std::string(rawValue(missing[i].action)) + " \u2192 target '" +
                    missing[i].target + "'";
        }
        throw ContractError::unregisteredTarget(text);
    }
    auto duplicates = findDuplicates(registry);
    if (!duplicates.empty()) {
        throw ContractError::duplicateContract(duplicates.front(),
                                               registry.contract(duplicates.front()));
    }
}

} // namespace ombrix
