#include "PdfkitTestSupport.h"
#include "pdfkit/Document.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

TEST(PageMemory, VisitedPagesAreLetGoWhileHeldAnnotationsKeepTheirIdentity) {
    fx::TempDir dir;
    fx::FixtureDocument fixture = fx::textDocument(520);
    fx::FixtureAnnotation square;
    square.subtype = "Square";
    square.rect = Rect{72, 400, 100, 50};
    square.color = Color{1, 0, 0, 1};
    fixture.pages[3].annotations = {square};
    fixture.pages[7].annotations = {square};
    auto doc = openFixture(dir, fixture, "long.pdf");
    ASSERT_EQ(doc->pageCount(), 520);

    auto held = doc->page(3)->annotations();
    ASSERT_EQ(held.size(), 1u);
    doc->page(7)->annotations(); // listed, then nobody keeps it
    const auto page3 = doc->page(3);

    for (int i = 0; i < doc->pageCount(); ++i) {
        doc->page(i)->string();
        EXPECT_FALSE(doc->renderer().render(i, 6, 8, 0.01).isNull());
    }
    EXPECT_LE(doc->loadedPageCount(), Document::kMostLoadedPages);
    EXPECT_EQ(doc->page(3), page3);
    auto again = doc->page(3)->annotations();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0], held[0]);
    EXPECT_EQ(held[0]->page(), page3);
    EXPECT_EQ(doc->page(3)->annotationAt(Point{100, 420}), held[0]);

    // The held annotation is still live: an edit reaches the rendered page.
    held[0]->setColor(Color{0, 0, 1, 1});
    Image image = doc->page(3)->draw(612, 792, 1.0);
    Rgba edge = pagePixel(image, 1.0, Point{72.5, 425});
    EXPECT_GT(edge.b, 150);
    EXPECT_LT(edge.r, 100);

    // Page 8's annotation is read afresh and still the file's.
    auto reread = doc->page(7)->annotations();
    ASSERT_EQ(reread.size(), 1u);
    EXPECT_EQ(reread[0]->type(), "Square");
}

TEST(PageMemory, SearchFindsEveryOccurrenceAcrossManyPages) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(300), "long.pdf");
    auto results = doc->find("alpha", true);
    ASSERT_EQ(results.size(), 600u);
    EXPECT_EQ(results.front().pages().front(), doc->page(0));
    EXPECT_EQ(results.back().pages().front(), doc->page(299));
    EXPECT_EQ(*results.back().string(), "alpha");
    EXPECT_LE(doc->loadedPageCount(), Document::kMostLoadedPages);
}

} // namespace
} // namespace ombrix::pdfkit::test
