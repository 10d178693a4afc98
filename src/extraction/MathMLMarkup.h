#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <optional>
#include <string>

namespace ombrix::mathml {

// MathML from a server goes into a page where script runs, so it is read as strict XML
// and written again with nothing but presentation MathML: layout, token, script, table
// and semantics elements in the MathML namespace (or none), each with the presentation
// attributes whose values can name no URL, script or style (no href, src, style, class,
// id or event handlers; sizes, colours and alignments only as plain tokens). Elements of
// other names or namespaces go with their content; text is escaped. Returns none for
// text that is not well-formed XML, declares a document type or entities, is deeper or
// longer than any formula, or whose root is not a math element. Any thread.
std::optional<std::string> sanitize(const std::string& mathml);

inline constexpr std::size_t kMaxMathML = 1u << 20;
inline constexpr int kMaxDepth = 128;

} // namespace ombrix::mathml

OMBRIX_API_END
