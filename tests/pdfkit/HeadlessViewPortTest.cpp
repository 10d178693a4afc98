#include "pdfkit/HeadlessViewPort.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>

namespace ombrix::pdfkit {
namespace {

namespace fx = ombrix::testing;
constexpr double kGap = HeadlessViewPort::kPageGap;

void expectPoint(Point got, Point want, const std::string& what) {
    EXPECT_NEAR(got.x, want.x, 1e-9) << what;
    EXPECT_NEAR(got.y, want.y, 1e-9) << what;
}

class HeadlessViewPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Pages of different sizes so that a wrong height somewhere shifts everything after it.
        fx::FixtureDocument fixture = fx::textDocument(4);
        fixture.pages[1].width = 300;
        fixture.pages[1].height = 400;
        fixture.pages[2].width = 595;
        fixture.pages[2].height = 842;
        document = Document::open(fx::writePdf(fixture, dir / "mixed.pdf"));
        ASSERT_NE(document, nullptr);
        view.setDocument(document);
        pageChanges = view.onPageChanged([this] { ++pageChangedCount; });
        selectionChanges = view.onSelectionChanged([this] { ++selectionChangedCount; });
    }

    std::shared_ptr<Page> page(int i) const { return document->page(i); }
    int currentIndex() const { return view.currentPage() ? view.currentPage()->index() : -1; }

    fx::TempDir dir;
    std::shared_ptr<Document> document;
    HeadlessViewPort view{Size{800, 600}};
    int pageChangedCount = 0;
    int selectionChangedCount = 0;
    Cancellable pageChanges;
    Cancellable selectionChanges;
};

TEST_F(HeadlessViewPortTest, StacksPagesInAColumnAtTheScale) {
    EXPECT_EQ(view.bounds(), (Rect{0, 0, 800, 600}));
    EXPECT_EQ(view.pageFrame(0), (Rect{kGap, kGap, 612, 792}));
    EXPECT_EQ(view.pageFrame(1), (Rect{kGap, 2 * kGap + 792, 300, 400}));
    EXPECT_EQ(view.pageFrame(2), (Rect{kGap, 3 * kGap + 1192, 595, 842}));
    EXPECT_EQ(view.contentSize(), (Size{612 + 2 * kGap, 792 + 400 + 842 + 792 + 5 * kGap}));
    EXPECT_EQ(view.pageFrame(4), Rect{});

    view.setScaleFactor(2);
    EXPECT_EQ(view.pageFrame(1), (Rect{kGap, 2 * kGap + 2 * 792, 600, 800}));
}

TEST_F(HeadlessViewPortTest, ViewSpaceIsYUpFromTheViewsLowerLeft) {
    // At the start the view shows the top of page 1 below a gap.
    expectPoint(view.convertPointFromPage({0, 792}, *page(0)), {kGap, 600 - kGap}, "top left");
    expectPoint(view.convertPointFromPage({612, 0}, *page(0)), {kGap + 612, 600 - kGap - 792},
                "bottom right");
    expectPoint(view.convertPointFromPage({0, 400}, *page(1)), {kGap, 600 - (2 * kGap + 792)},
                "page 2 top left");

    const Rect r = view.convertRectFromPage({100, 700, 50, 20}, *page(0));
    EXPECT_NEAR(r.x, kGap + 100, 1e-9);
    EXPECT_NEAR(r.y, 600 - kGap - (792 - 700), 1e-9);
    EXPECT_NEAR(r.width, 50, 1e-9);
    EXPECT_NEAR(r.height, 20, 1e-9);
}

