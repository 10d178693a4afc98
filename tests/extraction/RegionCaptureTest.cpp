#include "extraction/RegionCapture.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

const Rect kLetter{0, 0, 612, 792};

// A white image with dark (or given) blocks painted on it, rows from the top.
class PaintedImage {
public:
    PaintedImage(int width, int height)
        : width_(width), height_(height), rgba_(std::size_t(width) * std::size_t(height) * 4, 255) {
    }
    PaintedImage& fill(int x, int y, int w, int h, std::uint8_t r = 0, std::uint8_t g = 0,
                       std::uint8_t b = 0) {
        for (int row = y; row < y + h; ++row) {
            for (int column = x; column < x + w; ++column) {
                auto* p = &rgba_[(std::size_t(row) * std::size_t(width_) + column) * 4];
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
        }
        return *this;
    }
    Image image() const { return Image(width_, height_, rgba_); }

private:
    int width_, height_;
    std::vector<std::uint8_t> rgba_;
};

bool isDark(std::uint32_t pixel) {
    return (pixel >> 24) < 128 && ((pixel >> 16) & 0xff) < 128 && ((pixel >> 8) & 0xff) < 128;
}
bool isYellowish(std::uint32_t pixel) {
    return (pixel >> 24) > 200 && ((pixel >> 16) & 0xff) > 180 && ((pixel >> 8) & 0xff) < 170;
}
template <class Predicate> int countPixels(const Image& image, Predicate predicate) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += predicate(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return n;
}

} // namespace

TEST(PaddedRegion, PadIsFivePercentOfTheShorterSideBetweenOneAndFivePoints) {
    // min side 200: 10 capped to 5; 60: 3; 15: 0.75 raised to 1; the bounds of 20 and 100
    // sit exactly on the limits.
    EXPECT_EQ(region::paddedRegion({100, 100, 300, 200}, kLetter), (Rect{95, 95, 310, 210}));
    EXPECT_EQ(region::paddedRegion({100, 100, 60, 80}, kLetter), (Rect{97, 97, 66, 86}));
    EXPECT_EQ(region::paddedRegion({100, 100, 15, 40}, kLetter), (Rect{99, 99, 17, 42}));
    EXPECT_EQ(region::paddedRegion({100, 100, 20, 300}, kLetter), (Rect{99, 99, 22, 302}));
    EXPECT_EQ(region::paddedRegion({100, 100, 100, 300}, kLetter), (Rect{95, 95, 110, 310}));
    // Bounds given from their top right corner are the same rectangle.
    EXPECT_EQ(region::paddedRegion({400, 300, -300, -200}, kLetter), (Rect{95, 95, 310, 210}));
}

TEST(PaddedRegion, NeverReachesPastTheMediaBox) {
    EXPECT_EQ(region::paddedRegion({0, 0, 50, 30}, kLetter), (Rect{0, 0, 51.5, 31.5}));
    EXPECT_EQ(region::paddedRegion({562, 742, 50, 50}, kLetter), (Rect{559.5, 739.5, 52.5, 52.5}));
    // Clipped before padding: the pad follows the part on the page.
    EXPECT_EQ(region::paddedRegion({-20, -20, 60, 60}, kLetter), (Rect{0, 0, 42, 42}));
    // A media box that does not start at the origin.
    EXPECT_EQ(region::paddedRegion({10, 10, 100, 100}, {50, 50, 500, 500}), (Rect{50, 50, 63, 63}));
    EXPECT_TRUE(region::paddedRegion({700, 100, 10, 10}, kLetter).isEmpty());
}

TEST(TrimContent, CutsToTheContentBoxAndItsMargin) {
    // Content columns 20…59 and rows 10…29: 39 × 19, margin 5 % of 39 raised to 2.
    Image small = region::trimContent(PaintedImage(100, 80).fill(20, 10, 40, 20).image());
    EXPECT_EQ(small.width(), 43);
    EXPECT_EQ(small.height(), 23);
    EXPECT_TRUE(isDark(small.pixel(2, 2)));
    EXPECT_FALSE(isDark(small.pixel(1, 1)));

    // 199 × 99 of content: a margin of 9.
    Image large = region::trimContent(PaintedImage(400, 300).fill(100, 50, 200, 100).image());
    EXPECT_EQ(large.width(), 217);
    EXPECT_EQ(large.height(), 117);
    EXPECT_TRUE(isDark(large.pixel(9, 9)));
    EXPECT_FALSE(isDark(large.pixel(8, 8)));

    // Content at the right edge: the crop stops at the image.
    Image edge = region::trimContent(PaintedImage(100, 50).fill(90, 10, 10, 30).image());
    EXPECT_EQ(edge.width(), 12);
    EXPECT_EQ(edge.height(), 33);
    EXPECT_TRUE(isDark(edge.pixel(11, 2)));
}

