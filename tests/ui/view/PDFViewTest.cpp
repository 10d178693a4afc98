#include "ui/view/PDFView.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace ombrix;
using pdfkit::DisplayDirection;
using pdfkit::DisplayMode;

namespace {

const DisplayMode kModes[] = {DisplayMode::singlePage, DisplayMode::singlePageContinuous,
                              DisplayMode::twoUp, DisplayMode::twoUpContinuous};

std::unique_ptr<ui::PDFView> makeView(std::shared_ptr<pdfkit::Document> document,
                                      QSize size = QSize(600, 400)) {
    auto view = std::make_unique<ui::PDFView>();
    view->resize(size);
    view->show();
    view->setDocument(std::move(document));
    return view;
}

bool near(double a, double b, double tolerance = 0.01) {
    return std::abs(a - b) <= tolerance;
}

} // namespace

class PDFViewTest : public QObject {
    Q_OBJECT
    testing::TempDir dir_;
    std::shared_ptr<pdfkit::Document> text_;    // 12 US Letter pages of text
    std::shared_ptr<pdfkit::Document> rotated_; // pages turned 0, 90, 180, 270
    std::shared_ptr<pdfkit::Document> mixed_;   // a landscape page between portrait ones

private slots:
    void initTestCase() {
        text_ =
            pdfkit::Document::open(testing::writePdf(testing::textDocument(12), dir_ / "t.pdf"));
        rotated_ =
            pdfkit::Document::open(testing::writePdf(testing::rotatedDocument(), dir_ / "r.pdf"));
        testing::FixtureDocument mixed = testing::textDocument(3);
        mixed.pages[1].width = 792;
        mixed.pages[1].height = 612;
        mixed_ = pdfkit::Document::open(testing::writePdf(mixed, dir_ / "m.pdf"));
        QVERIFY(text_ && rotated_ && mixed_);
    }