TEST_F(HeadlessViewPortTest, ConversionsRoundTripAtAnyScaleAndScroll) {
    const double scales[] = {0.5, 1, 1.75};
    const Point origins[] = {{0, 0}, {0, 900}, {150, 2345.5}};
    const Point points[] = {{0, 0}, {72.25, 700}, {299, 1}, {-20, 900}};
    for (double scale : scales) {
        view.setScaleFactor(scale);
        for (Point origin : origins) {
            view.scrollTo(origin);
            for (int i = 0; i < 4; ++i) {
                for (Point p : points) {
                    const std::string what = "scale " + std::to_string(scale) + " page " +
                                             std::to_string(i) + " y " + std::to_string(origin.y);
                    const Point inView = view.convertPointFromPage(p, *page(i));
                    const Point back = view.convertPointToPage(inView, *page(i));
                    EXPECT_NEAR(back.x, p.x, 1e-6) << what;
                    EXPECT_NEAR(back.y, p.y, 1e-6) << what;

                    const Rect rect{p.x, p.y, 40, 12};
                    const Rect again =
                        view.convertRectToPage(view.convertRectFromPage(rect, *page(i)), *page(i));
                    EXPECT_NEAR(again.x, rect.x, 1e-6) << what;
                    EXPECT_NEAR(again.y, rect.y, 1e-6) << what;
                    EXPECT_NEAR(again.width, rect.width, 1e-6) << what;
                    EXPECT_NEAR(again.height, rect.height, 1e-6) << what;
                    EXPECT_NEAR(view.convertRectFromPage(rect, *page(i)).width, 40 * scale, 1e-6)
                        << what;
                }
            }
        }
    }
}

TEST_F(HeadlessViewPortTest, GoToPageBringsThePageToTheTopAndReportsTheChangeOnce) {
    ASSERT_EQ(currentIndex(), 0);
    for (int i : {2, 1, 3}) {
        const int before = pageChangedCount;
        view.goToPage(page(i));
        EXPECT_EQ(currentIndex(), i);
        EXPECT_EQ(view.scrollOrigin().y, view.pageFrame(i).y);
        const Rect box = page(i)->mediaBox();
        EXPECT_NEAR(view.convertPointFromPage({0, box.maxY()}, *page(i)).y, view.bounds().maxY(),
                    1e-9);
        EXPECT_EQ(pageChangedCount, before + 1) << "page " << i;
    }
    // The last page reached the top although it cannot fill the view below it.
    view.goToPage(page(3));
    EXPECT_EQ(pageChangedCount, 3);

    fx::TempDir other;
    auto stranger = Document::open(fx::writePdf(fx::textDocument(1), other / "other.pdf"));
    view.goToPage(stranger->page(0));
    view.goToPage(nullptr);
    EXPECT_EQ(currentIndex(), 3);
    EXPECT_EQ(pageChangedCount, 3);
}

TEST_F(HeadlessViewPortTest, ScrollingDecidesTheCurrentPageAndStaysInRange) {
    const double secondTop = view.pageFrame(1).y;
    view.scrollTo({0, secondTop - kGap - 1}); // the last point row of page 1
    EXPECT_EQ(currentIndex(), 0);
    EXPECT_EQ(pageChangedCount, 0);
    view.scrollTo({0, secondTop - 1}); // in the gap above page 2
    EXPECT_EQ(currentIndex(), 1);
    EXPECT_EQ(pageChangedCount, 1);
    view.scrollTo({0, secondTop + 10});
    EXPECT_EQ(pageChangedCount, 1);

    view.scrollTo({-50, -50});
    expectPoint(view.scrollOrigin(), {0, 0}, "clamped low");
    EXPECT_EQ(currentIndex(), 0);
    view.scrollTo({1e9, 1e9});
    // The page column is narrower than the view, so no sideways scrolling; the bottom
    // of the content reaches the bottom of the view.
    expectPoint(view.scrollOrigin(), {0, view.contentSize().height - 600}, "clamped high");
    EXPECT_EQ(currentIndex(), 3);
    view.scrollTo({NAN, NAN});
    expectPoint(view.scrollOrigin(), {0, 0}, "not a number");
}

TEST_F(HeadlessViewPortTest, GoToDestinationPutsThePointAtTheTopLeft) {
    view.setScaleFactor(2); // wide enough to scroll sideways
    view.goToDestination(page(2), {100, 300});
    EXPECT_EQ(currentIndex(), 2);
    EXPECT_EQ(pageChangedCount, 1);
    expectPoint(view.convertPointFromPage({100, 300}, *page(2)), {0, 600}, "destination");
    expectPoint(view.convertPointToPage({0, 600}, *page(2)), {100, 300}, "back");
}

