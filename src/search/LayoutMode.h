#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <array>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

enum class LayoutMode { single, continuous, twoUp, twoUpContinuous };

std::string rawValue(LayoutMode mode);
std::optional<LayoutMode> layoutModeFromRaw(std::string_view raw);
const std::array<LayoutMode, 4>& allLayoutModes();

void to_json(nlohmann::json& j, LayoutMode mode);
void from_json(const nlohmann::json& j, LayoutMode& mode); // unknown raw value fails

} // namespace ombrix

OMBRIX_API_END