    void layoutPlacesSpreadsInEveryModeAndDirection() {
        auto view = makeView(mixed_);
        view->setScaleFactor(0.5);
        const auto& l = [&]() -> const ui::PageLayout& { return view->pageLayout(); };
        // One column, centred, the landscape page wider than the others.
        QCOMPARE(l().spreadCount(), 3);
        QCOMPARE(l().pageRect(0).width, ui::LayoutUnit(306 * 64));
        QCOMPARE(l().pageRect(1).width, ui::LayoutUnit(396 * 64));
        QVERIFY(l().pageRect(0).x > l().pageRect(1).x);
        QCOMPARE(l().pageRect(1).y, l().pageRect(0).bottom() + 8 * 64);
        // Two-up: pages 0 and 1 side by side, page 2 alone below them.
        view->setDisplayMode(DisplayMode::twoUpContinuous);
        QCOMPARE(l().spreadCount(), 2);
        QCOMPARE(l().pageRect(1).x, l().pageRect(0).right() + 8 * 64);
        QVERIFY(l().pageRect(2).y >= l().pageRect(1).bottom());
        // Horizontal: left to right, centred vertically.
        view->setDisplayDirection(DisplayDirection::horizontal);
        QCOMPARE(l().spreadRect(1).x, l().spreadRect(0).right() + 8 * 64);
        // Without page breaks pages touch.
        view->setDisplaysPageBreaks(false);
        QCOMPARE(l().pageRect(0).x, ui::LayoutUnit(0));
        QCOMPARE(l().pageRect(1).x, l().pageRect(0).right());
        QCOMPARE(l().pageRect(2).x, l().pageRect(1).right());
        // Whatever the scale, pages start on whole pixels.
        view->setScaleFactor(0.377);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(l().pageRect(i).x % 64, ui::LayoutUnit(0));
            QCOMPARE(l().pageRect(i).y % 64, ui::LayoutUnit(0));
        }
    }

    void conversionsRoundTripInEveryModeAndRotation() {
        auto view = makeView(rotated_, QSize(700, 500));
        view->setScaleFactor(0.75);
        for (DisplayMode mode : kModes) {
            view->setDisplayMode(mode);
            for (int i = 0; i < 4; ++i) {
                view->goToPageIndex(i);
                const auto page = rotated_->page(i);
                for (Point p : {Point{0, 0}, Point{612, 792}, Point{100.25, 700.5}}) {
                    const Point v = view->convertPointFromPage(p, *page);
                    const Point back = view->convertPointToPage(v, *page);
                    QVERIFY2(near(back.x, p.x, 1e-6) && near(back.y, p.y, 1e-6),
                             qPrintable(QString("mode %1 page %2").arg(int(mode)).arg(i)));
                }
                const Rect r{50, 60, 200, 100};
                const Rect back =
                    view->convertRectToPage(view->convertRectFromPage(r, *page), *page);
                QVERIFY(near(back.x, r.x, 1e-6) && near(back.width, r.width, 1e-6) &&
                        near(back.y, r.y, 1e-6) && near(back.height, r.height, 1e-6));
            }
        }
    }

    void theShownTopLeftCornerFollowsThePageRotation() {
        auto view = makeView(rotated_, QSize(700, 500));
        view->setScaleFactor(0.5);
        // The page-space corner a clockwise /Rotate brings to the top left of the page.
        const Point corners[] = {{0, 792}, {0, 0}, {612, 0}, {612, 792}};
        for (int i = 0; i < 4; ++i) {
            view->goToPageIndex(i);
            const auto page = rotated_->page(i);
            const QRectF rect = view->pageRectInWidget(i);
            const QPointF w = view->viewToWidget(view->convertPointFromPage(corners[i], *page));
            QVERIFY2(near(w.x(), rect.left(), 0.5) && near(w.y(), rect.top(), 0.5),
                     qPrintable(QString("rotation %1").arg(i * 90)));
            const bool turned = i % 2 == 1;
            QVERIFY(near(rect.width(), (turned ? 792 : 612) * 0.5, 0.5));
        }
    }

    void goToPageMakesItCurrentAtTheTopInEveryMode() {
        auto view = makeView(text_);
        view->setScaleFactor(0.4);
        for (DisplayMode mode : kModes) {
            view->setDisplayMode(mode);
            for (int i : {5, 0, 11, 3}) {
                view->goToPageIndex(i);
                const bool twoUp =
                    mode == DisplayMode::twoUp || mode == DisplayMode::twoUpContinuous;
                QCOMPARE(view->currentPageIndex(), twoUp ? i / 2 * 2 : i);
                QCOMPARE(view->currentPage(), text_->page(view->currentPageIndex()));
                if (mode == DisplayMode::singlePageContinuous) {
                    QVERIFY(near(view->pageRectInWidget(i).top(), 0, 0.5));
                }
            }
        }
    }

    void changingTheLayoutKeepsThePlaceAndRefits() {
        auto view = makeView(text_);
        view->setAutoScales(true);
        const auto page = text_->page(4); // a left page in two-up
        view->goToDestination(page, Point{100, 500});
        QSignalSpy scales(view.get(), &ui::PDFView::scaleChanged);
        const double single = view->scaleFactor();
        for (DisplayMode mode : {DisplayMode::twoUpContinuous, DisplayMode::singlePage}) {
            view->setDisplayMode(mode);
            // Fitted, nothing scrolls sideways: the point comes back to the top.
            const QPointF place = view->viewToWidget(view->convertPointFromPage({100, 500}, *page));
            QVERIFY2(near(place.y(), 0, 1), qPrintable(QString::number(place.y())));
            QCOMPARE(view->pageForPoint(view->widgetToView(place + QPointF(0, 1)), false), page);
        }
        // Two pages side by side fit at about half the scale of one.
        QCOMPARE(scales.count(), 2);
        QVERIFY(near(scales.at(0).at(0).toDouble(), single / 2, 0.03));
        QVERIFY(near(view->scaleFactor(), single, 1e-9));
    }

    void theCurrentPageFollowsScrollingAndIsAnnounced() {
        auto view = makeView(text_);
        view->setScaleFactor(0.5); // pages 396 px tall, 8 px apart
        QSignalSpy spy(view.get(), &ui::PDFView::pageChanged);
        int observed = 0;
        auto token = view->onPageChanged([&] { ++observed; });
        QScrollBar* bar = view->verticalScrollBar();
        bar->setValue(8 + 396 - 1); // page 0's last row at the top
        QCOMPARE(view->currentPageIndex(), 0);
        QCOMPARE(spy.count(), 0);
        bar->setValue(8 + 396 + 4); // in the gap above page 1
        QCOMPARE(view->currentPageIndex(), 1);
        bar->setValue(3 * 404 + 100);
        QCOMPARE(view->currentPageIndex(), 3);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 3);
        QCOMPARE(observed, 2);
        QCOMPARE(view->scrollOrigin().y, 3 * 404 + 100.0);
        view->scrollTo(Point{0, 0});
        QCOMPARE(view->currentPageIndex(), 0);
    }

    void pageForPointFindsThePageOrTheNearest() {
        auto view = makeView(text_);
        view->setScaleFactor(0.5);
        view->goToPageIndex(2);
        const QRectF r = view->pageRectInWidget(2);
        auto at = [&](QPointF w, bool nearest) {
            return view->pageForPoint(view->widgetToView(w), nearest);
        };
        QCOMPARE(at(r.center(), false), text_->page(2));
        QCOMPARE(view->pageIndexAt(r.center()).value_or(-1), 2);
        const QPointF gap(r.center().x(), r.bottom() + 3); // between pages 2 and 3
        QVERIFY(!at(gap, false));
        QVERIFY(!view->pageIndexAt(gap));
        QCOMPARE(at(gap, true), text_->page(2));
        QCOMPARE(at(QPointF(r.left() - 20, r.top() + 10), true), text_->page(2));
        // In the paged modes pages not shown are not found.
        view->setDisplayMode(DisplayMode::singlePage);
        QCOMPARE(at(QPointF(300, 390), true), text_->page(2));
    }

    void autoScaleFitsTheWidthAndFollowsResizes() {
        auto view = makeView(mixed_);
        QSignalSpy scales(view.get(), &ui::PDFView::scaleChanged);
        view->setAutoScales(true);
        const double width = view->viewport()->width();
        QVERIFY(near(view->pageRectInWidget(1).width(), width - 16, 1));
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
        view->resize(800, 400);
        QVERIFY(near(view->pageRectInWidget(1).width(), view->viewport()->width() - 16, 1));
        QVERIFY(scales.count() >= 2);
        view->setScaleFactor(1.0);
        QVERIFY(!view->autoScales());
    }

    void ctrlWheelZoomsAboutThePointer() {
        auto view = makeView(text_, QSize(600, 500));
        view->setScaleFactor(1.0);
        view->goToPageIndex(1);
        const QPointF pointer(420, 230);
        const auto page = text_->page(1);
        const Point before = view->convertPointToPage(view->widgetToView(pointer), *page);
        QWheelEvent in(pointer, view->viewport()->mapToGlobal(pointer), QPoint(), QPoint(0, 240),
                       Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &in);
        QVERIFY(near(view->scaleFactor(), 1.44, 1e-9));
        const QPointF after = view->viewToWidget(view->convertPointFromPage(before, *page));
        QVERIFY2(near(after.x(), pointer.x(), 1) && near(after.y(), pointer.y(), 1),
                 qPrintable(QString("%1,%2").arg(after.x()).arg(after.y())));
        // A plain wheel scrolls instead.
        const int y = view->verticalScrollBar()->value();
        QWheelEvent down(pointer, view->viewport()->mapToGlobal(pointer), QPoint(0, -30),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
        QApplication::sendEvent(view->viewport(), &down);
        QCOMPARE(view->verticalScrollBar()->value(), y + 30);
        QVERIFY(near(view->scaleFactor(), 1.44, 1e-9));
    }

    void keysScrollAndTurnPages() {
        auto view = makeView(text_);
        view->setScaleFactor(1.0);
        QScrollBar* bar = view->verticalScrollBar();
        QTest::keyClick(view.get(), Qt::Key_Down);
        QCOMPARE(bar->value(), 20);
        QTest::keyClick(view.get(), Qt::Key_PageDown);
        QVERIFY(bar->value() > 300);
        QTest::keyClick(view.get(), Qt::Key_End);
        QCOMPARE(view->currentPageIndex(), 11);
        QTest::keyClick(view.get(), Qt::Key_Home);
        QCOMPARE(bar->value(), 0);
        // One page at a time: Page Down at a page's end shows the next page's top.
        view->setDisplayMode(DisplayMode::singlePage);
        QCOMPARE(view->currentPageIndex(), 0);
        for (int i = 0; i < 4 && view->currentPageIndex() == 0; ++i) {
            QTest::keyClick(view.get(), Qt::Key_Space);
        }
        QCOMPARE(view->currentPageIndex(), 1);
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(view.get(), Qt::Key_Up);
        QCOMPARE(view->currentPageIndex(), 0);
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(PDFViewTest)
#include "PDFViewTest.moc"
