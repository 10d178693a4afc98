#include "PdfkitTestSupport.h"
#include "pdfkit/PageRenderer.h"

#include <gtest/gtest.h>
#include <limits>

namespace ombrix::pdfkit::test {
namespace {

// The square the annotation fixture fills with orange, and where it sits.
const Rect kOrangeSquare{72, 500, 100, 80};

bool isOrange(Rgba c) {
    return c.r > 230 && c.g > 120 && c.g < 180 && c.b < 40 && c.a == 255;
}
bool isWhite(Rgba c) {
    return c.r == 255 && c.g == 255 && c.b == 255 && c.a == 255;
}

TEST(PageGeometry, RotationIsReportedAndTheMediaBoxStaysUnrotated) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::rotatedDocument(), "rotated.pdf");
    ASSERT_EQ(doc->pageCount(), 4);
    const int rotations[] = {0, 90, 180, 270};
    for (int i = 0; i < 4; ++i) {
        auto page = doc->page(i);
        EXPECT_EQ(page->rotation(), rotations[i]);
        EXPECT_EQ(page->mediaBox(), (Rect{0, 0, 612, 792}));
        // Drawing ignores the rotation: still portrait.
        Image image = page->draw(61, 79, 0.1);
        EXPECT_EQ(image.width(), 61);
        EXPECT_EQ(image.height(), 79);
        // Text comes out in unrotated page space, so it reads as written.
        EXPECT_NE(page->string().find("rotated by " + std::to_string(rotations[i])),
                  std::string::npos);
        auto words = page->words();
        ASSERT_FALSE(words.empty());
        EXPECT_NEAR(words.front().bounds.x, 72, 0.5);
        EXPECT_GT(words.front().bounds.y, 730);
    }
}

TEST(PageGeometry, MediaBoxAwayFromTheOriginDrawsItsLowerLeftAtTheBitmapsLowerLeft) {
    fx::TempDir dir;
    // Blue square at the box's lower left corner, red at its upper right.
    const std::string content = "0 0 1 rg 100 200 50 50 re f 1 0 0 rg 350 550 50 50 re f";
    writeBytes(dir / "offset.pdf",
               handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R /MediaBox [400 600 100 200] /Rotate -90 "
                            "/Contents 4 0 R >>",
                            stream("", content)}));
    auto doc = Document::open(dir / "offset.pdf");
    ASSERT_NE(doc, nullptr);
    auto page = doc->page(0);
    EXPECT_EQ(page->mediaBox(), (Rect{100, 200, 300, 400}));
    EXPECT_EQ(page->rotation(), 270);

    Image image = page->draw(300, 400, 1.0);
    Rgba lowerLeft = pixelAt(image, 10, 390);
    Rgba upperRight = pixelAt(image, 290, 10);
    EXPECT_TRUE(lowerLeft.b == 255 && lowerLeft.r == 0) << lowerLeft.r;
    EXPECT_TRUE(upperRight.r == 255 && upperRight.b == 0) << upperRight.b;
    EXPECT_TRUE(isWhite(pixelAt(image, 150, 200)));

    Image region = page->drawRegion(Rect{350, 550, 50, 50}, 2.0, true);
    EXPECT_EQ(region.width(), 100);
    EXPECT_EQ(region.height(), 100);
    EXPECT_EQ(pixelAt(region, 50, 50).r, 255);
    EXPECT_EQ(pixelAt(region, 50, 50).b, 0);
}

