#include "PdfkitTestSupport.h"
#include "pdfkit/CancelToken.h"
#include "pdfkit/PageRenderer.h"
#include "pdfkit/ResourceLimits.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace ombrix::pdfkit::test {
namespace {

void expectNear(Point a, Point b, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, 1e-3) << what;
    EXPECT_NEAR(a.y, b.y, 1e-3) << what;
}

// Letter pages at each rotation, the last four with a crop box away from the origin.
fx::FixtureDocument croppedAndRotated() {
    fx::FixtureDocument document = fx::rotatedDocument();
    for (int rotation : {0, 90, 180, 270}) {
        fx::FixturePage page;
        page.rotation = rotation;
        page.cropBox = Rect{50, 100, 400, 500};
        page.runs = {{"Cropped " + std::to_string(rotation), 72, 560, 24}};
        document.pages.push_back(page);
    }
    return document;
}

TEST(DisplayGeometry, PageAndDisplaySpaceRoundTripAtEveryRotationAndCrop) {
    fx::TempDir dir;
    auto doc = openFixture(dir, croppedAndRotated(), "shown.pdf");
    ASSERT_EQ(doc->pageCount(), 8);
    const auto sizes = doc->displaySizes();
    ASSERT_EQ(sizes.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        auto page = doc->page(i);
        const int rotation = page->rotation();
        const bool cropped = i >= 4;
        const Rect crop = cropped ? Rect{50, 100, 400, 500} : Rect{0, 0, 612, 792};
        const std::string what = "page " + std::to_string(i);
        EXPECT_EQ(page->cropBox(), crop) << what;
        EXPECT_EQ(page->mediaBox(), (Rect{0, 0, 612, 792})) << what;
        const bool sideways = rotation % 180 != 0;
        const Size expected{sideways ? crop.height : crop.width,
                            sideways ? crop.width : crop.height};
        EXPECT_NEAR(page->displaySize().width, expected.width, 1e-3) << what;
        EXPECT_NEAR(page->displaySize().height, expected.height, 1e-3) << what;
        EXPECT_NEAR(sizes[i].width, expected.width, 1e-3) << what;
        EXPECT_NEAR(sizes[i].height, expected.height, 1e-3) << what;

        // The crop box's corners land on the shown page's corners: its upper left (as
        // written) at the rotation's corner.
        const Point upperLeft{crop.minX(), crop.maxY()};
        const Point shownAt[] = {
            {0, 0}, {expected.width, 0}, {expected.width, expected.height}, {0, expected.height}};
        expectNear(page->pageToDisplay(upperLeft), shownAt[rotation / 90], what);
        for (Point p : {Point{60, 110}, Point{300, 400}, Point{449.5, 599}}) {
            expectNear(page->displayToPage(page->pageToDisplay(p)), p, what);
        }
        const Rect r{120, 200, 30, 10};
        const Rect shown = page->pageToDisplay(r);
        EXPECT_NEAR(shown.width, sideways ? 10 : 30, 1e-3) << what;
        const Rect back = page->displayToPage(shown);
        EXPECT_NEAR(back.x, r.x, 1e-3) << what;
        EXPECT_NEAR(back.y, r.y, 1e-3) << what;
        EXPECT_NEAR(back.width, r.width, 1e-3) << what;
        EXPECT_NEAR(back.height, r.height, 1e-3) << what;
    }
}

bool samePixels(const Image& a, int ax, int ay, const Image& b, int bx, int by, int w, int h) {
    int differ = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgba p = pixelAt(a, ax + x, ay + y), q = pixelAt(b, bx + x, by + y);
            if (std::abs(p.r - q.r) > 8 || std::abs(p.g - q.g) > 8 || std::abs(p.b - q.b) > 8) {
                ++differ;
            }
        }
    }
    return differ <= w * h / 200; // glyph edges may round differently
}

bool hasInk(const Image& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (pixelAt(image, x, y).r < 128) {
                return true;
            }
        }
    }
    return false;
}

TEST(RenderTile, GivesTheExactSizeAndMatchesTheWholePage) {
    fx::TempDir dir;
    auto doc = openFixture(dir, croppedAndRotated(), "shown.pdf");
    for (int i : {0, 1, 6, 7}) {
        auto page = doc->page(i);
        const Size size = page->displaySize();
        const double scale = 0.5;
        const int w = int(size.width * scale), h = int(size.height * scale);
        Image whole =
            doc->renderer().renderTile(i, Rect{0, 0, size.width, size.height}, scale, w, h, true);
        ASSERT_EQ(whole.width(), w);
        ASSERT_EQ(whole.height(), h);
        EXPECT_TRUE(hasInk(whole)) << i;
        // A tile at a whole-pixel offset matches that part of the whole page.
        const Rect tileRect{40 / scale, 60 / scale, 64 / scale, 48 / scale};
        Image tile = doc->renderer().renderTile(i, tileRect, scale, 64, 48, true);
        ASSERT_EQ(tile.width(), 64);
        ASSERT_EQ(tile.height(), 48);
        EXPECT_TRUE(samePixels(tile, 0, 0, whole, 40, 60, 64, 48)) << "page " << i;
    }
    // Past the page's edge the tile is white, whatever lies beyond the crop box.
    Image beyond = doc->renderer().renderTile(4, Rect{-100, -100, 90, 90}, 1, 90, 90, true);
    ASSERT_FALSE(beyond.isNull());
    EXPECT_FALSE(hasInk(beyond));
    EXPECT_TRUE(doc->renderer().renderTile(8, Rect{0, 0, 10, 10}, 1, 10, 10, true).isNull());
    EXPECT_TRUE(doc->renderer().renderTile(0, Rect{0, 0, 10, 10}, 1, 0, 10, true).isNull());
}

