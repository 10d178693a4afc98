// Text selection, copying and links of the page view, driven by mouse and key events.
#include "core/UserInteraction.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/PDFView.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace ombrix;
using testing::FixtureAnnotation;

// Receives the URLs the view hands to the desktop, instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class PDFViewInteractionTest : public QObject {
    Q_OBJECT
    testing::TempDir dir_;
    testing::FixtureDocument fixture_ = testing::textDocument(3);
    std::shared_ptr<pdfkit::Document> document_;
    std::unique_ptr<ui::PDFView> view_;
    UrlCatcher catcher_;

    // The widget point of a page-space point on page `index`.
    QPoint at(int index, Point pagePoint) {
        const auto page = document_->page(index);
        return view_->viewToWidget(view_->convertPointFromPage(pagePoint, *page)).toPoint();
    }
    // The middle of the first occurrence of `part` in run `run` of page `index`.
    QPoint word(int index, int run, const std::string& part) {
        const Rect r = testing::textBounds(fixture_.pages[index].runs[run], part);
        return at(index, Point{r.midX(), r.midY()});
    }
    QPoint wordEdge(int index, int run, const std::string& part, bool end) {
        const Rect r = testing::textBounds(fixture_.pages[index].runs[run], part);
        return at(index, Point{end ? r.maxX() - 0.5 : r.minX() + 0.5, r.midY()});
    }
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons,
               Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent event(type, pos, view_->viewport()->mapToGlobal(pos), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view_->viewport(), &event);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton, Qt::NoButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton, Qt::NoButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    std::string selected() {
        uitest::waitUntil([&] { return view_->pageTextCache().idle(); });
        const auto s = view_->currentSelection();
        return s && s->string() ? *s->string() : std::string("<none>");
    }

