#include "PdfkitTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

class AnnotationRead : public ::testing::Test {
protected:
    void SetUp() override {
        fixture = fx::everyAnnotationDocument();
        doc = openFixture(dir, fixture, "annots.pdf");
        ASSERT_NE(doc, nullptr);
        page = doc->page(0);
        list = page->annotations();
    }
    fx::TempDir dir;
    fx::FixtureDocument fixture;
    std::shared_ptr<Document> doc;
    std::shared_ptr<Page> page;
    std::vector<std::shared_ptr<Annotation>> list;
};

TEST_F(AnnotationRead, EverySubtypeComesInFileOrderWithItsProperties) {
    const auto& expected = fixture.pages[0].annotations;
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const fx::FixtureAnnotation& want = expected[i];
        const auto& got = list[i];
        SCOPED_TRACE(want.subtype + " #" + std::to_string(i));
        EXPECT_EQ(got->type(), want.subtype);
        EXPECT_EQ(got->page(), page);
        if (want.subtype == "Widget") {
            continue; // a field: its colours live in /MK
        }
        EXPECT_NEAR(got->bounds().x, want.rect.x, 0.01);
        EXPECT_NEAR(got->bounds().y, want.rect.y, 0.01);
        EXPECT_NEAR(got->bounds().width, want.rect.width, 0.01);
        EXPECT_NEAR(got->bounds().height, want.rect.height, 0.01);
        EXPECT_EQ(got->contents(), want.contents);
        EXPECT_EQ(got->userName(), want.author);
        EXPECT_THAT(got->color(), ColorNear(*want.color));
        if (want.interiorColor) {
            EXPECT_THAT(got->interiorColor(), ColorNear(*want.interiorColor));
        } else {
            EXPECT_EQ(got->interiorColor(), std::nullopt);
        }
        if (want.borderWidth) {
            ASSERT_TRUE(got->border());
            EXPECT_DOUBLE_EQ(got->border()->lineWidth, *want.borderWidth);
        } else {
            EXPECT_EQ(got->border(), std::nullopt);
        }
        if (want.fontSize) {
            ASSERT_TRUE(got->font());
            EXPECT_EQ(got->font()->family, "Helvetica");
            EXPECT_DOUBLE_EQ(got->font()->size, *want.fontSize);
        } else {
            EXPECT_EQ(got->font(), std::nullopt);
        }
    }
}

TEST_F(AnnotationRead, OpacityIsTheColoursAlphaAndMarkupHasQuads) {
    auto highlight = list[0];
    ASSERT_TRUE(highlight->color());
    EXPECT_NEAR(highlight->color()->alpha, 0.5, 0.01);
    EXPECT_NEAR(list[1]->color()->alpha, 1.0, 0.001);

    auto quads = highlight->quadRects();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_NEAR(quads[0].x, fixture.pages[0].annotations[0].rect.x, 0.01);
    EXPECT_NEAR(quads[0].width, fixture.pages[0].annotations[0].rect.width, 0.01);
    EXPECT_TRUE(list[4]->quadRects().empty()); // a square has none
}

TEST_F(AnnotationRead, TheSameObjectsEveryTime) {
    auto again = page->annotations();
    ASSERT_EQ(again.size(), list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(again[i], list[i]);
    }
}

TEST_F(AnnotationRead, AnnotationAtFindsTheTopmost) {
    const Rect square = list[4]->bounds();
    const Point inside{square.midX(), square.midY()};
    EXPECT_EQ(page->annotationAt(inside), list[4]);
    EXPECT_EQ(page->annotationAt(Point{590, 780}), nullptr);

    // Added later is drawn later, so it is on top.
    auto cover = Annotation::create(square.insetBy(20, 20), "Circle");
    page->addAnnotation(cover);
    EXPECT_EQ(page->annotationAt(inside), cover);
    EXPECT_EQ(page->annotationAt(Point{square.minX() + 2, square.minY() + 2}), list[4]);
    page->removeAnnotation(cover);
    EXPECT_EQ(page->annotationAt(inside), list[4]);
}

} // namespace
} // namespace ombrix::pdfkit::test
