#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"

#include <string>
#include <vector>

namespace ombrix {

// An entry of the highlight palette; every palette colour is half transparent.
struct HighlightColor {
    std::string id; // the lower-cased name
    std::string name;
    Color nsColor;

    HighlightColor(const std::string& name, const std::string& hex);

    static const std::vector<HighlightColor>& defaults();
    bool operator==(const HighlightColor&) const = default;
};

enum class HighlightTool { none, text, crop, orange };

} // namespace ombrix

OMBRIX_API_END