private slots:
    void initTestCase() {
        // Page 1 links to page 3 (at a point) and to a web page; page 2 to a script.
        const Rect alpha = testing::textBounds(fixture_.pages[0].runs[1], "alpha");
        const Rect pen = testing::textBounds(fixture_.pages[0].runs[2], "pen");
        FixtureAnnotation internal;
        internal.subtype = "Link";
        internal.rect = alpha;
        internal.destPage = 2;
        internal.destPoint = Point{0, 700};
        FixtureAnnotation external;
        external.subtype = "Link";
        external.rect = pen;
        external.uri = "https://example.org/ombrix";
        fixture_.pages[0].annotations = {internal, external};
        FixtureAnnotation script;
        script.subtype = "Link";
        script.rect = alpha;
        script.uri = "file:///bin/sh";
        fixture_.pages[1].annotations = {script};
        document_ = pdfkit::Document::open(testing::writePdf(fixture_, dir_ / "t.pdf"));
        QVERIFY(document_);
        QDesktopServices::setUrlHandler("https", &catcher_, "open");
        QDesktopServices::setUrlHandler("file", &catcher_, "open");
    }

    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("file");
    }

    void init() {
        view_ = std::make_unique<ui::PDFView>();
        view_->resize(700, 600);
        view_->show();
        view_->setDocument(document_);
        view_->setScaleFactor(1.0);
        catcher_.opened.clear();
        QApplication::clipboard()->clear();
    }

    void dragSelectsCharactersAndCtrlCCopiesThem() {
        QSignalSpy changes(view_.get(), &ui::PDFView::selectionChanged);
        // From inside "release" to inside "every": whole characters, in reading order.
        drag(wordEdge(0, 1, "release", false), wordEdge(0, 1, "every", true));
        QCOMPARE(selected(), std::string("release opens every"));
        QVERIFY(changes.count() >= 1);
        QTest::keyClick(view_.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("release opens every"));
        // Dragging backwards over two lines selects the same way as forwards.
        drag(wordEdge(0, 2, "Readers", true), wordEdge(0, 1, "file", false));
        QCOMPARE(selected(), std::string("file.\nReaders"));
        // A click clears the selection.
        mouse(QEvent::MouseButtonPress, word(0, 4, "summary"), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, word(0, 4, "summary"), Qt::NoButton);
        QVERIFY(!view_->currentSelection());
    }

    void aDragAcrossPagesTakesBothPagesText() {
        view_->setScaleFactor(0.5);
        drag(wordEdge(0, 5, "document", false), wordEdge(1, 0, "Page", true));
        const std::string text = selected();
        QVERIFY2(text.rfind("document.", 0) == 0, text.c_str());
        QVERIFY2(text.size() > 9 && text.substr(text.size() - 5) == "\nPage", text.c_str());
        QCOMPARE(view_->currentSelection()->pages().size(), std::size_t(2));
    }

    void doubleClickSelectsAWordAndTripleClickALine() {
        const QPoint beta = word(0, 3, "beta");
        QTest::mouseDClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, beta);
        QCOMPARE(selected(), std::string("beta"));
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, beta);
        QCOMPARE(selected(), std::string("Search finds alpha and beta on each page."));
        QTest::keyClick(view_.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QString("Search finds alpha and beta on each page."));
    }

    void anInternalLinkGoesToItsDestination() {
        HeadlessUserInteraction people;
        view_->setUserInteraction(&people);
        QVERIFY(uitest::waitUntil([&] { return view_->pageTextCache().isCached(0); }));
        const QPoint link = word(0, 1, "alpha");
        QTest::mouseMove(view_->viewport(), link);
        QCOMPARE(view_->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, link);
        QCOMPARE(view_->currentPageIndex(), 2);
        // The destination's point is at the top of the view.
        const QPointF top =
            view_->viewToWidget(view_->convertPointFromPage(Point{0, 700}, *document_->page(2)));
        QVERIFY(std::abs(top.y()) <= 1);
        QVERIFY(!view_->currentSelection());
        QVERIFY(people.questions().empty());
    }

    void anExternalLinkAsksFirstAndOpensOnlyWhenConfirmed() {
        QVERIFY(uitest::waitUntil([&] { return view_->pageTextCache().isCached(0); }));
        const QPoint link = word(0, 2, "pen");
        // Nobody to ask: nothing opens.
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, link);
        QVERIFY(catcher_.opened.isEmpty());
        HeadlessUserInteraction people;
        view_->setUserInteraction(&people);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, link);
        QCOMPARE(people.questions().size(), std::size_t(1));
        QVERIFY(people.questions()[0].message.find("https://example.org/ombrix") !=
                std::string::npos);
        QVERIFY(catcher_.opened.isEmpty());
        people.setConfirmAnswer(true);
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, link);
        QCOMPARE(catcher_.opened.size(), 1);
        QCOMPARE(catcher_.opened[0], QUrl("https://example.org/ombrix"));
        QCOMPARE(view_->currentPageIndex(), 0);
    }

    void aLinkToALocalFileIsRefusedUnasked() {
        HeadlessUserInteraction people;
        people.setConfirmAnswer(true);
        view_->setUserInteraction(&people);
        view_->goToPageIndex(1);
        QVERIFY(uitest::waitUntil([&] { return view_->pageTextCache().isCached(1); }));
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, word(1, 1, "alpha"));
        QVERIFY(people.questions().empty());
        QCOMPARE(people.beeps(), std::size_t(1));
        QVERIFY(catcher_.opened.isEmpty());
    }

    void annotationHitTestingAllowsAFewPixels() {
        const auto page = document_->page(0);
        const Rect pen = testing::textBounds(fixture_.pages[0].runs[2], "pen");
        QVERIFY(view_->annotationAt(0, Point{pen.midX(), pen.midY()}));
        QVERIFY(view_->annotationAt(0, Point{pen.maxX() + 2, pen.midY()}));
        QVERIFY(!view_->annotationAt(0, Point{pen.maxX() + 6, pen.midY()}));
        // Removing it is seen once the view is told.
        page->removeAnnotation(view_->annotationAt(0, Point{pen.midX(), pen.midY()}));
        view_->annotationsChanged(0);
        QVERIFY(!view_->annotationAt(0, Point{pen.midX(), pen.midY()}));
    }
};

QTEST_MAIN(PDFViewInteractionTest)
#include "PDFViewInteractionTest.moc"
