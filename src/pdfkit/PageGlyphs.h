#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <string>
#include <vector>

namespace ombrix::pdfkit {

class Page;

// One glyph as the page's content draws it, for reading a formula back from its glyphs.
// Page space. Visible text only: glyphs drawn invisibly (an OCR layer over a scan) are
// left out, so a scanned page yields none.
struct PageGlyph {
    // What the file says the glyph stands for (its Unicode map, else its encoding's glyph
    // names); 0 when nothing does. A glyph standing for several characters holds them all.
    std::u32string text;
    // The glyph's name in the embedded font program, or the encoding's name for it; empty
    // when neither names it. Math fonts without a Unicode map are read by this name.
    std::string glyphName;
    std::string fontName; // subset tag removed
    bool bold = false;
    bool italic = false;
    bool serif = false;
    bool monospaced = false;
    double size = 0;     // the font size as drawn
    Point origin;        // where the glyph sits on its baseline
    double advance = 0;  // along the baseline, to where the next glyph would start
    Rect ink;            // the glyph outline's bounding box; the font box for outline-less ones
    bool upright = true; // drawn without rotation or mirroring (a slant is allowed)
};

// The glyphs whose ink centre lies in `region` (page space), in content order. Empty for
// pages of another PDF kit or content MuPDF cannot run. Call on the thread that edits the
// document; the result belongs to the caller.
std::vector<PageGlyph> pageGlyphs(const Page& page, const Rect& region);

} // namespace ombrix::pdfkit

OMBRIX_API_END