TEST_F(HeadlessViewPortTest, PageForPointFindsThePageUnderOrNearest) {
    const Point onSecond = view.convertPointFromPage({150, 200}, *page(1));
    EXPECT_EQ(view.pageForPoint(onSecond, false), page(1));

    const Point inGap{kGap + 10, 600 - (792 + kGap + kGap / 2)};
    EXPECT_EQ(view.pageForPoint(inGap, false), nullptr);
    EXPECT_NE(view.pageForPoint(inGap, true), nullptr);

    // Beside the narrow second page, closer to it than to the pages above and below.
    const Point besideSecond = view.convertPointFromPage({500, 200}, *page(1));
    EXPECT_EQ(view.pageForPoint(besideSecond, false), nullptr);
    EXPECT_EQ(view.pageForPoint(besideSecond, true), page(1));

    HeadlessViewPort empty;
    EXPECT_EQ(empty.pageForPoint({10, 10}, true), nullptr);
    EXPECT_EQ(empty.currentPage(), nullptr);
}

TEST_F(HeadlessViewPortTest, RescalingKeepsTheTopLeftPointInPlace) {
    view.setScaleFactor(2); // wide enough to scroll sideways
    view.goToDestination(page(1), {20, 350});
    view.setScaleFactor(1.5);
    EXPECT_FALSE(view.autoScales());
    EXPECT_EQ(view.scaleFactor(), 1.5);
    expectPoint(view.convertPointToPage({0, 600}, *page(1)), {20, 350}, "anchor");
    EXPECT_EQ(currentIndex(), 1);

    // Fitting the width leaves no room to scroll sideways; the height stays anchored.
    view.setAutoScales(true);
    EXPECT_TRUE(view.autoScales());
    EXPECT_NEAR(view.scaleFactor(), (800 - 2 * kGap) / 612, 1e-12);
    EXPECT_NEAR(view.contentSize().width, 800, 1e-9);
    EXPECT_NEAR(view.convertPointToPage({0, 600}, *page(1)).y, 350, 1e-9);
    EXPECT_EQ(currentIndex(), 1);

    // A wider view refits while auto-scaling is on.
    view.setBounds({0, 0, 1000, 600});
    EXPECT_NEAR(view.scaleFactor(), (1000 - 2 * kGap) / 612, 1e-12);

    view.setScaleFactor(1.5);
    view.setScaleFactor(0);
    view.setScaleFactor(-1);
    view.setScaleFactor(INFINITY);
    EXPECT_EQ(view.scaleFactor(), 1.5);
}

TEST_F(HeadlessViewPortTest, SelectionAndRedrawRequestsAreRecorded) {
    auto selection = page(0)->selection(Rect{0, 0, 612, 792});
    ASSERT_TRUE(selection.has_value());
    view.setCurrentSelection(selection, true);
    ASSERT_TRUE(view.currentSelection().has_value());
    EXPECT_EQ(view.currentSelection()->string(), selection->string());
    EXPECT_EQ(selectionChangedCount, 1);
    view.clearSelection();
    EXPECT_FALSE(view.currentSelection().has_value());
    EXPECT_EQ(selectionChangedCount, 2);

    EXPECT_EQ(view.displayRequests(), 0u);
    view.setNeedsDisplay();
    view.setNeedsDisplay();
    EXPECT_EQ(view.displayRequests(), 2u);

    // A new document starts at its first page with nothing selected.
    view.setCurrentSelection(selection);
    view.goToPage(page(2));
    fx::TempDir other;
    auto next = Document::open(fx::writePdf(fx::textDocument(2), other / "next.pdf"));
    const int changesBefore = pageChangedCount;
    view.setDocument(next);
    EXPECT_EQ(view.document(), next);
    EXPECT_EQ(view.currentPage(), next->page(0));
    expectPoint(view.scrollOrigin(), {0, 0}, "origin");
    EXPECT_FALSE(view.currentSelection().has_value());
    EXPECT_EQ(pageChangedCount, changesBefore + 1);

    view.setBounds({0, 0, 400, 300});
    EXPECT_EQ(view.bounds(), (Rect{0, 0, 400, 300}));
}

} // namespace
} // namespace ombrix::pdfkit
