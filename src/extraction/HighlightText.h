#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <string_view>

namespace ombrix {

// Text under a highlight as one line: runs of Unicode white space and line breaks of
// every kind become single spaces, none at either end.
std::string collapseWhitespace(std::string_view utf8);

// The shortest decimal text that reads back as the same double, always with a fraction
// or an exponent ("72.0", "0.5", "1e-07").
std::string shortestDecimal(double value);

} // namespace ombrix

OMBRIX_API_END
