#pragma once

#include <string>

namespace ombrix {

// Text made safe to stand in HTML content or a quoted attribute value.
std::string escapeHTML(const std::string& text);

} // namespace ombrix
