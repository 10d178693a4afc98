#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <string_view>

namespace ombrix {

// Joins text extracted line by line from a page into one line: line breaks become single
// spaces, a word split by a hyphen at a line end is rejoined, and lines of Chinese,
// Japanese or Korean text are joined without a space. With
// `removeWhitespaceBetweenCJKChars`, a single space between two CJK ideographs anywhere
// in the result is removed as well.
//
// Lines that hold nothing but spaces and tabs are dropped like empty ones. Ill-formed
// UTF-8 in the input comes out as U+FFFD.
std::string toSingleLine(std::string_view utf8, bool removeWhitespaceBetweenCJKChars);

} // namespace ombrix

OMBRIX_API_END