TEST(PageRender, AnnotationsAreDrawnOnlyWhenAskedFor) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    const double scale = 1.0;
    Image with = page->draw(612, 792, scale, true);
    Image without = page->draw(612, 792, scale, false);
    ASSERT_EQ(with.width(), 612);
    ASSERT_EQ(without.height(), 792);

    const Point inside{kOrangeSquare.midX(), kOrangeSquare.midY()};
    EXPECT_TRUE(isOrange(pagePixel(with, scale, inside)));
    EXPECT_TRUE(isWhite(pagePixel(without, scale, inside)));

    // The highlight over "highlighted" tints the word yellow; without it the word is
    // black on white, as neutral as the rest of the text.
    Rect highlight = page->annotations().front()->bounds();
    Rgba tinted = meanColor(with, scale, highlight);
    Rgba plain = meanColor(without, scale, highlight);
    EXPECT_GT(tinted.r - tinted.b, 60);
    EXPECT_LT(std::abs(plain.r - plain.b), 5);
    EXPECT_TRUE(isWhite(pixelAt(with, 0, 0)));
    EXPECT_TRUE(isWhite(pixelAt(with, 611, 791)));
    // Translucent markup composited on the page still leaves every pixel opaque.
    for (const Image* image : {&with, &without}) {
        std::size_t translucent = 0;
        for (std::size_t i = 3; i < image->byteCount(); i += 4) {
            translucent += image->data()[i] != 255;
        }
        EXPECT_EQ(translucent, 0u);
    }
}

TEST(PageRender, TheRendererDrawsAsThePageDoes) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    Image direct = doc->page(0)->draw(306, 396, 0.5, true);
    Image viaRenderer = doc->renderer().render(0, 306, 396, 0.5, true);
    Image again = doc->renderer().render(0, 306, 396, 0.5, true);
    ASSERT_EQ(direct.byteCount(), viaRenderer.byteCount());
    EXPECT_EQ(0, std::memcmp(direct.data(), viaRenderer.data(), direct.byteCount()));
    EXPECT_EQ(0, std::memcmp(direct.data(), again.data(), direct.byteCount()));
    EXPECT_NE(again.identity(), viaRenderer.identity());

    // A bitmap larger than the page leaves white around it; the page sits at the bottom.
    Image tall = doc->renderer().render(0, 306, 500, 0.5, true);
    EXPECT_TRUE(isWhite(pixelAt(tall, 150, 50)));
    EXPECT_TRUE(isOrange(
        pixelAt(tall, int(kOrangeSquare.midX() * 0.5), 499 - int(kOrangeSquare.midY() * 0.5))));
}

TEST(PageRender, RegionsAreRoundedToWholePixels) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::everyAnnotationDocument(), "annots.pdf");
    auto page = doc->page(0);
    Image region = page->drawRegion(kOrangeSquare.insetBy(10, 10), 1.5, true);
    EXPECT_EQ(region.width(), 120);
    EXPECT_EQ(region.height(), 90);
    EXPECT_TRUE(isOrange(pixelAt(region, 60, 45)));
    EXPECT_TRUE(
        isWhite(pixelAt(page->drawRegion(kOrangeSquare.insetBy(10, 10), 1.5, false), 60, 45)));
    // A region given by its upper corner and negative size is the same region.
    Rect flipped{kOrangeSquare.maxX() - 10, kOrangeSquare.maxY() - 10, -80, -60};
    Image same = page->drawRegion(flipped, 1.5, true);
    ASSERT_EQ(same.byteCount(), region.byteCount());
    EXPECT_EQ(0, std::memcmp(same.data(), region.data(), same.byteCount()));
}

TEST(PageRender, ImpossibleRequestsGiveNoImage) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(1), "text.pdf");
    auto page = doc->page(0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(page->draw(0, 10, 1).isNull());
    EXPECT_TRUE(page->draw(10, -1, 1).isNull());
    EXPECT_TRUE(page->draw(10, 10, 0).isNull());
    EXPECT_TRUE(page->draw(10, 10, nan).isNull());
    EXPECT_TRUE(page->draw(1 << 20, 1 << 20, 1).isNull());
    EXPECT_TRUE(page->drawRegion(Rect{0, 0, 0.1, 100}, 1, true).isNull());
    EXPECT_TRUE(page->drawRegion(Rect{0, 0, nan, 100}, 1, true).isNull());
    EXPECT_TRUE(doc->renderer().render(-1, 10, 10, 1).isNull());
    EXPECT_TRUE(doc->renderer().render(1, 10, 10, 1).isNull());
    EXPECT_TRUE(doc->renderer().renderRegion(1, Rect{0, 0, 10, 10}, 1, true).isNull());
    EXPECT_FALSE(page->draw(1, 1, 0.001).isNull());
}

} // namespace
} // namespace ombrix::pdfkit::test
