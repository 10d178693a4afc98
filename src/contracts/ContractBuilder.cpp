#include "contracts/ContractBuilder.h"

#include "contracts/Contract.h"
#include "core/Error.h"

#include <utility>

namespace ombrix {

template <class Step> void ContractBuilder::attempt(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
        errors_.push_back(std::current_exception());
    }
}

ContractBuilder& ContractBuilder::add(ActionID id, std::vector<std::string> sources,
                                      std::vector<std::string> targets, std::string action,
                                      std::optional<BridgeOp> bridgeOp) {
    attempt([&] {
        registry_.add(
            Contract(id, std::move(sources), std::move(targets), std::move(action), bridgeOp));
    });
    return *this;
}

ContractBuilder& ContractBuilder::addMany(const std::vector<ActionID>& ids,
                                          const std::vector<std::string>& sources,
                                          const std::vector<std::string>& targets,
                                          std::optional<std::string> actionPrefix,
                                          std::optional<BridgeOp> bridgeOp) {
    for (ActionID id : ids) {
        std::string verb(rawValue(id));
        if (actionPrefix) {
            verb = *actionPrefix + "." + verb;
        }
        add(id, sources, targets, std::move(verb), bridgeOp);
    }
    return *this;
}

ContractBuilder& ContractBuilder::registerHandler(std::shared_ptr<ActionHandler> handler) {
    attempt([&] { registry_.registerHandler(std::move(handler)); });
    return *this;
}

ContractRegistry& ContractBuilder::finish() {
    if (errors_.empty()) {
        return registry_;
    }
    std::string lines;
    for (std::size_t i = 0; i < errors_.size(); ++i) {
        if (i > 0) {
            lines += '\n';
        }
        lines += describe(errors_[i]);
    }
    throw Error("ContractBuilder", 1, "Builder errors:\n" + lines);
}

} // namespace ombrix
