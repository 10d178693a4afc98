#include "extraction/FormulaRecognizer.h"

#include "extraction/FormulaLayout.h"
#include "extraction/MathMLMarkup.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageGlyphs.h"
#include "pdfkit/PageRules.h"

namespace ombrix {

namespace {

// Page space turned y-down, unrotated: a page's /Rotate turns what the reader shows, not the
// formula as the content set it (the recognition server gets it unrotated too).
struct Flip {
    Rect box;
    Point operator()(Point p) const { return Point{p.x - box.minX(), box.maxY() - p.y}; }
    Rect operator()(const Rect& r) const {
        return Rect::fromEdges(r.minX() - box.minX(), box.maxY() - r.maxY(), r.maxX() - box.minX(),
                               box.maxY() - r.minY());
    }
};

} // namespace

formula::Input FormulaRecognizer::input(const pdfkit::Page& page, const Rect& bounds) {
    formula::Input in;
    const Rect region = region::paddedRegion(bounds, page.mediaBox());
    if (region.isEmpty()) {
        return in;
    }
    const Flip flip{page.mediaBox().standardized()};
    for (auto& g : pdfkit::pageGlyphs(page, region)) {
        if (!g.upright) {
            continue; // turned text is not part of a formula's layout
        }
        formula::Glyph glyph;
        glyph.text = std::move(g.text);
        glyph.glyphName = std::move(g.glyphName);
        glyph.fontName = std::move(g.fontName);
        glyph.bold = g.bold;
        glyph.italic = g.italic;
        glyph.size = g.size;
        glyph.origin = flip(g.origin);
        glyph.advance = g.advance;
        glyph.ink = flip(g.ink);
        in.glyphs.push_back(std::move(glyph));
    }
    for (const auto& rule : pdfkit::pageRules(page)) {
        if (region.contains(Point{rule.bounds.midX(), rule.bounds.midY()})) {
            in.rules.push_back(flip(rule.bounds));
        }
    }
    return in;
}

std::optional<MathOCRResult> FormulaRecognizer::recognize(const formula::Input& input) {
    auto layout = formula::analyse(input);
    if (!layout || layout->formula.empty()) {
        return std::nullopt;
    }
    MathOCRResult result;
    result.latex = formula::toLatex(layout->formula);
    if (result.latex.empty()) {
        return std::nullopt;
    }
    result.mathml = mathml::sanitize(formula::toMathML(layout->formula));
    return result;
}

std::optional<MathOCRResult> FormulaRecognizer::recognize(const pdfkit::Page& page,
                                                          const Rect& bounds) {
    return recognize(input(page, bounds));
}

} // namespace ombrix
