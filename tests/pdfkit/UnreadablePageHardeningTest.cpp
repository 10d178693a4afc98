// A page whose content stream MuPDF gives up on is told apart from a page with no text.

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/DamagedPage.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

namespace fx = ombrix::testing;
using ombrix::pdfkit::Document;

TEST(UnreadablePageHardeningTest, ADamagedPageIsMarkedWhereverItsTextIsRead) {
    fx::TempDir dir;
    auto doc = Document::open(fx::writeDeeplyNestedPage(dir / "nested.pdf", 3, 1));
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->damagedPages().empty()); // nothing read yet
    auto found = doc->find("alpha", true);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(doc->damagedPages(), std::vector<int>{1});

    EXPECT_TRUE(doc->page(1)->contentDamaged());
    EXPECT_FALSE(doc->page(0)->contentDamaged());
    EXPECT_FALSE(doc->page(2)->contentDamaged());
    // The desktop's layouts (read from a recorded display list) carry the same mark.
    auto fresh = Document::open(dir / "nested.pdf");
    ASSERT_TRUE(fresh);
    auto layout = fresh->textLayout(1);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->contentDamaged());
    EXPECT_FALSE(fresh->textLayout(0)->contentDamaged());

    // A page with no text at all is not damaged.
    fx::FixtureDocument blank;
    blank.pages.emplace_back();
    auto empty = Document::open(fx::writePdf(blank, dir / "blank.pdf"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->page(0)->string().empty());
    EXPECT_FALSE(empty->page(0)->contentDamaged());
    EXPECT_FALSE(empty->textLayout(0)->contentDamaged());
}

} // namespace
