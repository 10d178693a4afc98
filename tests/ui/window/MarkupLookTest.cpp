// With OMBRIX_SCREENSHOT_DIR set, writes the markup's states as PNGs to look at: the popup
// beside a text selection, the context menus of a selection and of an annotation, a region
// while it is dragged and once made on an upright and on a turned page, the page and the
// sidebar after a bulk recolour, and the alert after a crop. Skipped otherwise.
#include "core/UserInteraction.h"
#include "extraction/BacklinkHighlightManager.h"
#include "extraction/HighlightRegionActions.h"
#include "pdfkit/Document.h"
#include "support/AppHarness.h"
#include "support/TurnedPages.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/canvas/SelectionPopup.h"
#include "ui/platform/QtUserInteraction.h"
#include "ui/sidebar/HighlightPanel.h"
#include "ui/sidebar/HighlightSidebar.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TabContentView.h"
#include "ui/window/WindowState.h"

#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QToolButton>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

class MarkupLookTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<AppHarness> harness;
    std::unique_ptr<ui::MainWindow> window;
    QString dir;

    ui::PDFCanvasWrapper& wrapper() { return *window->content()->canvasWrapper(); }
    ui::CustomPDFView& view() { return *window->content()->canvas()->pdfView(); }
    QPoint at(int pageIndex, Point pagePoint) {
        auto page = view().document()->page(pageIndex);
        return view().viewToWidget(view().convertPointFromPage(pagePoint, *page)).toPoint();
    }
    static const TextRun& line(int i) {
        static const auto runs = textDocument(1).pages[0].runs;
        return runs[static_cast<std::size_t>(i)];
    }
    static Point inLine(int i, double along) {
        const Rect r = textBounds(line(i));
        return Point{r.x + r.width * along, r.midY()};
    }
    void open(const std::filesystem::path& file) {
        window->openFile(file);
        uitest::waitUntil([&] {
            harness->loop->runPending();
            return harness->activeTab() && harness->activeTab()->document->url == file;
        });
        settle();
    }
    // Until the page view has drawn what it shows.
    void settle() {
        int idleTicks = 0;
        uitest::waitUntil([&] {
            harness->loop->runPending();
            QTest::qWait(20);
            idleTicks = view().renderScheduler().idle() ? idleTicks + 1 : 0;
            return idleTicks >= 15;
        });
    }
    void drag(int pageIndex, Point from, Point to, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(view().viewport(), Qt::LeftButton, modifiers, at(pageIndex, from));
        QTest::mouseMove(view().viewport(),
                         at(pageIndex, {(from.x + to.x) / 2, (from.y + to.y) / 2}));
        QTest::mouseMove(view().viewport(), at(pageIndex, to));
        QTest::qWait(30);
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, modifiers, at(pageIndex, to));
        settle();
    }
    QMenu* menuAt(QPoint inViewport) {
        const QPoint p = view().viewport()->mapTo(&wrapper(), inViewport);
        return wrapper().contextMenuAt(Point{double(p.x()), double(p.y())});
    }
    void save(QWidget* widget, const QString& name) { QVERIFY(widget->grab().save(dir + name)); }
    // A context menu as it comes up, drawn over the window.
    void saveMenu(QMenu* menu, QPoint inViewport, const QString& name) {
        QVERIFY(menu);
        menu->popup(view().viewport()->mapToGlobal(inViewport));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QPixmap shot = window->grab();
        QPainter painter(&shot);
        painter.drawPixmap(window->mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), menu->grab());
        painter.end();
        QVERIFY(shot.save(dir + name));
        menu->close();
        delete menu;
    }

