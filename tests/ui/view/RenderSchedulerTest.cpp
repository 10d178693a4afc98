#include "ui/view/RenderScheduler.h"

#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRenderer.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/RenderWorkers.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using namespace ombrix;
using ui::RenderScheduler;
using ui::VisiblePage;

namespace {

struct OpenDocument {
    std::shared_ptr<pdfkit::Document> document;
    std::vector<Size> sizes;
};

OpenDocument open(const testing::FixtureDocument& fixture, const std::filesystem::path& path) {
    testing::writePdf(fixture, path);
    OpenDocument d{pdfkit::Document::open(path), {}};
    for (int i = 0; i < d.document->pageCount(); ++i) {
        const Rect box = d.document->page(i)->mediaBox();
        d.sizes.push_back({box.width, box.height});
    }
    return d;
}

// The whole page on screen.
VisiblePage whole(int index, Size size) {
    return {index, QRectF(0, 0, size.width, size.height)};
}

QImage paint(RenderScheduler& scheduler, int index, Size size, double scale,
             QColor background = Qt::black) {
    QImage image(int(std::lround(size.width * scale)), int(std::lround(size.height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    scheduler.paintPage(painter, index, QRectF(0, 0, image.width(), image.height()));
    return image;
}

// Mean absolute difference per channel, 0..255.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGBA8888);
    const QImage y = b.convertToFormat(QImage::Format_RGBA8888);
    if (x.size() != y.size()) {
        return 255;
    }
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 4; ++i) {
            sum += std::abs(int(p[i]) - int(q[i]));
        }
    }
    return sum / (double(x.width()) * x.height() * 4);
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& match) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += match(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return n;
}

bool isBlack(QRgb p) {
    return qRed(p) < 16 && qGreen(p) < 16 && qBlue(p) < 16;
}
bool isWhite(QRgb p) {
    return qRed(p) > 250 && qGreen(p) > 250 && qBlue(p) > 250;
}

// A page heavy enough that rendering it at a large scale takes a while.
testing::FixtureDocument heavyDocument() {
    testing::FixtureDocument doc = testing::textDocument(3);
    for (int i = 0; i < 3000; ++i) {
        doc.pages[0].runs.push_back(
            {"Heavy page text for a slow render", 20.0 + (i % 7) * 70, 40.0 + (i % 701), 7});
    }
    return doc;
}

} // namespace

