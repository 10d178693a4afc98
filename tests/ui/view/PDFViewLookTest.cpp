// What the page view shows, grabbed as a user would see it. With OMBRIX_SCREENSHOT_DIR set
// the grabs are written there as PNG (scripts/view-screenshots runs this at device pixel
// ratios 1 and 2).
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/PDFView.h"
#include "ui/view/TileGrid.h"

#include <QApplication>
#include <QDir>
#include <QtTest>
#include <memory>

using namespace ombrix;
using pdfkit::DisplayMode;

namespace {

// Waits for sharp images of what is on screen, then grabs the viewport.
QImage settledGrab(ui::PDFView& view) {
    view.viewport()->repaint();
    uitest::waitUntil([&] { return view.renderScheduler().idle(); }, 10000);
    QTest::qWait(350); // a zoom settles before its sharp images are asked for
    uitest::waitUntil([&] { return view.renderScheduler().idle(); }, 10000);
    view.viewport()->repaint();
    return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void save(const QImage& image, const QString& name) {
    const QString dir = qEnvironmentVariable("OMBRIX_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        return;
    }
    QDir().mkpath(dir);
    const qreal dpr = image.devicePixelRatio();
    image.save(dir + "/" + name + (dpr > 1 ? QString("@%1x").arg(dpr) : QString()) + ".png");
}

// Share of the pixels of `area` (logical pixels) that are dark, as glyphs are.
double inkIn(const QImage& image, QRectF area) {
    const QRect device =
        QRectF(area.topLeft() * image.devicePixelRatio(), area.size() * image.devicePixelRatio())
            .toAlignedRect()
            .intersected(image.rect());
    int dark = 0;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        for (int x = device.left(); x <= device.right(); ++x) {
            dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
        }
    }
    return device.isEmpty() ? 0 : double(dark) / (device.width() * device.height());
}

// Pixels of `area` (logical pixels) that show the view's bluish grey background: a page
// area left unpainted or painted from a misplaced image. (Text is neutral grey.)
int unpaintedIn(const QImage& image, QRectF area) {
    const qreal dpr = image.devicePixelRatio();
    // A pixel in from the edge, where the page's border is drawn.
    const QRect device = QRectF(area.topLeft() * dpr, area.size() * dpr)
                             .toAlignedRect()
                             .adjusted(2, 2, -2, -2)
                             .intersected(image.rect());
    int bad = 0;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        for (int x = device.left(); x <= device.right(); ++x) {
            const QColor c(image.pixel(x, y));
            bad += qAbs(c.red() - 82) < 3 && qAbs(c.green() - 86) < 3 && qAbs(c.blue() - 91) < 3
                       ? 1
                       : 0;
        }
    }
    return bad;
}

// Whether any pixel of `area` (fractions of the page rectangle) is ink.
bool inkAt(const QImage& image, const QRectF& page, double x0, double y0, double x1, double y1) {
    return inkIn(image, QRectF(page.left() + page.width() * x0, page.top() + page.height() * y0,
                               page.width() * (x1 - x0), page.height() * (y1 - y0))) > 0;
}

} // namespace

class PDFViewLookTest : public QObject {
    Q_OBJECT
    testing::TempDir dir_;
    std::shared_ptr<pdfkit::Document> document_;

private slots:
    void initTestCase() {
        document_ =
            pdfkit::Document::open(testing::writePdf(testing::textDocument(6), dir_ / "t.pdf"));
        QVERIFY(document_);
    }

    void aPageAtHundredPercentShowsItsTextOnWhite() {
        ui::PDFView view;
        view.resize(700, 520);
        view.show();
        view.setDocument(document_);
        view.setScaleFactor(1.0);
        const QImage shot = settledGrab(view);
        save(shot, "page-100");
        QCOMPARE(shot.devicePixelRatio(), view.devicePixelRatioF());
        const QRectF page = view.pageRectInWidget(0);
        // "Page 1" in 18 pt bold sits an inch in from the page's top left.
        QVERIFY(inkIn(shot, QRectF(page.left() + 72, page.top() + 40, 80, 20)) > 0.05);
        QCOMPARE(unpaintedIn(shot, page.intersected(QRectF(view.viewport()->rect()))), 0);
        // Margins are white, the gap beside the page is the background.
        QCOMPARE(inkIn(shot, QRectF(page.left() + 5, page.top() + 5, 40, 30)), 0.0);
        QCOMPARE(QColor(shot.pixel(QPoint(2, 200) * shot.devicePixelRatio())).lightness() < 200,
                 true);
    }

