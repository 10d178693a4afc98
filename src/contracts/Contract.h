#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionID.h"
#include "contracts/BridgeOp.h"

#include <cstddef>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// The static description of one action: who may raise it, which handlers serve it (in
// order), the verb naming the operation, and the engine operation it touches.
struct Contract {
    Contract(ActionID id, std::vector<std::string> sources, std::vector<std::string> targets,
             std::string action, std::optional<BridgeOp> bridgeOp = std::nullopt);

    ActionID id;
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::string action;
    std::optional<BridgeOp> bridgeOp;

    // "<id raw value>|<targets joined by ','>|<action>", e.g. "doc.open|document|open".
    std::string key() const;

    // Identity is the key alone; sources and bridgeOp take no part.
    friend bool operator==(const Contract& a, const Contract& b) { return a.key() == b.key(); }
};

std::ostream& operator<<(std::ostream& out, const Contract& contract);

// "bridgeOp" is left out when there is none. Decoding requires "id", "sources", "targets"
// and "action"; any malformed or unknown value throws ombrix::Error (a DecodingError).
nlohmann::json toJSON(const Contract& contract);
Contract contractFromJSON(const nlohmann::json& j);

} // namespace ombrix

template <> struct std::hash<ombrix::Contract> {
    std::size_t operator()(const ombrix::Contract& contract) const {
        return std::hash<std::string>{}(contract.key());
    }
};

// Contract has no default state, so it goes through a serializer rather than from_json.
template <> struct OMBRIX_API nlohmann::adl_serializer<ombrix::Contract> {
    static void to_json(nlohmann::json& j, const ombrix::Contract& contract);
    static ombrix::Contract from_json(const nlohmann::json& j);
};

OMBRIX_API_END
