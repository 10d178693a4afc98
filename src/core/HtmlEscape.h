#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>

namespace ombrix {

// Text made safe to stand in HTML content or a quoted attribute value. Without `quotes`,
// safe as content only, with quotes left as they are (for Markdown, read as text too).
std::string escapeHTML(const std::string& text, bool quotes = true);

} // namespace ombrix

OMBRIX_API_END