TEST(TrimContent, ContentIsDarkerThanTheThreshold) {
    // The mean of (255, 255, 150) is 220: paper. Of (255, 255, 147) it is 219: ink.
    Image light = PaintedImage(40, 40).fill(10, 10, 2, 2, 255, 255, 150).image();
    EXPECT_EQ(region::trimContent(light).identity(), light.identity());
    Image ink = region::trimContent(PaintedImage(40, 40).fill(10, 10, 2, 2, 255, 255, 147).image());
    EXPECT_EQ(ink.width(), 5); // 1 of content and 2 on each side
    EXPECT_EQ(ink.height(), 5);
    // A lower threshold turns the same ink into paper.
    Image inkAt200 = PaintedImage(40, 40).fill(10, 10, 2, 2, 255, 255, 147).image();
    EXPECT_EQ(region::trimContent(inkAt200, 200).identity(), inkAt200.identity());
}

TEST(TrimContent, ImagesWithoutAContentBoxComeBackUnchanged) {
    const Image white = PaintedImage(60, 40).image();
    const Image row = PaintedImage(60, 40).fill(5, 20, 50, 1).image();
    const Image column = PaintedImage(60, 40).fill(30, 5, 1, 30).image();
    const Image tiny = PaintedImage(4, 40).fill(1, 5, 2, 30).image();
    const Image flat = PaintedImage(40, 4).fill(5, 1, 30, 2).image();
    for (const Image* image : {&white, &row, &column, &tiny, &flat}) {
        EXPECT_EQ(region::trimContent(*image).identity(), image->identity());
    }
    EXPECT_TRUE(region::trimContent(Image()).isNull());
    // Pixel bytes that do not cover the image are not read.
    const Image shortData(20, 20, std::vector<std::uint8_t>(100, 0));
    EXPECT_EQ(region::trimContent(shortData).identity(), shortData.identity());
}

TEST(Rasterize, EightPixelsAPointOfPageContentOnly) {
    TempDir dir;
    FixtureDocument doc;
    doc.pages.resize(1);
    const TextRun run{"Quadratic", 72, 700, 24};
    doc.pages[0].runs = {run};
    FixtureAnnotation highlight;
    highlight.subtype = "Highlight";
    highlight.rect = textBounds(run);
    highlight.color = Color{1, 0.85, 0, 1};
    FixtureAnnotation square;
    square.subtype = "Square";
    square.rect = Rect{200, 690, 30, 30};
    square.color = Color{1, 0.9, 0, 1};
    square.interiorColor = Color{1, 0.9, 0, 1};
    doc.pages[0].annotations = {highlight, square};
    auto document = pdfkit::Document::open(writePdf(doc, dir / "marked.pdf"));
    ASSERT_TRUE(document);
    auto page = document->page(0);
    const auto before = page->annotations();

    const Rect region{70.3, 690, 160.6, 37.5};
    auto image = region::rasterize(*page, region);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 1284); // 160.6 × 8 = 1284.8, whole pixels only
    EXPECT_EQ(image->height(), 300);
    EXPECT_GT(countPixels(*image, isDark), 1000);
    EXPECT_EQ(countPixels(*image, isYellowish), 0);
    // The same region with its markup drawn does show it, so the fixture draws at all.
    EXPECT_GT(countPixels(page->drawRegion(region, 8, true), isYellowish), 1000);
    EXPECT_EQ(page->annotations(), before);

    // The far corner of the page is white paper.
    auto blank = region::rasterize(*page, Rect{500, 10, 10, 10});
    ASSERT_TRUE(blank);
    EXPECT_EQ(countPixels(*blank, [](std::uint32_t p) { return p != 0xffffffffu; }), 0);

    EXPECT_FALSE(region::rasterize(*page, Rect{100, 100, 0, 10}));
    EXPECT_FALSE(
        region::rasterize(*page, region::paddedRegion({900, 900, 5, 5}, page->mediaBox())));
}

TEST(FormulaImage, PaddedRasterTrimmedToItsInk) {
    TempDir dir;
    FixtureDocument doc;
    doc.pages.resize(1);
    const TextRun run{"E = mc", 250, 400, 20};
    doc.pages[0].runs = {run};
    auto document = pdfkit::Document::open(writePdf(doc, dir / "formula.pdf"));
    ASSERT_TRUE(document);
    auto page = document->page(0);

    // A generous highlight around the formula: the image keeps the ink and a thin margin.
    const Rect bounds{150, 350, 300, 120};
    auto image = region::formulaImage(*page, bounds);
    ASSERT_TRUE(image);
    const Rect text = textBounds(run);
    EXPECT_LT(image->width(), int(text.width * 8 * 1.2));
    EXPECT_LT(image->height(), int(text.height * 8 * 1.3));
    EXPECT_GT(image->width(), int(text.width * 8 * 0.8));
    EXPECT_GT(countPixels(*image, isDark), 500);
    for (int x = 0; x < image->width(); ++x) {
        EXPECT_FALSE(isDark(image->pixel(x, 0))) << x;
    }

    EXPECT_FALSE(region::formulaImage(*page, Rect{700, 100, 20, 20}));
}
