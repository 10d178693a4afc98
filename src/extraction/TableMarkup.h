#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <string>

namespace ombrix::table {

// Stored results come from files, which anyone may have written: before one is shown or
// handed on as HTML it is cut down to what table::toHTML writes. Kept: one level of table,
// its rows, header and data cells with a colspan, b, i and a font span, each attribute
// only with a value the writer gives it; text everywhere, escaped. Everything else goes:
// other elements keep only their text, and script, style, head, form controls, embedded
// and foreign content, comments and declarations go with their content. A table written
// by toHTML comes back unchanged. Any thread.
std::string sanitizeHTML(const std::string& html);

// Longer stored HTML, or HTML nested deeper than a table of ours, sanitises to nothing: it
// is no table of ours, and the parser would take seconds over it.
inline constexpr std::size_t kMaxStoredHTML = 1u << 20;

} // namespace ombrix::table

OMBRIX_API_END