private slots:
    void initTestCase() {
        dir = qEnvironmentVariable("OMBRIX_SCREENSHOT_DIR");
        if (dir.isEmpty()) {
            QSKIP("OMBRIX_SCREENSHOT_DIR not set");
        }
        dir += "/";
        harness = std::make_unique<AppHarness>();
        harness->app().bootstrap();
        window = std::make_unique<ui::MainWindow>(harness->app());
        window->resize(1200, 860);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto document = textDocument(1);
        FixtureAnnotation comment;
        comment.subtype = "Highlight";
        comment.rect = textBounds(line(3));
        comment.color = Color{1, 0.816, 0, 0.5};
        comment.contents = "check the figures";
        document.pages[0].annotations.push_back(comment);
        open(harness->pdf(document, "Field Notes.pdf"));
    }
    void cleanupTestCase() {
        window.reset();
        harness.reset();
    }

    void selectionPopupAndMenus() {
        drag(0, inLine(1, 0.02), inLine(1, 0.98));
        QVERIFY(wrapper().selectionPopup()->isVisible());
        save(window.get(), "markup-selection-popup.png");
        const QPoint onSelection = at(0, inLine(1, 0.4));
        saveMenu(menuAt(onSelection), onSelection, "markup-menu-selection.png");
        QTest::mouseClick(wrapper().selectionPopup()->findChild<QToolButton*>("highlightGreen"),
                          Qt::LeftButton);
        settle();
        const QPoint onHighlight = at(0, inLine(3, 0.3));
        saveMenu(menuAt(onHighlight), onHighlight, "markup-menu-annotation.png");
    }

    void regionWhileDraggedAndMade() {
        wrapper().setActiveTool(HighlightTool::text);
        const Rect region = textBounds(line(3)).insetBy(-8, -6);
        QTest::mousePress(view().viewport(), Qt::LeftButton, Qt::AltModifier,
                          at(0, {region.minX(), region.maxY()}));
        QTest::mouseMove(view().viewport(), at(0, {region.midX(), region.midY()}));
        QTest::mouseMove(view().viewport(), at(0, {region.maxX(), region.minY()}));
        QTest::qWait(40);
        harness->loop->runPending();
        save(window.get(), "markup-region-dragged.png");
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, Qt::AltModifier,
                            at(0, {region.maxX(), region.minY()}));
        settle();
        wrapper().clearSelection();
        settle();
        save(window.get(), "markup-region-made.png");
    }

    void bulkRecolour() {
        window->state().showSidebar = true;
        settle();
        auto* sidebar = window->content()->highlights()->sidebar();
        sidebar->selectAll();
        sidebar->applyBulkColour(HighlightColor::defaults()[4].nsColor);
        settle();
        save(window.get(), "markup-bulk-recolour.png");
    }

    void cropAlert() {
        auto tab = harness->activeTab();
        auto* sidebar = window->content()->highlights()->sidebar();
        const auto entries = window->content()->highlights()->manager()->extractedHighlights.get();
        QVERIFY(!entries.empty());
        sidebar->runCrop(entries.front().id);
        QVERIFY(uitest::waitUntil([&] {
            harness->loop->runPending();
            return !harness->user->actionButtons().empty();
        }));
        const auto& alert = harness->user->alerts().back();
        auto box = ui::QtUserInteraction::actionAlertBox(alert.title, alert.message,
                                                         harness->user->actionButtons().back(),
                                                         alert.style, window.get());
        box->setWindowModality(Qt::NonModal);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        save(box.get(), "markup-crop-alert.png");
        window->state().showSidebar = false;
    }

    void regionOnATurnedPage() {
        TurnedPages turned({90});
        open(harness->pdf(turned.document, "Turned.pdf"));
        auto page = view().document()->page(0);
        const Rect shown = turned.shownLine(0, 1).insetBy(-6, -4);
        wrapper().setActiveTool(HighlightTool::crop);
        // Corner to corner as shown: the page's own corners of that rectangle.
        const Point a = page->displayToPage(Point{shown.minX(), shown.minY()});
        const Point b = page->displayToPage(Point{shown.maxX(), shown.maxY()});
        drag(0, a, b, Qt::AltModifier);
        wrapper().clearSelection();
        settle();
        save(window.get(), "markup-region-turned-page.png");
    }
};

QTEST_MAIN(MarkupLookTest)
#include "MarkupLookTest.moc"