class RenderSchedulerTest : public QObject {
    Q_OBJECT
private slots:
    void scrollingStaysWithinTheCacheBoundAndKeepsVisibleImages() {
        testing::TempDir dir;
        auto d = open(testing::textDocument(200), dir / "long.pdf");
        RenderScheduler scheduler;
        scheduler.setSettleDelays(5, 5);
        scheduler.setDocument(d.document, d.sizes);
        scheduler.setCacheLimit(std::size_t(2) << 20);
        const QSize viewport(400, 300);
        for (int page = 0; page < 200; ++page) {
            // Two pages on screen, one more above and below for prefetch.
            std::vector<VisiblePage> visible{whole(page, d.sizes[page])};
            if (page + 1 < 200) {
                visible.push_back({page + 1, QRectF(0, 0, 612, 100)});
            }
            std::vector<int> prefetch{page + 2, page - 1};
            scheduler.setViewState(visible, prefetch, 0.5, 1.0, viewport);
            QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }));
            for (const ui::TileKey& key : scheduler.visibleKeys()) {
                QVERIFY2(scheduler.cache().contains(key), qPrintable(QString::number(page)));
            }
        }
        QCOMPARE(scheduler.effectiveCacheLimit(), std::size_t(2) << 20);
        QVERIFY(scheduler.peakCacheBytes() <= scheduler.effectiveCacheLimit());
        QVERIFY(scheduler.peakCacheBytes() > scheduler.effectiveCacheLimit() / 2);
        QVERIFY(scheduler.stats().rendered >= 200);

        // A page long gone from the cache still shows its thumbnail, not a white page.
        const QImage gone = paint(scheduler, 190, d.sizes[190], 0.5);
        QVERIFY(!scheduler.cache().contains([&] {
            ui::TileKey k = *scheduler.visibleKeys().begin();
            k.page = 190;
            return k;
        }()));
        QCOMPARE(countPixels(gone, isBlack) < gone.width() * gone.height() / 10, true);
        QVERIFY(countPixels(gone, [](QRgb p) { return !isWhite(p) && !isBlack(p); }) > 50);
    }

    void tilesAboveTwiceTheViewportPaintLikeAWholePageRender() {
        testing::TempDir dir;
        auto d = open(testing::textDocument(2), dir / "tiles.pdf");
        RenderScheduler scheduler;
        scheduler.setDocument(d.document, d.sizes);
        const double scale = 2.0; // 1224 x 1584 device pixels, more than twice 400 x 300
        scheduler.setViewState({whole(0, d.sizes[0])}, {}, scale, 1.0, QSize(400, 300));
        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }));
        int tiles = 0;
        for (const auto& [key, image] : scheduler.cache().entries()) {
            tiles += key.isWholePage() ? 0 : 1;
            QVERIFY(image.width() <= ui::kTileSize && image.height() <= ui::kTileSize);
        }
        QCOMPARE(tiles, 4);

        const QImage painted = paint(scheduler, 0, d.sizes[0], scale);
        const Image reference =
            d.document->renderer().render(0, painted.width(), painted.height(), scale);
        const QImage expected = ui::toQImage(reference, 1.0);
        QVERIFY(meanDifference(painted, expected) < 1.5);

        // A smaller zoom of the same page fits: one image.
        scheduler.setViewState({whole(0, d.sizes[0])}, {}, 0.5, 1.0, QSize(400, 300));
        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }));
        QVERIFY(std::any_of(scheduler.visibleKeys().begin(), scheduler.visibleKeys().end(),
                            [](const ui::TileKey& k) { return k.isWholePage(); }));
        QCOMPARE(scheduler.visibleKeys().size(), std::size_t(1));
    }

    void aRenderThatLeftTheViewIsCancelledAndItsResultDropped() {
        testing::TempDir dir;
        auto d = open(heavyDocument(), dir / "heavy.pdf");
        RenderScheduler scheduler(1);
        scheduler.setDocument(d.document, d.sizes);
        const QSize big(4000, 4000);
        scheduler.setViewState({whole(0, d.sizes[0])}, {}, 3.0, 1.0, big);
        QVERIFY(uitest::waitUntil([&] { return scheduler.runningRenders() == 1; }));
        scheduler.setViewState({whole(2, d.sizes[2])}, {}, 3.0, 1.0, big);
        QCOMPARE(scheduler.stats().cancelled, std::size_t(1));
        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }, 20000));
        QCOMPARE(scheduler.stats().dropped, std::size_t(1));
        // The render stopped part way and handed back no image, rather than running on.
        QCOMPARE(scheduler.stats().aborted, std::size_t(1));
        for (const auto& [key, image] : scheduler.cache().entries()) {
            QCOMPARE(key.page, 2);
        }

        // An edit while the page renders: the old revision's result never lands.
        scheduler.setViewState({whole(0, d.sizes[0])}, {}, 3.0, 1.0, big);
        QVERIFY(uitest::waitUntil([&] { return scheduler.runningRenders() == 1; }));
        scheduler.pageContentChanged(0);
        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }, 20000));
        QCOMPARE(scheduler.stats().dropped, std::size_t(2));
        QCOMPARE(scheduler.stats().aborted, std::size_t(2));
        for (const auto& [key, image] : scheduler.cache().entries()) {
            QVERIFY(key.page != 0 || key.revision == 1);
        }
    }

    void placeholdersAreNeverBlackOrEmpty() {
        testing::TempDir dir;
        auto d = open(testing::textDocument(3), dir / "placeholders.pdf");
        RenderScheduler scheduler;
        scheduler.setSettleDelays(60000, 60000);
        scheduler.setDocument(d.document, d.sizes);

        // Before anything was rendered: a white page with a border.
        const QImage first = paint(scheduler, 0, d.sizes[0], 0.5);
        QVERIFY(isWhite(first.pixel(first.width() / 2, first.height() / 2)));
        QVERIFY(!isWhite(first.pixel(0, first.height() / 2)));
        QCOMPARE(countPixels(first, isBlack), 0);

        scheduler.setViewState({whole(0, d.sizes[0])}, {}, 1.0, 1.0, QSize(800, 1000));
        QVERIFY(uitest::waitUntil([&] { return scheduler.stats().rendered == 1; }));
        const std::size_t queued = scheduler.stats().queued;

        // A zoom: the old image stretched at once, no render until the zoom settles.
        scheduler.setViewState({whole(0, d.sizes[0])}, {}, 1.25, 1.0, QSize(800, 1000));
        QCOMPARE(scheduler.stats().queued, queued);
        QVERIFY(!scheduler.idle());
        const QImage stretched = paint(scheduler, 0, d.sizes[0], 1.25);
        const QImage sharp = ui::toQImage(
            d.document->renderer().render(0, stretched.width(), stretched.height(), 1.25), 1.0);
        QCOMPARE(countPixels(stretched, isBlack) < stretched.width() * stretched.height() / 50,
                 true);
        QVERIFY(meanDifference(stretched, sharp) < 12);
        QVERIFY(meanDifference(stretched, first.scaled(stretched.size())) > 1);
    }

    void anEditRerendersOnlyThatPageKeepingTheOldImageMeanwhile() {
        testing::TempDir dir;
        auto d = open(testing::textDocument(3), dir / "edit.pdf");
        RenderScheduler scheduler;
        scheduler.setDocument(d.document, d.sizes);
        std::vector<VisiblePage> visible;
        for (int i = 0; i < 3; ++i) {
            visible.push_back(whole(i, d.sizes[i]));
        }
        scheduler.setViewState(visible, {}, 0.5, 1.0, QSize(1000, 1000));
        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }));
        QCOMPARE(scheduler.stats().rendered, std::size_t(3));
        const QImage before = paint(scheduler, 1, d.sizes[1], 0.5);

        auto square = pdfkit::Annotation::create(Rect{100, 300, 300, 300}, "Square");
        square->setColor(Color{1, 0, 0, 1});
        square->setInteriorColor(Color{0, 0, 1, 1});
        d.document->page(1)->addAnnotation(square);
        QSignalSpy updated(&scheduler, &RenderScheduler::pageUpdated);
        scheduler.pageContentChanged(1);
        QVERIFY(meanDifference(paint(scheduler, 1, d.sizes[1], 0.5), before) < 0.01);

        QVERIFY(uitest::waitUntil([&] { return scheduler.idle(); }));
        QCOMPARE(scheduler.stats().rendered, std::size_t(4));
        QCOMPARE(updated.count(), 1);
        QCOMPARE(updated.at(0).at(0).toInt(), 1);
        const QImage after = paint(scheduler, 1, d.sizes[1], 0.5);
        const QRgb inside = after.pixel(after.width() / 2, after.height() / 2);
        QVERIFY(qBlue(inside) > 200 && qRed(inside) < 60);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    RenderSchedulerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RenderSchedulerTest.moc"
