// With OMBRIX_SCREENSHOT_DIR set, writes the window's main states as PNGs to look at:
// the empty window, search results, the contents panel, the command bar's ":" prompt,
// the unsaved-changes question and the changed-on-disk question. Skipped otherwise.
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/platform/DocumentQuestions.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/BackgroundSearch.h"
#include "ui/window/ContentsPanel.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/TabContentView.h"
#include "ui/window/WindowState.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

class WindowLookTest : public QObject {
    Q_OBJECT
private:
    AppHarness harness;
    std::unique_ptr<ui::MainWindow> window;
    QString dir;

    void open(const FixtureDocument& document, const std::string& name) {
        const auto before = harness.app().tabManager()->tabs().size();
        window->openFile(harness.pdf(document, name));
        uitest::waitUntil([&] {
            harness.loop->runPending();
            return harness.app().tabManager()->tabs().size() > before;
        });
    }
    // Until the page view has drawn what it shows.
    void settle() {
        auto* view = window->content()->canvas()->pdfView();
        int idleTicks = 0;
        uitest::waitUntil([&] {
            harness.loop->runPending();
            QTest::qWait(20);
            idleTicks = view->renderScheduler().idle() ? idleTicks + 1 : 0;
            return idleTicks >= 15;
        });
    }
    void save(QWidget* widget, const QString& name) { QVERIFY(widget->grab().save(dir + name)); }
    void saveBox(std::unique_ptr<QMessageBox> box, const QString& name) {
        box->setWindowModality(Qt::NonModal);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        save(box.get(), name);
    }

private slots:
    void initTestCase() {
        dir = qEnvironmentVariable("OMBRIX_SCREENSHOT_DIR");
        if (dir.isEmpty()) {
            QSKIP("OMBRIX_SCREENSHOT_DIR not set");
        }
        dir += "/";
        harness.app().bootstrap();
        window = std::make_unique<ui::MainWindow>(harness.app());
        window->resize(1200, 800);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanupTestCase() { window.reset(); }

    void emptyWindow() { save(window.get(), "window-empty.png"); }

    void searchResults() {
        open(textDocument(3), "Quarterly Report.pdf");
        open(textDocument(40), "Field Guide.pdf");
        window->state().showSearch = true;
        auto* panel = window->content()->searchPanel();
        QTest::keyClicks(panel->field(), "alpha");
        QTest::keyClick(panel->field(), Qt::Key_Return);
        uitest::waitUntil([&] { return !window->backgroundSearch()->running(); });
        settle();
        save(window.get(), "window-search.png");
        panel->setProgress(17, 40, [] {}); // as it looks while a search runs
        save(window.get(), "window-search-running.png");
        panel->setProgress(0, 0);
        window->state().showSearch = false;
    }

    void contentsPanel() {
        open(linkedDocument(), "Linked Chapters.pdf");
        window->state().showContents = true;
        uitest::waitUntil([&] { return window->content()->contentsPanel()->loaded(); });
        settle();
        save(window.get(), "window-contents.png");
        window->state().showContents = false;
    }

    void commandBar() {
        auto* page = window->content()->pageArea();
        page->setFocus();
        QTest::keyClick(page, Qt::Key_Colon, Qt::ShiftModifier);
        QTest::keyClicks(page, "12");
        settle();
        save(window.get(), "window-command-bar.png");
        QTest::keyClick(page, Qt::Key_Escape);
    }

    void questions() {
        window->setWindowModified(true);
        saveBox(ui::QtDocumentQuestions::unsavedBox("Quarterly Report", window.get()),
                "question-unsaved.png");
        saveBox(ui::QtDocumentQuestions::changedOnDiskBox("Quarterly Report", window.get()),
                "question-changed-on-disk.png");
    }
};

QTEST_MAIN(WindowLookTest)
#include "WindowLookTest.moc"
