// Markup on pages turned by /Rotate lies over the lines as they are shown, in the file as
// other readers draw it: the quad points' upper edge is the shown line's top, and MuPDF's
// own renderer tints that line only.
#include "PdfkitTestSupport.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"
#include "support/RawPdf.h"
#include "support/RenderedPage.h"
#include "support/TurnedPages.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

// The /QuadPoints of an annotation of a page of a saved file, as written.
std::vector<double> writtenQuadPoints(const std::filesystem::path& file, int pageIndex,
                                      int annotIndex = 0) {
    return fx::readStoredPage(file, pageIndex).annotations.at(annotIndex).quadPoints;
}

Rect grown(const Rect& r, double by) {
    return Rect::fromEdges(r.minX() - by, r.minY() - by, r.maxX() + by, r.maxY() + by);
}

// Whether a written quad's corners are upper left, upper right, lower left, lower right of
// `shown` as the page shows it.
void expectShownCorners(const Page& page, const std::vector<double>& quad, const Rect& shown) {
    ASSERT_EQ(quad.size(), 8u);
    const Point corners[4] = {{shown.minX(), shown.minY()},
                              {shown.maxX(), shown.minY()},
                              {shown.minX(), shown.maxY()},
                              {shown.maxX(), shown.maxY()}};
    for (int i = 0; i < 4; ++i) {
        const Point at = page.pageToDisplay(Point{quad[2 * i], quad[2 * i + 1]});
        EXPECT_NEAR(at.x, corners[i].x, 0.05) << "corner " << i;
        EXPECT_NEAR(at.y, corners[i].y, 0.05) << "corner " << i;
    }
}

class RotatedMarkupTrustTest : public ::testing::TestWithParam<int> {
protected:
    fx::TempDir dir_;
    fx::TurnedPages pages_{{GetParam()}};

    std::filesystem::path original() { return fx::writePdf(pages_.document, dir_ / "turned.pdf"); }

    // The shown rows (display y) MuPDF's renderer changed between the files, or a failure.
    std::vector<fx::PixelChange> changesDrawn(const std::filesystem::path& before,
                                              const std::filesystem::path& after) {
        std::string error;
        const auto a = fx::renderWith(fx::Reader::mupdf, before, 0, std::nullopt, &error);
        const auto b = fx::renderWith(fx::Reader::mupdf, after, 0, std::nullopt, &error);
        EXPECT_FALSE(a.empty() || b.empty()) << error;
        return fx::changedPixels(a, b);
    }
};

TEST_P(RotatedMarkupTrustTest, RegionOverOneShownLineHighlightsThatLineOnly) {
    const auto file = original();
    auto document = Document::open(file);
    auto page = document->page(0);
    ASSERT_EQ(page->rotation(), GetParam());

    const Rect shown = grown(pages_.shownLine(0, 1), 2);
    auto annotation = Annotation::create(page->displayToPage(shown), "Highlight");
    annotation->setColor(Color::rgb(255, 208, 0, 0.5));
    annotation->setRegion(true);
    page->addAnnotation(annotation);
    const auto marked = dir_ / "marked.pdf";
    document->write(marked);

    // Upper left, upper right, lower left, lower right as the line is shown.
    expectShownCorners(*page, writtenQuadPoints(marked, 0), shown);

    const auto changes = changesDrawn(file, marked);
    EXPECT_GT(changes.size(), 1000u) << "the line is not tinted";
    EXPECT_TRUE(fx::changesOutside(changes, shown, 1.0).empty())
        << "the highlight spills over the neighbouring lines";
}

TEST_P(RotatedMarkupTrustTest, SelectedLineIsItsTextAndItsHighlightLiesOnIt) {
    const auto file = original();
    auto document = Document::open(file);
    auto page = document->page(0);
    const Rect line = pages_.shownLine(0, 1);

    // A drag from the start to the end of the shown line, as the view hands it over.
    const auto selection =
        page->selection(page->displayToPage(Point{line.minX() + 1, line.midY()}),
                        page->displayToPage(Point{line.maxX() - 1, line.midY()}));
    ASSERT_TRUE(selection && selection->string());
    EXPECT_EQ(*selection->string(), fx::TurnedPages::lines()[1]);

    auto highlight = Annotation::create(selection->bounds(*page), "Highlight");
    highlight->setQuadRects(selection->lineRects(*page));
    highlight->setColor(Color::rgb(255, 208, 0, 0.5));
    page->addAnnotation(highlight);
    const auto marked = dir_ / "marked.pdf";
    document->write(marked);

    // MuPDF's own look of a line's highlight reaches a little past the line's ends, but
    // never up or down onto the lines above and below.
    const auto changes = changesDrawn(file, marked);
    EXPECT_GT(changes.size(), 500u) << "the line is not tinted";
    const Rect band = Rect::fromEdges(-1e6, line.minY() - 3, 1e6, line.maxY() + 3);
    EXPECT_TRUE(fx::changesOutside(changes, band, 0).empty())
        << "the highlight lies across the shown lines";
}

TEST_P(RotatedMarkupTrustTest, QuadsAndBoundsChangedOnThePageLieAlongTheShownLine) {
    const auto file = original();
    auto document = Document::open(file);
    auto page = document->page(0);
    const Rect first = grown(pages_.shownLine(0, 0), 1);
    const Rect second = grown(pages_.shownLine(0, 2), 1);

    // Put on the page elsewhere, then given its line: the change goes through the page.
    auto quads = Annotation::create(page->displayToPage(Rect{5, 5, 10, 10}), "Highlight");
    page->addAnnotation(quads);
    quads->setQuadRects({page->displayToPage(first)});
    auto moved = Annotation::create(page->displayToPage(first), "Underline");
    page->addAnnotation(moved);
    moved->setBounds(page->displayToPage(second));
    EXPECT_NEAR(page->pageToDisplay(moved->bounds()).minY(), second.minY(), 0.05);
    const auto marked = dir_ / "marked.pdf";
    document->write(marked);

    expectShownCorners(*page, writtenQuadPoints(marked, 0, 0), first);
    expectShownCorners(*page, writtenQuadPoints(marked, 0, 1), second);
}

INSTANTIATE_TEST_SUITE_P(Turned, RotatedMarkupTrustTest, ::testing::Values(90, 180, 270),
                         [](const auto& info) { return "rotate" + std::to_string(info.param); });

} // namespace
} // namespace ombrix::pdfkit::test
