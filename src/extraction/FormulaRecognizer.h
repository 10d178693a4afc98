#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "extraction/FormulaTree.h"
#include "extraction/MathOCRExtractor.h"

#include <optional>

namespace ombrix::pdfkit {
class Page;
}

namespace ombrix {

// Reads the formula under a highlight from the page itself: the glyphs a born-digital page
// draws there (with their Unicode, glyph names, fonts, sizes and positions) and its rules.
// Call on the thread that edits the document.
class FormulaRecognizer {
public:
    // What the page holds in the padded highlight bounds (page space), in page space turned
    // y-down: the formula as the content sets it, whatever the page's /Rotate.
    static formula::Input input(const pdfkit::Page& page, const Rect& bounds);
    // The LaTeX and MathML of the formula there; none when the region holds no glyphs the
    // page identifies (a scan, a picture, a font without Unicode or glyph names), which is
    // when the recognition server should be asked instead.
    static std::optional<MathOCRResult> recognize(const pdfkit::Page& page, const Rect& bounds);
    static std::optional<MathOCRResult> recognize(const formula::Input& input);
};

} // namespace ombrix

OMBRIX_API_END
