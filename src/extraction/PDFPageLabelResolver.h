#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "document/PDFDocument.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::PDFPageLabelResolver {

// Translation between page indexes and the page labels a PDF may define (roman numerals
// for a preface, "A-1" for an appendix). Every operation reads the engine document behind
// the record; a record without one has no labels and resolves no input.

// The page's label without surrounding white space; none for an index out of range, a
// page without a label, or a label that is only white space.
std::optional<std::string> pageLabel(const PDFDocument& document, int index);

// What the user is shown for a page: its label, else its 1-based number.
std::string displayLabel(const PDFDocument& document, int index);

// The 0-based page index the user means by what they typed. A whole number above zero
// is a physical page number and never a label; anything else (including "0" and "-1")
// is matched case-insensitively against the labels, first page first.
std::optional<int> pageIndexForInput(const PDFDocument& document, std::string_view text);

// True when some page has a label that is not only white space.
bool hasCustomLabels(const PDFDocument& document);

// True when one of the first ten pages carries a roman-numeral label.
bool usesRomanLabels(const PDFDocument& document);

} // namespace ombrix::PDFPageLabelResolver

OMBRIX_API_END
