// A drag along a line of a page turned by /Rotate selects that line, as the page is shown,
// and highlighting the selection marks that line.
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "support/TempDir.h"
#include "support/TurnedPages.h"
#include "ui/support/UiTestSupport.h"
#include "ui/view/PDFView.h"

#include <QApplication>
#include <QtTest>
#include <memory>

using namespace ombrix;

class RotatedSelectionTrustTest : public QObject {
    Q_OBJECT
    testing::TempDir dir_;
    testing::TurnedPages pages_{{90, 180, 270}};
    std::shared_ptr<pdfkit::Document> document_;
    std::unique_ptr<ui::PDFView> view_;

    QPoint shown(int page, Point display) {
        return view_->displayToWidget(page, display).toPoint();
    }
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, view_->viewport()->mapToGlobal(pos), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view_->viewport(), &event);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
        uitest::waitUntil([&] { return view_->pageTextCache().idle(); });
    }

private slots:
    void initTestCase() {
        document_ = pdfkit::Document::open(testing::writePdf(pages_.document, dir_ / "t.pdf"));
        QVERIFY(document_);
    }

    void init() {
        view_ = std::make_unique<ui::PDFView>();
        view_->resize(900, 700);
        view_->show();
        view_->setDocument(document_);
        view_->setScaleFactor(1.0);
    }

    void dragAlongAShownLineSelectsItAndItsHighlightLiesOnIt_data() {
        QTest::addColumn<int>("page");
        QTest::newRow("rotate 90") << 0;
        QTest::newRow("rotate 180") << 1;
        QTest::newRow("rotate 270") << 2;
    }
    void dragAlongAShownLineSelectsItAndItsHighlightLiesOnIt() {
        QFETCH(int, page);
        view_->goToPageIndex(page);
        const Rect line = pages_.shownLine(page, 1);
        drag(shown(page, Point{line.minX() + 1, line.midY()}),
             shown(page, Point{line.maxX() - 1, line.midY()}));

        const auto selection = view_->currentSelection();
        QVERIFY(selection && selection->string());
        QCOMPARE(QString::fromStdString(*selection->string()),
                 QString::fromStdString(testing::TurnedPages::lines()[1]));

        // The selection's lines as the page is shown: on the dragged line, nowhere else.
        auto target = document_->page(page);
        const auto rects = selection->lineRects(*target);
        QCOMPARE(int(rects.size()), 1);
        const Rect onScreen = target->pageToDisplay(rects[0]);
        QVERIFY2(onScreen.minY() > line.minY() - 3 && onScreen.maxY() < line.maxY() + 3,
                 "the selection is not on the dragged line");

        // Highlighting it marks that line.
        auto highlight = pdfkit::Annotation::create(selection->bounds(*target), "Highlight");
        highlight->setQuadRects(rects);
        target->addAnnotation(highlight);
        const Rect marked = target->pageToDisplay(highlight->bounds());
        QVERIFY(!marked.isEmpty());
        QVERIFY2(marked.minY() > line.minY() - 3 && marked.maxY() < line.maxY() + 3,
                 "the highlight is not on the selected line");
        QVERIFY(marked.width > line.width * 0.9);
        target->removeAnnotation(highlight);
    }
};

QTEST_MAIN(RotatedSelectionTrustTest)
#include "RotatedSelectionTrustTest.moc"
