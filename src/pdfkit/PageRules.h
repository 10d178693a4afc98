#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <vector>

namespace ombrix::pdfkit {

class Page;

// A straight axis-parallel line or a filled rectangle of a page's own drawing: table rules,
// cell frames and cell backgrounds. Page space; a stroked line's box is as thick as its pen.
struct PageRule {
    Rect bounds;
    bool filled = false; // a fill (a rule drawn as a thin rectangle, or a background)
};

// The rules the page's content draws (annotations left out): stroked lines, then fills. Curves and
// slanted lines are not rules. Empty for pages of another PDF kit or content MuPDF cannot
// run. Call on the thread that edits the document; the result belongs to the caller.
std::vector<PageRule> pageRules(const Page& page);

} // namespace ombrix::pdfkit

OMBRIX_API_END
