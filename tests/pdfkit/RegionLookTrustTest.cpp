// A highlight of a dragged-out region shows exactly its rectangle, translucent, in other
// readers as in ours: drawn by poppler and MuPDF's own tools from the saved file.
#include "PdfkitTestSupport.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"
#include "support/RenderedPage.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

using fx::Reader;

const char* nameOf(Reader reader) {
    return reader == Reader::poppler ? "pdftoppm" : "mutool draw";
}

void expectRegionLook(const std::filesystem::path& before, const std::filesystem::path& after,
                      int pageIndex, const Rect& shown) {
    for (Reader reader : {Reader::poppler, Reader::mupdf}) {
        EXPECT_THAT(fx::regionLookFaults(reader, before, after, pageIndex, shown),
                    ::testing::IsEmpty())
            << nameOf(reader);
    }
}

class RegionLookTrustTest : public ::testing::Test {
protected:
    fx::TempDir dir_;
    fx::FixtureDocument fixture_ = fx::textDocument(1);

    // Two lines of the page and some of the space around them: taller than a text line,
    // which is where a highlight drawn as a line's highlight spills past its quad.
    Rect twoLines() const { return Rect::fromEdges(68, 675, 330, 712); }

    std::filesystem::path highlighted(const std::filesystem::path& original, const Rect& region,
                                      const std::string& name) {
        auto document = Document::open(original);
        EXPECT_TRUE(document);
        auto page = document->page(0);
        auto annotation = Annotation::create(region, "Highlight");
        annotation->setColor(Color::rgb(255, 208, 0, 0.5));
        annotation->setRegion(true);
        page->addAnnotation(annotation);
        EXPECT_TRUE(annotation->isRegion());
        const auto out = dir_ / name;
        document->write(out);
        return out;
    }
};

TEST_F(RegionLookTrustTest, RegionHighlightCoversExactlyItsRectangleInOtherReaders) {
    const auto original = fx::writePdf(fixture_, dir_ / "text.pdf");
    const auto marked = highlighted(original, twoLines(), "marked.pdf");
    auto page = Document::open(marked)->page(0);
    expectRegionLook(original, marked, 0, page->pageToDisplay(twoLines()));

    // Its quad and rectangle are the region itself, and it reads back as a region.
    const auto annotations = page->annotations();
    ASSERT_EQ(annotations.size(), 1u);
    EXPECT_TRUE(annotations[0]->isRegion());
    ASSERT_EQ(annotations[0]->quadRects().size(), 1u);
    const Rect quad = annotations[0]->quadRects()[0];
    EXPECT_NEAR(quad.minX(), 68, 0.01);
    EXPECT_NEAR(quad.maxY(), 712, 0.01);
    EXPECT_NEAR(annotations[0]->bounds().width, twoLines().width, 0.01);
}

TEST_F(RegionLookTrustTest, RegionKeepsItsLookWhenRecolouredAndResizedAfterReopening) {
    const auto original = fx::writePdf(fixture_, dir_ / "text.pdf");
    const auto marked = highlighted(original, twoLines(), "marked.pdf");

    auto document = Document::open(marked);
    auto annotation = document->page(0)->annotations().at(0);
    ASSERT_TRUE(annotation->isRegion());
    const Rect smaller = Rect::fromEdges(100, 678, 250, 690);
    annotation->setColor(Color::rgb(8, 109, 221, 0.5));
    annotation->setBounds(smaller);
    const auto changed = dir_ / "changed.pdf";
    document->write(changed);
    expectRegionLook(original, changed, 0, document->page(0)->pageToDisplay(smaller));
}

TEST_F(RegionLookTrustTest, PlainHighlightIsNoRegionAndRegionCanBeTurnedOff) {
    auto document = openFixture(dir_, fixture_, "plain.pdf");
    auto page = document->page(0);
    auto line = Annotation::create(fx::textBounds(fixture_.pages[0].runs[1]), "Highlight");
    page->addAnnotation(line);
    EXPECT_FALSE(line->isRegion());

    // Only highlights can be regions.
    auto square = Annotation::create(twoLines(), "Square");
    square->setRegion(true);
    page->addAnnotation(square);
    EXPECT_FALSE(square->isRegion());

    line->setRegion(true);
    EXPECT_TRUE(line->isRegion());
    line->setRegion(false);
    EXPECT_FALSE(line->isRegion());
}

} // namespace
} // namespace ombrix::pdfkit::test
