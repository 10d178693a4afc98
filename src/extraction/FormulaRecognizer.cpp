#include "extraction/FormulaRecognizer.h"

#include "extraction/FormulaLayout.h"
#include "extraction/MathMLMarkup.h"
#include "extraction/RegionCapture.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageGlyphs.h"
#include "pdfkit/PageRules.h"

namespace ombrix {

formula::Input FormulaRecognizer::input(const pdfkit::Page& page, const Rect& bounds) {
    formula::Input in;
    const Rect region = region::paddedRegion(bounds, page.mediaBox());
    if (region.isEmpty()) {
        return in;
    }
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
        glyph.origin = page.pageToDisplay(g.origin);
        glyph.advance = g.advance;
        glyph.ink = page.pageToDisplay(g.ink);
        in.glyphs.push_back(std::move(glyph));
    }
    for (const auto& rule : pdfkit::pageRules(page)) {
        if (region.contains(Point{rule.bounds.midX(), rule.bounds.midY()})) {
            in.rules.push_back(page.pageToDisplay(rule.bounds));
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
