#include "annotations/AppUndoManager.h"
#include "app/AppContainer.h"
#include "pdfkit/Document.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/FreeTextEditor.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/MainToolbar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TabContentView.h"
#include "ui/window/ToolButton.h"
#include "ui/window/WindowState.h"

#include <QAction>
#include <QMenuBar>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

// The canvas wrapper inside the real window: undo and redo from the keys, the toolbar and
// the menu reach the edits made on the page.
class OverlayWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppHarness> harness;
    std::unique_ptr<ui::MainWindow> window;

    ui::CustomPDFView& view() { return *window->content()->canvas()->pdfView(); }
    QPoint at(Point pagePoint) {
        auto page = view().document()->page(0);
        return view().viewToWidget(view().convertPointFromPage(pagePoint, *page)).toPoint();
    }
    void settle(int ms = 80) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            harness->loop->runPending();
            QTest::qWait(10);
        }
    }
    std::size_t squares() {
        std::size_t n = 0;
        for (const auto& a : view().document()->page(0)->annotations()) {
            n += a->type() == "Square";
        }
        return n;
    }
    QAction* menuAction(const QString& title) {
        for (auto* action : window->menuBar()->findChildren<QAction*>()) {
            if (action->text() == title) {
                return action;
            }
        }
        return nullptr;
    }

private slots:
    void init() {
        // A failed init skips its cleanup: the old window goes before the container it uses.
        window.reset();
        harness = std::make_unique<AppHarness>();
        harness->app().bootstrap();
        window = std::make_unique<ui::MainWindow>(harness->app());
        window->installMenus(window->makeMenuModel());
        window->resize(1000, 800);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        FixtureDocument document;
        FixturePage page;
        page.runs = {TextRun{"A page to draw a shape on.", 72, 720, 14}};
        document.pages = {page};
        harness->dispatch(ActionID::docOpen, {{"url", harness->pdf(document, "shape.pdf")}});
        // A loaded machine may take longer than one settle to open it.
        for (int i = 0; i < 60 && !view().document(); ++i) {
            settle();
        }
        QVERIFY(view().document());
    }

    void cleanup() {
        window.reset();
        harness.reset();
    }

    void undoAndRedoFromKeysToolbarAndMenuReachAShape() {
        auto tab = harness->activeTab();
        window->state().isShapeMode = true;
        settle();
        QTest::mousePress(view().viewport(), Qt::LeftButton, {}, at({100, 500}));
        QTest::mouseMove(view().viewport(), at({200, 420}));
        QTest::mouseRelease(view().viewport(), Qt::LeftButton, {}, at({200, 420}));
        settle();
        QCOMPARE(squares(), std::size_t(1));
        QVERIFY(tab->document->isDirty);

        view().setFocus();
        QTest::keyClick(&view(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(squares(), std::size_t(0));

        QTest::mouseClick(window->toolbar()->button("arrow.uturn.forward"), Qt::LeftButton);
        settle();
        QCOMPARE(squares(), std::size_t(1));

        auto* undo = menuAction("Undo");
        QVERIFY(undo);
        undo->trigger();
        settle();
        QCOMPARE(squares(), std::size_t(0));

        QTest::keyClick(&view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        settle();
        QCOMPARE(squares(), std::size_t(1));
        QCOMPARE(harness->app().undoManager()->undoStack().size(), std::size_t(1));
    }

    // From the toolbar's text button to the file: typed text is placed by the Save keys.
    void textTypedOnThePageIsSavedByTheSaveKeys() {
        auto tab = harness->activeTab();
        QTest::mouseClick(window->toolbar()->button("textformat"), Qt::LeftButton);
        QVERIFY(window->state().isTextMode());
        settle();
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, at({150, 400}));
        settle();
        auto* editor = window->content()->findChild<ui::FreeTextEditor*>();
        QVERIFY(editor && editor->isVisible());
        QVERIFY(uitest::waitUntil([&] { return editor->hasFocus(); }));
        QTest::keyClicks(editor, "Signed off");
        QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(!editor->isVisible());
        QVERIFY(uitest::waitUntil(
            [&] {
                harness->loop->runPending();
                return !tab->document->isDirty;
            },
            10000));
        auto saved = pdfkit::Document::open(tab->document->url);
        QVERIFY(saved);
        std::vector<std::string> texts;
        for (const auto& a : saved->page(0)->annotations()) {
            if (a->type() == "FreeText") {
                texts.push_back(a->contents().value_or(""));
            }
        }
        QCOMPARE(texts, std::vector<std::string>{"Signed off"});
    }
};

QTEST_MAIN(OverlayWindowTest)
#include "OverlayWindowTest.moc"
