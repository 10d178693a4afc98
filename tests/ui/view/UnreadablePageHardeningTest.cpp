// The page view on a page whose content cannot all be read: a notice across the page's top,
// and none on the pages that read in full. With OMBRIX_SCREENSHOT_DIR set the grab is
// written there as PNG.
#include "pdfkit/Document.h"
#include "support/DamagedPage.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/PDFView.h"

#include <QDir>
#include <QtTest>

using namespace ombrix;

namespace {

// Whether the pixel is the notice's amber (not the page's white, nor the background).
bool amber(const QImage& image, QPointF at) {
    const QColor c(image.pixel((at * image.devicePixelRatio()).toPoint()));
    return c.red() > 240 && c.green() > 220 && c.green() < 250 && c.blue() < 200;
}

} // namespace

class UnreadablePageHardeningTest : public QObject {
    Q_OBJECT
    testing::TempDir dir_;

private slots:
    void aPageThatCannotBeReadShowsANotice() {
        auto document =
            pdfkit::Document::open(testing::writeDeeplyNestedPage(dir_ / "nested.pdf", 3, 0));
        QVERIFY(document);
        ui::PDFView view;
        view.resize(700, 1700);
        view.show();
        view.setDocument(document);
        view.setScaleFactor(1.0);
        view.viewport()->repaint(); // asks for the shown pages' images and text
        QVERIFY(uitest::waitUntil(
            [&] {
                return view.renderScheduler().idle() && view.pageTextCache().isCached(0) &&
                       view.pageTextCache().isCached(1);
            },
            10000));
        QTest::qWait(350); // the sharp images come once the zoom has settled
        QVERIFY(uitest::waitUntil([&] { return view.renderScheduler().idle(); }, 10000));
        view.viewport()->repaint();
        const QImage shot = view.viewport()->grab().toImage();
        if (const QString out = qEnvironmentVariable("OMBRIX_SCREENSHOT_DIR"); !out.isEmpty()) {
            QDir().mkpath(out);
            shot.save(out + "/unreadable-page.png");
        }
        const QRectF first = view.pageRectInWidget(0);
        const QRectF second = view.pageRectInWidget(1);
        QVERIFY(second.top() + 10 < view.viewport()->height());
        QVERIFY2(amber(shot, first.topLeft() + QPointF(4, 4)), "no notice on the damaged page");
        QVERIFY2(amber(shot, first.topRight() + QPointF(-4, 4)), "the notice spans the page");
        QVERIFY(!amber(shot, first.topLeft() + QPointF(4, 60)));
        QVERIFY2(!amber(shot, second.topLeft() + QPointF(4, 4)), "a sound page has a notice");
    }
};

QTEST_MAIN(UnreadablePageHardeningTest)
#include "UnreadablePageHardeningTest.moc"
