#include "pdfkit/PageGlyphs.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/RawPdf.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace ombrix;

namespace {

const std::filesystem::path kFormulas =
    std::filesystem::path(OMBRIX_SOURCE_DIR) / "tests/data/formulas";

std::vector<pdfkit::PageGlyph> glyphsOf(const std::filesystem::path& file, int page) {
    auto document = pdfkit::Document::open(file);
    EXPECT_TRUE(document) << file;
    auto p = document->page(page);
    return pdfkit::pageGlyphs(*p, p->mediaBox());
}

} // namespace

// pdfTeX writes no Unicode map for its extension font: its glyphs still come with the names
// the font program gives them, on their baselines, in page space.
TEST(PageGlyphs, GlyphsOfTeXsMathFontsComeWithNamesAndBaselines) {
    // Page 25: \sum_{i=1}^{n} i = \frac{n(n+1)}{2}
    const auto glyphs = glyphsOf(kFormulas / "pdflatex-cm.pdf", 24);
    ASSERT_FALSE(glyphs.empty());
    const pdfkit::PageGlyph* sum = nullptr;
    for (const auto& g : glyphs) {
        if (g.glyphName == "summationdisplay") {
            sum = &g;
        }
    }
    ASSERT_TRUE(sum);
    EXPECT_TRUE(sum->text.empty()); // nothing in the file says what it is
    EXPECT_EQ(sum->fontName, "CMEX10");
    EXPECT_NEAR(sum->size, 9.96, 0.01);
    EXPECT_GT(sum->ink.height, 1.2 * sum->size); // the display size
    // The letters beside it sit on one baseline, in page space (y up): the limits lie above
    // and below it.
    int onBaseline = 0;
    for (const auto& g : glyphs) {
        if (g.fontName == "CMMI10" && g.text == U"i") {
            ++onBaseline;
            EXPECT_GT(g.origin.y, sum->ink.minY());
            EXPECT_LT(g.origin.y, sum->ink.maxY());
            EXPECT_GT(g.advance, 0);
            EXPECT_TRUE(g.upright);
        }
    }
    EXPECT_EQ(onBaseline, 1);
}

// An OCR layer over a scan is invisible text: it is not the page's drawing, so a formula
// reader gets nothing from it.
TEST(PageGlyphs, InvisibleTextIsLeftOut) {
    ombrix::testing::TempDir dir;
    const auto file = dir.path() / "layer.pdf";
    ombrix::testing::writeContentPdf(
        file,
        "BT /F1 12 Tf 3 Tr 72 700 Td (hidden) Tj ET BT /F1 12 Tf 0 Tr 72 650 Td (shown) Tj ET");
    const auto glyphs = glyphsOf(file, 0);
    std::u32string text;
    for (const auto& g : glyphs) {
        text += g.text;
        EXPECT_EQ(g.fontName, "Helvetica-Bold");
        EXPECT_TRUE(g.bold);
        EXPECT_NEAR(g.origin.y, 650, 0.01);
    }
    EXPECT_EQ(text, U"shown");
    // Only what lies in the region.
    auto document = pdfkit::Document::open(file);
    EXPECT_TRUE(pdfkit::pageGlyphs(*document->page(0), Rect{300, 300, 50, 50}).empty());
    EXPECT_TRUE(pdfkit::pageGlyphs(*document->page(0), Rect{}).empty());
}
