// What the page view shows, grabbed as a user would see it. With OMBRIX_SCREENSHOT_DIR set
// the grabs are written there as PNG (scripts/view-screenshots runs this at device pixel
// ratios 1 and 2).
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/PDFView.h"

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
