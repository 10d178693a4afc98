#include "contracts/BridgeOp.h"

#include "contracts/DecodingError.h"

#include <array>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace ombrix {

namespace {
// Indexed by the enum's underlying value, so it must follow the declaration order.
constexpr std::array<std::string_view, 10> kBridgeOpNames = {
    "open", "save", "close", "print", "export", "import", "render", "annotate", "edit", "compare",
};
static_assert(kBridgeOpNames.size() == static_cast<std::size_t>(BridgeOp::compare) + 1);
} // namespace

std::string_view rawValue(BridgeOp op) {
    auto index = static_cast<std::size_t>(op);
    return index < kBridgeOpNames.size() ? kBridgeOpNames[index] : std::string_view{};
}

std::optional<BridgeOp> parseBridgeOp(std::string_view raw) {
    for (std::size_t i = 0; i < kBridgeOpNames.size(); ++i) {
        if (kBridgeOpNames[i] == raw) {
            return static_cast<BridgeOp>(i);
        }
    }
    return std::nullopt;
}

const std::vector<BridgeOp>& allBridgeOps() {
    static const std::vector<BridgeOp> all = [] {
        std::vector<BridgeOp> ops;
        for (std::size_t i = 0; i < kBridgeOpNames.size(); ++i) {
            ops.push_back(static_cast<BridgeOp>(i));
        }
        return ops;
    }();
    return all;
}

std::ostream& operator<<(std::ostream& out, BridgeOp op) {
    return out << rawValue(op);
}

void to_json(nlohmann::json& j, BridgeOp op) {
    j = std::string(rawValue(op));
}

void from_json(const nlohmann::json& j, BridgeOp& op) {
    if (!j.is_string()) {
        throw DecodingError::wrongTypeOf("bridge operation", "a string");
    }
    const auto& raw = j.get_ref<const std::string&>();
    auto parsed = parseBridgeOp(raw);
    if (!parsed) {
        throw DecodingError::unknown("bridge operation", raw);
    }
    op = *parsed;
}

} // namespace ombrix