TEST(RenderTile, ARotatedPageIsDrawnAsShown) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::rotatedDocument(), "rotated.pdf");
    // Page 2 turns by 90 degrees clockwise: its heading, written along the top, runs down
    // the right-hand side of the landscape image.
    Image image = doc->renderer().renderTile(1, Rect{0, 0, 792, 612}, 0.25, 198, 153, true);
    ASSERT_EQ(image.width(), 198);
    auto inkIn = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (pixelAt(image, x, y).r < 128) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(inkIn(198 - 20, 0, 198, 60));
    EXPECT_FALSE(inkIn(0, 0, 198 - 40, 153));
}

// A file of one page with the page dictionary's `entries` and the `content` stream.
std::string onePagePdf(const std::string& entries, const std::string& content) {
    return handMadePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R " + entries + " /Contents 4 0 R >>", stream("", content)});
}

TEST(CancelToken, ACancelledRenderReturnsNothing) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(2), "text.pdf");
    CancelToken before;
    before.cancel();
    EXPECT_TRUE(before.isCancelled());
    auto& renderer = doc->renderer();
    EXPECT_TRUE(renderer.renderTile(0, Rect{0, 0, 612, 792}, 1, 612, 792, true, &before).isNull());
    EXPECT_TRUE(renderer.render(0, 612, 792, 1, true, &before).isNull());
    EXPECT_TRUE(renderer.renderRegion(0, Rect{0, 0, 100, 100}, 1, true, &before).isNull());
    EXPECT_EQ(doc->textLayout(1, &before), nullptr);

    CancelToken untouched;
    EXPECT_FALSE(untouched.isCancelled());
    EXPECT_FALSE(
        renderer.renderTile(0, Rect{0, 0, 612, 792}, 1, 612, 792, true, &untouched).isNull());

    // Cancelled from another thread while it runs: a page of 100,000 small squares takes
    // far longer to draw than the moment before the cancel.
    std::string content;
    for (int i = 0; i < 100000; ++i) {
        content +=
            std::to_string(i % 200 * 3) + " " + std::to_string(i / 200 % 260 * 3) + " 2 2 re f\n";
    }
    writeBytes(dir / "busy.pdf", onePagePdf("/MediaBox [0 0 612 792]", content));
    auto busy = Document::open(dir / "busy.pdf");
    ASSERT_NE(busy, nullptr);
    CancelToken token;
    Image image;
    std::thread worker([&] {
        image = busy->renderer().renderTile(0, Rect{0, 0, 612, 792}, 4, 2448, 3168, true, &token);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    token.cancel();
    worker.join();
    EXPECT_TRUE(image.isNull());
    // A fresh token renders the same page whole.
    CancelToken fresh;
    EXPECT_FALSE(
        busy->renderer().renderTile(0, Rect{0, 0, 612, 792}, 0.1, 61, 79, true, &fresh).isNull());
}

TEST(CancelToken, ACancelledSearchFindsNothingAndLeavesNoPartialText) {
    fx::TempDir dir;
    auto doc = openFixture(dir, fx::textDocument(3), "text.pdf");
    CancelToken before;
    before.cancel();
    EXPECT_TRUE(doc->find("the", true, &before).empty());
    CancelToken fresh;
    EXPECT_EQ(doc->find("the", true, &fresh).size(), doc->find("the", true).size());
    EXPECT_FALSE(doc->find("the", true).empty());

    // One tall page of 40,000 glyphs, stopped from another thread while its text is read:
    // once the engine has begun to allocate for it.
    std::string content = "BT /F1 8 Tf 1 0 0 1 10 20000 Tm\n";
    for (int i = 0; i < 400; ++i) {
        content += "0 -10 Td (" + std::string(100, 'x') + " needle) Tj\n";
    }
    content += "ET\n";
    writeBytes(dir / "long.pdf",
               onePagePdf("/MediaBox [0 0 612 20010] /Resources << /Font << /F1 << /Type /Font "
                          "/Subtype /Type1 /BaseFont /Courier >> >> >>",
                          content));
    auto busy = Document::open(dir / "long.pdf");
    ASSERT_NE(busy, nullptr);
    CancelToken token;
    std::vector<Selection> found{Selection{}};
    const std::size_t idle = memoryInUse();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        found = busy->find("needle", false, &token);
        done = true;
    });
    while (!done && memoryInUse() < idle + (256u << 10)) {
        std::this_thread::yield();
    }
    token.cancel();
    worker.join();
    EXPECT_TRUE(found.empty());
    // The stopped page was not kept half read.
    EXPECT_EQ(busy->find("needle", false).size(), 400u);
}

} // namespace
} // namespace ombrix::pdfkit::test
