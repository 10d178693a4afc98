#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionID.h"
#include "contracts/Contract.h"
#include "core/Error.h"

#include <optional>
#include <string>

namespace ombrix {

// The failures of contract registration, dispatch and validation. Domain "ContractError",
// code = the case's index; description() is the fixed text of the case.
class ContractError : public Error {
public:
    static constexpr const char* kDomain = "ContractError";

    enum class Kind {
        duplicateContract,
        unknownAction,
        noHandlerForTarget,
        unregisteredTarget,
        bridgeOpRequired,
        invalidSource,
    };

    static ContractError duplicateContract(ActionID newID, const Contract& existing);
    static ContractError unknownAction(ActionID id);
    static ContractError noHandlerForTarget(const std::string& target, ActionID id);
    static ContractError unregisteredTarget(const std::string& text);
    static ContractError bridgeOpRequired(ActionID id);
    static ContractError invalidSource(const std::string& source);

    Kind kind() const noexcept { return kind_; }
    // The action id of every case that carries one.
    std::optional<ActionID> actionID() const { return actionID_; }
    // The registered contract of duplicateContract.
    const std::optional<Contract>& existing() const { return existing_; }
    // The target of noHandlerForTarget, the text of unregisteredTarget, the source of
    // invalidSource; empty otherwise.
    const std::string& text() const noexcept { return text_; }

private:
    ContractError(Kind kind, std::string description, std::optional<ActionID> id,
                  std::optional<Contract> existing, std::string text);

    Kind kind_;
    std::optional<ActionID> actionID_;
    std::optional<Contract> existing_;
    std::string text_;
};

} // namespace ombrix

OMBRIX_API_END
