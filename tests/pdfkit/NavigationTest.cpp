#include "PdfkitTestSupport.h"
#include "pdfkit/Document.h"

#include <gtest/gtest.h>

namespace ombrix::pdfkit::test {
namespace {

void expectNear(const Rect& a, const Rect& b) {
    EXPECT_NEAR(a.x, b.x, 0.01);
    EXPECT_NEAR(a.y, b.y, 0.01);
    EXPECT_NEAR(a.width, b.width, 0.01);
    EXPECT_NEAR(a.height, b.height, 0.01);
}

TEST(Links, ReadsInternalAndExternalLinksInPageSpace) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::linkedDocument(), "linked.pdf");
    auto links = doc->links(0);
    ASSERT_EQ(links.size(), 3u);

    expectNear(links[0].bounds, Rect{72, 600, 100, 20});
    ASSERT_TRUE(links[0].destination);
    EXPECT_EQ(links[0].destination->page, 2);
    ASSERT_TRUE(links[0].destination->point);
    EXPECT_NEAR(links[0].destination->point->x, 100, 0.01);
    EXPECT_NEAR(links[0].destination->point->y, 700, 0.01);
    EXPECT_TRUE(links[0].uri.empty());

    ASSERT_TRUE(links[1].destination);
    EXPECT_EQ(links[1].destination->page, 1);
    EXPECT_FALSE(links[1].destination->point); // /Fit names no point

    expectNear(links[2].bounds, Rect{300, 600, 100, 20});
    EXPECT_FALSE(links[2].destination);
    EXPECT_EQ(links[2].uri, "https://example.com/");

    EXPECT_TRUE(doc->links(1).empty());
    EXPECT_TRUE(doc->links(-1).empty());
    EXPECT_TRUE(doc->links(3).empty());
}

TEST(Links, OnARotatedPageStayInPageSpace) {
    fx::TempDir dir;
    auto fixture = fx::linkedDocument();
    fixture.pages[0].rotation = 90;
    fixture.pages[2].rotation = 270;
    auto doc = openFixture(dir, fixture, "turned.pdf");
    auto links = doc->links(0);
    ASSERT_EQ(links.size(), 3u);
    expectNear(links[0].bounds, Rect{72, 600, 100, 20});
    ASSERT_TRUE(links[0].destination && links[0].destination->point);
    EXPECT_NEAR(links[0].destination->point->x, 100, 0.01);
    EXPECT_NEAR(links[0].destination->point->y, 700, 0.01);
}

TEST(Outline, ReadsTitlesDestinationsAndChildren) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::linkedDocument(), "linked.pdf");
    auto outline = doc->outline();
    ASSERT_EQ(outline.size(), 3u);
    EXPECT_EQ(outline[0].title, "Chapter 1");
    ASSERT_TRUE(outline[0].destination);
    EXPECT_EQ(outline[0].destination->page, 0);
    ASSERT_EQ(outline[0].children.size(), 1u);
    const OutlineItem& section = outline[0].children[0];
    EXPECT_EQ(section.title, "Section 1.1");
    ASSERT_TRUE(section.destination && section.destination->point);
    EXPECT_EQ(section.destination->page, 1);
    EXPECT_NEAR(section.destination->point->x, 72, 0.01);
    EXPECT_NEAR(section.destination->point->y, 500, 0.01);
    EXPECT_EQ(outline[1].title, "Chapter 2");
    EXPECT_EQ(outline[1].destination->page, 2);
    EXPECT_TRUE(outline[1].children.empty());
    EXPECT_EQ(outline[2].title, "Website");
    EXPECT_FALSE(outline[2].destination);
    EXPECT_EQ(outline[2].uri, "https://example.com/");

    auto plain = openFixture(dir, fx::textDocument(1), "plain.pdf");
    EXPECT_TRUE(plain->outline().empty());
}

} // namespace
} // namespace ombrix::pdfkit::test
