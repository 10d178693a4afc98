#include "search/LayoutMode.h"

#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

struct ModeName {
    LayoutMode mode;
    const char* raw;
};

constexpr ModeName kNames[] = {
    {LayoutMode::single, "single"},
    {LayoutMode::continuous, "continuous"},
    {LayoutMode::twoUp, "twoUp"},
    {LayoutMode::twoUpContinuous, "twoUpContinuous"},
};

} // namespace

std::string rawValue(LayoutMode mode) {
    for (const auto& name : kNames) {
        if (name.mode == mode) {
            return name.raw;
        }
    }
    return "continuous";
}

std::optional<LayoutMode> layoutModeFromRaw(std::string_view raw) {
    for (const auto& name : kNames) {
        if (raw == name.raw) {
            return name.mode;
        }
    }
    return std::nullopt;
}

const std::array<LayoutMode, 4>& allLayoutModes() {
    static const std::array<LayoutMode, 4> modes = {LayoutMode::single, LayoutMode::continuous,
                                                    LayoutMode::twoUp, LayoutMode::twoUpContinuous};
    return modes;
}

void to_json(nlohmann::json& j, LayoutMode mode) {
    j = rawValue(mode);
}

void from_json(const nlohmann::json& j, LayoutMode& mode) {
    if (!j.is_string()) {
        throw nlohmann::json::type_error::create(302, "layout mode must be a string", &j);
    }
    const auto& raw = j.get_ref<const std::string&>();
    auto parsed = layoutModeFromRaw(raw);
    if (!parsed) {
        throw nlohmann::json::other_error::create(501, "unknown layout mode \"" + raw + "\"", &j);
    }
    mode = *parsed;
}

} // namespace ombrix
