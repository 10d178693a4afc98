#include "contracts/Contract.h"

#include "contracts/DecodingError.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

namespace ombrix {

Contract::Contract(ActionID id, std::vector<std::string> sources, std::vector<std::string> targets,
                   std::string action, std::optional<BridgeOp> bridgeOp)
    : id(id), sources(std::move(sources)), targets(std::move(targets)), action(std::move(action)),
      bridgeOp(bridgeOp) {}

std::string Contract::key() const {
    std::string key(rawValue(id));
    key += '|';
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (i > 0) {
            key += ',';
        }
        key += targets[i];
    }
    key += '|';
    key += action;
    return key;
}

std::ostream& operator<<(std::ostream& out, const Contract& contract) {
    return out << contract.key();
}

nlohmann::json toJSON(const Contract& contract) {
    nlohmann::json j = {
        {"id", contract.id},
        {"sources", contract.sources},
        {"targets", contract.targets},
        {"action", contract.action},
    };
    if (contract.bridgeOp) {
        j["bridgeOp"] = *contract.bridgeOp;
    }
    return j;
}

namespace {
const nlohmann::json& required(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) {
        throw DecodingError::missing(key);
    }
    return *it;
}

std::vector<std::string> stringList(const nlohmann::json& value, const char* key) {
    if (!value.is_array()) {
        throw DecodingError::wrongTypeOf(std::string("'") + key + "'", "an array of strings");
    }
    std::vector<std::string> list;
    list.reserve(value.size());
    for (const auto& element : value) {
        if (!element.is_string()) {
            throw DecodingError::wrongTypeOf(std::string("'") + key + "'", "an array of strings");
        }
        list.push_back(element.get<std::string>());
    }
    return list;
}
} // namespace

Contract contractFromJSON(const nlohmann::json& j) {
    if (!j.is_object()) {
        throw DecodingError::wrongTypeOf("contract", "an object");
    }
    auto id = required(j, "id").get<ActionID>();
    auto sources = stringList(required(j, "sources"), "sources");
    auto targets = stringList(required(j, "targets"), "targets");
    const auto& action = required(j, "action");
    if (!action.is_string()) {
        throw DecodingError::wrongTypeOf("'action'", "a string");
    }
    std::optional<BridgeOp> bridgeOp;
    // An explicit null reads as none, like an absent key.
    if (auto it = j.find("bridgeOp"); it != j.end() && !it->is_null()) {
        bridgeOp = it->get<BridgeOp>();
    }
    return Contract(id, std::move(sources), std::move(targets), action.get<std::string>(),
                    bridgeOp);
}

} // namespace ombrix

void nlohmann::adl_serializer<ombrix::Contract>::to_json(nlohmann::json& j,
                                                         const ombrix::Contract& contract) {
    j = ombrix::toJSON(contract);
}

ombrix::Contract nlohmann::adl_serializer<ombrix::Contract>::from_json(const nlohmann::json& j) {
    return ombrix::contractFromJSON(j);
}