    void aSelectionTintsThePaperAndKeepsTheTextBlack() {
        ui::PDFView view;
        view.resize(700, 520);
        view.show();
        view.setDocument(document_);
        view.setScaleFactor(1.5);
        const auto page = document_->page(0);
        const auto line = page->selection(Rect{60, 675, 400, 20}); // the second sentence
        QVERIFY(line);
        view.setCurrentSelection(line);
        const QImage shot = settledGrab(view);
        save(shot, "selection");
        const Rect bounds = line->bounds(*page);
        const QRectF area(view.viewToWidget(view.convertPointFromPage(
                              Point{bounds.minX(), bounds.maxY()}, *page)),
                          view.viewToWidget(view.convertPointFromPage(
                              Point{bounds.maxX(), bounds.minY()}, *page)));
        int tinted = 0;
        int black = 0;
        const qreal dpr = shot.devicePixelRatio();
        for (int y = int(area.top() * dpr) + 1; y < int(area.bottom() * dpr) - 1; ++y) {
            for (int x = int(area.left() * dpr) + 1; x < int(area.right() * dpr) - 1; ++x) {
                const QColor c(shot.pixel(x, y));
                tinted += c.blue() > 200 && c.red() < 180 ? 1 : 0;
                black += c.lightness() < 40 ? 1 : 0;
            }
        }
        QVERIFY(tinted > 100);
        QVERIFY(black > 100);
    }

    void fourHundredPercentIsSharp() {
        ui::PDFView view;
        view.resize(700, 520);
        view.show();
        view.setDocument(document_);
        view.setScaleFactor(4.0);
        view.goToDestination(document_->page(0), Point{60, 770});
        const QImage shot = settledGrab(view);
        save(shot, "page-400");
        // Glyph stems at 400 % are many pixels wide: a sharp render has solid black in them.
        int black = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                black += qGray(shot.pixel(x, y)) < 30 ? 1 : 0;
            }
        }
        QVERIFY(black > 500);
        // Every tile in its place: no part of the page left grey, and the heading where it
        // is printed, an inch in from the page's left edge.
        const QRectF page = view.pageRectInWidget(0);
        QCOMPARE(unpaintedIn(shot, page.intersected(QRectF(view.viewport()->rect()))), 0);
        const QPointF heading =
            view.viewToWidget(view.convertPointFromPage(Point{72, 745}, *document_->page(0)));
        QVERIFY(inkIn(shot, QRectF(heading, QSizeF(60, 20))) > 0.1);
        QCOMPARE(inkIn(shot, QRectF(heading - QPointF(40, 0), QSizeF(30, 20))), 0.0);

        // Across the seam between two columns of tiles the text runs on unbroken.
        const double seam = ui::kTileSize / (4.0 * view.devicePixelRatioF()); // display points
        view.goToDestination(document_->page(0), Point{seam - 40, 710});
        const QImage across = settledGrab(view);
        save(across, "page-400-seam");
        const QRectF shown = view.pageRectInWidget(0).intersected(QRectF(view.viewport()->rect()));
        QCOMPARE(unpaintedIn(across, shown), 0);
        const double seamX = view.pageRectInWidget(0).left() + seam * 4.0;
        QVERIFY(seamX > 20 && seamX < 680);
        QVERIFY(inkIn(across, QRectF(seamX - 1, shown.top(), 2, shown.height())) > 0.01);
    }

    // Pages turned by /Rotate show as printed: landscape, the heading along the edge that
    // was the top. The page's top (y 740-758 of 792, from x 72) ends up on the right at 90
    // degrees and on the left at 270, reading down and up respectively.
    void rotatedPagesShowAsPrinted() {
        testing::TempDir dir;
        const auto rotated =
            pdfkit::Document::open(testing::writePdf(testing::rotatedDocument(), dir / "r.pdf"));
        QVERIFY(rotated);
        for (const auto& [index, name] : {std::pair{1, "rotated-90"}, {3, "rotated-270"}}) {
            ui::PDFView view;
            view.resize(900, 700);
            view.show();
            view.setDocument(rotated);
            view.setDisplayMode(DisplayMode::singlePage);
            view.setScaleFactor(1.0);
            view.goToPageIndex(index);
            const QImage shot = settledGrab(view);
            save(shot, name);
            const QRectF page = view.pageRectInWidget(index);
            QVERIFY2(page.width() > page.height(), name);
            QCOMPARE(unpaintedIn(shot, page), 0);
            const double band0 = 30.0 / 792, band1 = 60.0 / 792; // the heading's band
            if (index == 1) {
                QVERIFY2(inkAt(shot, page, 1 - band1, 0.05, 1 - band0, 0.25), name);
                QVERIFY2(!inkAt(shot, page, 0.02, 0.02, 0.8, 0.98), name);
            } else {
                QVERIFY2(inkAt(shot, page, band0, 0.75, band1, 0.95), name);
                QVERIFY2(!inkAt(shot, page, 0.2, 0.02, 0.98, 0.98), name);
            }
        }
    }

    void twoUpShowsPagesSideBySide() {
        ui::PDFView view;
        view.resize(900, 600);
        view.show();
        view.setDocument(document_);
        view.setDisplayMode(DisplayMode::twoUpContinuous);
        view.setAutoScales(true);
        const QImage shot = settledGrab(view);
        save(shot, "two-up");
        const QRectF left = view.pageRectInWidget(0);
        const QRectF right = view.pageRectInWidget(1);
        QVERIFY(right.left() > left.right());
        QVERIFY(qAbs(right.top() - left.top()) < 1);
        QVERIFY(inkIn(shot, QRectF(right.left() + right.width() * 0.1, right.top(),
                                   right.width() * 0.3, right.height() * 0.1)) > 0.01);
    }
};

QTEST_MAIN(PDFViewLookTest)
#include "PDFViewLookTest.moc"
