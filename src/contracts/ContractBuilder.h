#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"
#include "contracts/ActionID.h"
#include "contracts/BridgeOp.h"
#include "contracts/ContractRegistry.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// Fills a registry at start-up, collecting every failure instead of stopping at the
// first; finish() reports them all at once.
class ContractBuilder {
public:
    explicit ContractBuilder(ContractRegistry& registry) : registry_(registry) {}

    ContractBuilder& add(ActionID id, std::vector<std::string> sources,
                         std::vector<std::string> targets, std::string action,
                         std::optional<BridgeOp> bridgeOp = std::nullopt);

    // One contract per id, in order. The verb is "<prefix>.<raw value>" with a prefix,
    // the raw value alone without.
    ContractBuilder& addMany(const std::vector<ActionID>& ids,
                             const std::vector<std::string>& sources,
                             const std::vector<std::string>& targets,
                             std::optional<std::string> actionPrefix = std::nullopt,
                             std::optional<BridgeOp> bridgeOp = std::nullopt);

    ContractBuilder& registerHandler(std::shared_ptr<ActionHandler> handler);

    // The registry when nothing failed. Otherwise throws
    // Error("ContractBuilder", 1, "Builder errors:\n" + one description per line).
    ContractRegistry& finish();

    // The failures collected so far, in the order they happened.
    const std::vector<std::exception_ptr>& errors() const { return errors_; }

    ContractRegistry& registry() const { return registry_; }

private:
    template <class Step> void attempt(Step&& step);

    ContractRegistry& registry_;
    std::vector<std::exception_ptr> errors_;
};

} // namespace ombrix

OMBRIX_API_END
