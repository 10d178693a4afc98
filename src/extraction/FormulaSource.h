#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

// Where a formula is read from: the page's own glyphs, the recognition server, or the page
// first and the server only when the page has no glyphs to read ("page first", the default).
enum class FormulaSource { automatic, page, server };

// "auto", "page", "server"; none for anything else.
std::optional<FormulaSource> formulaSourceFromName(std::string_view name);
std::string_view formulaSourceName(FormulaSource source);

// What the page said when it had no formula to read.
inline constexpr const char* kNoFormulaGlyphs =
    "This region has no text glyphs to read a formula from (a scan or a picture of a "
    "formula has none).";

// Why neither the page nor the server gave a formula: both reasons, in words a user can
// act on.
std::string noFormulaMessage(const std::string& serverURL, const std::string& serverReason);

} // namespace ombrix

OMBRIX_API_END
