#include "ui/window/MainWindow.h"

#include "app/AppContainer.h"
#include "app/AppDelegate.h"
#include "contracts/ActionHandler.h"
#include "core/NotificationCenter.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/canvas/CustomPDFView.h"
#include "ui/canvas/PDFCanvasView.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/BackgroundSearch.h"
#include "ui/window/LoadingBar.h"
#include "ui/window/MainToolbar.h"
#include "ui/window/PDFBottomBar.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/TabBarView.h"
#include "ui/window/TabContentView.h"
#include "ui/window/ToolButton.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

// Passes every dispatch on to the real handler and remembers what reached it.
class RecordingHandler : public ActionHandler {
public:
    RecordingHandler(std::shared_ptr<ActionHandler> inner,
                     std::shared_ptr<std::vector<std::string>> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    std::string targetName() const override { return inner_->targetName(); }
    Outcome handle(const DispatchContext& context) override {
        log_->push_back(std::string(rawValue(context.action)) + " from " + context.source);
        return inner_->handle(context);
    }

private:
    std::shared_ptr<ActionHandler> inner_;
    std::shared_ptr<std::vector<std::string>> log_;
};

// A harness whose dispatches are recorded, with the window over it.
struct WindowFixture {
    WindowFixture()
        : dispatched(std::make_shared<std::vector<std::string>>()), harness(options(dispatched)) {
        harness.app().bootstrap();
        window = std::make_unique<ui::MainWindow>(harness.app());
        window->resize(1100, 760);
        window->show();
        window->activateWindow();
        QVERIFY2(QTest::qWaitForWindowActive(window.get()), "window not active");
    }
    ~WindowFixture() { window.reset(); }

    static AppContainer::Options options(std::shared_ptr<std::vector<std::string>> log) {
        AppContainer::Options o;
        o.handlers = [log](AppContainer& app) {
            std::vector<std::shared_ptr<ActionHandler>> wrapped;
            for (auto& h : app.defaultHandlers()) {
                wrapped.push_back(std::make_shared<RecordingHandler>(h, log));
            }
            return wrapped;
        };
        return o;
    }

    // Files open off the GUI thread: waits for the tab.
    std::shared_ptr<TabSession> open(const FixtureDocument& document, const std::string& name) {
        const auto before = harness.app().tabManager()->tabs().size();
        harness.dispatch(ActionID::docOpen, {{"url", harness.pdf(document, name)}});
        uitest::waitUntil([&] {
            harness.loop->runPending();
            return harness.app().tabManager()->tabs().size() > before;
        });
        return harness.activeTab();
    }
    // Searches run off the GUI thread: waits for the one running to end.
    void searchDone() {
        uitest::waitUntil([&] {
            harness.loop->runPending();
            return !window->backgroundSearch()->running();
        });
    }
    bool dispatchedAction(const std::string& entry) const {
        return std::find(dispatched->begin(), dispatched->end(), entry) != dispatched->end();
    }

    ui::MainToolbar& toolbar() const { return *window->toolbar(); }
    ui::PDFBottomBar& bottomBar() const { return *window->content()->bottomBar(); }
    ui::SearchPanel& searchPanel() const { return *window->content()->searchPanel(); }
    ui::WindowState& state() const { return window->state(); }

    std::shared_ptr<std::vector<std::string>> dispatched;
    AppHarness harness;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void withoutATabTheEmptyStateShowsAndOpenAndSaveStillDispatch() {
        WindowFixture f;
        QVERIFY(f.window->emptyState()->isVisible());
        QVERIFY(!f.window->content()->isVisible());
        QCOMPARE(f.window->emptyState()->findChild<QLabel*>("emptyTitle")->text(),
                 QString("No document open"));
        QVERIFY(!f.toolbar().zoomLabel()->isVisible());

        QTest::mouseClick(f.toolbar().button("folder"), Qt::LeftButton);
        QTest::mouseClick(f.toolbar().button("square.and.arrow.down"), Qt::LeftButton);
        QVERIFY(f.dispatchedAction("doc.open from Toolbar"));
        QVERIFY(f.dispatchedAction("doc.save from Toolbar"));
        QCOMPARE(f.harness.user->openPanelRequests(), std::size_t(1)); // asked for a file
        QVERIFY(f.window->emptyState()->isVisible());

        // The export beeps when there is nothing to export from.
        QTest::mouseClick(f.toolbar().button("highlighter"), Qt::LeftButton);
        QCOMPARE(f.harness.user->beeps(), std::size_t(1));
    }

    void openTabsShowInOrderAndCloseByButtonMiddleClickAndShortcut() {
        WindowFixture f;
        f.open(textDocument(2), "first.pdf");
        f.open(textDocument(3), "second.pdf");
        f.open(textDocument(1), "third.pdf");
        auto& bar = *f.window->tabBar();
        QCOMPARE(bar.count(), 3);
        QCOMPARE(bar.tabText(0), QString("first"));
        QCOMPARE(bar.tabText(2), QString("third"));
        QCOMPARE(bar.currentIndex(), 2);
        QVERIFY(f.window->content()->isVisible());
        f.harness.activeTab()->zoom = 1.0; // the view may have fitted the page meanwhile
        QCOMPARE(f.toolbar().zoomLabel()->text(), QString("100%"));
        QCOMPARE(f.window->windowTitle(), QString("third[*] — Ombrix PDF"));
        QVERIFY(!f.window->isWindowModified());

        // Clicking a tab activates it; Ctrl+Tab and Ctrl+Shift+Tab step with wrap-around.
        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.tabRect(0).center());
        QCOMPARE(f.harness.activeTab()->document->name, std::string("first"));
        QTest::keyClick(f.window.get(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(f.harness.activeTab()->document->name, std::string("second"));
        QTest::keyClick(f.window.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(f.window.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.harness.activeTab()->document->name, std::string("third"));

        // Middle click closes the tab under the pointer, not the active one.
        QTest::mouseClick(&bar, Qt::MiddleButton, {}, bar.tabRect(1).center());
        QCOMPARE(bar.count(), 2);
        QCOMPARE(f.harness.activeTab()->document->name, std::string("third"));
        auto* close = bar.tabButton(0, QTabBar::RightSide);
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(bar.count(), 1);
        f.window->closeActiveTab(); // Ctrl+W, from the File menu
        QCOMPARE(bar.count(), 0);
        QVERIFY(f.window->emptyState()->isVisible());
        QVERIFY(!f.toolbar().zoomLabel()->isVisible());
    }

    void shapeAndTextModesExcludeEachOther() {
        WindowFixture f;
        auto* text = f.toolbar().button("textformat");
        auto* shape = f.toolbar().button("square.dashed");
        QTest::mouseClick(text, Qt::LeftButton);
        QVERIFY(f.state().isTextMode() && text->isActive());
        QTest::mouseClick(shape, Qt::LeftButton);
        QVERIFY(f.state().isShapeMode() && shape->isActive());
        QVERIFY(!f.state().isTextMode() && !text->isActive());
        QTest::mouseClick(text, Qt::LeftButton);
        QVERIFY(f.state().isTextMode() && !f.state().isShapeMode());
        QTest::mouseClick(text, Qt::LeftButton); // off again, the other stays off
        QVERIFY(!f.state().isTextMode() && !f.state().isShapeMode());
    }

    void thePageFieldBeepsPastTheEndAndAcceptsLabels() {
        WindowFixture f;
        auto tab = f.open(labelledDocument(), "labels.pdf");
        auto* field = f.bottomBar().pageField();
        QCOMPARE(field->text(), QString("i"));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "99");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(f.harness.user->beeps(), std::size_t(1));
        QCOMPARE(field->text(), QString("i"));
        QCOMPARE(tab->currentPage(), 0);

        // A label goes to its page, with the loading bar until the queue clears it.
        field->selectAll();
        QTest::keyClicks(field, "A-1");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(tab->currentPage(), 6);
        QCOMPARE(field->text(), QString("A-1"));
        QVERIFY(tab->isPageLoading());
        QVERIFY(f.bottomBar().loadingBar()->isVisible());
        f.harness.loop->advance(seconds(0.4));
        QVERIFY(!tab->isPageLoading());

        // The same page again changes nothing; the buttons stop at the ends.
        field->selectAll();
        QTest::keyClicks(field, "7");
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!tab->isPageLoading());
        QTest::mouseClick(f.bottomBar().button("chevron.right"), Qt::LeftButton);
        QCOMPARE(tab->currentPage(), 7);
        QVERIFY(!f.bottomBar().button("chevron.right")->isEnabled());
        QVERIFY(f.bottomBar().button("chevron.left")->isEnabled());

        // Escape abandons what was typed.
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "3");
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(field->text(), QString("A-2"));
        QCOMPARE(tab->currentPage(), 7);
    }

    void clearingTheSearchEmptiesResultsAndTheCount() {
        WindowFixture f;
        auto tab = f.open(textDocument(3), "text.pdf");
        f.state().showSearch = true;
        auto& panel = f.searchPanel();
        QVERIFY(panel.isVisible());
        QCOMPARE(panel.body()->currentIndex(), 0); // "Type to search"
        QTest::keyClicks(panel.field(), "alpha");
        QTest::keyClick(panel.field(), Qt::Key_Return);
        QVERIFY(f.dispatchedAction("edit.find from SearchBar"));
        f.searchDone();
        QCOMPARE(tab->searchResults().size(), std::size_t(6)); // twice on each of 3 pages
        QCOMPARE(panel.countLabel()->text(), QString("6"));
        QCOMPARE(panel.list()->model()->rowCount(), 6);
        QCOMPARE(panel.body()->currentWidget(), panel.list());
        QVERIFY(f.bottomBar().resultCount()->isVisible());
        QCOMPARE(f.bottomBar().resultCount()->text(), QString("6 results"));

        // Choosing a row moves the tab to the result's page.
        panel.choose(4);
        QCOMPARE(tab->currentPage(), 2);

        QVERIFY(panel.clearButton()->isVisible());
        QTest::mouseClick(panel.clearButton(), Qt::LeftButton);
        QVERIFY(tab->searchResults().empty());
        QVERIFY(panel.field()->text().isEmpty());
        QVERIFY(!f.bottomBar().resultCount()->isVisible());
        QVERIFY(!panel.clearButton()->isVisible());
        QCOMPARE(panel.body()->currentIndex(), 0);

        QTest::keyClicks(panel.field(), "nowhere to be found");
        QTest::keyClick(panel.field(), Qt::Key_Return);
        f.searchDone();
        QCOMPARE(panel.body()->currentIndex(), 1); // "No results found"
        QCOMPARE(panel.countLabel()->text(), QString("0"));
    }

    void zoomInFromNearTheTopReachesFiveHundredPercent() {
        WindowFixture f;
        auto tab = f.open(textDocument(1), "zoom.pdf");
        tab->zoom = 4.95;
        QTest::mouseClick(f.bottomBar().button("plus.magnifyingglass"), Qt::LeftButton);
        QCOMPARE(tab->zoom(), 5.0);
        QCOMPARE(f.toolbar().zoomLabel()->text(), QString("500%"));
        QTest::mouseClick(f.bottomBar().button("plus.magnifyingglass"), Qt::LeftButton);
        QCOMPARE(tab->zoom(), 5.0);
        tab->zoom = 0.15;
        QTest::mouseClick(f.bottomBar().button("minus.magnifyingglass"), Qt::LeftButton);
        QCOMPARE(tab->zoom(), 0.1);
        QCOMPARE(f.toolbar().zoomLabel()->text(), QString("10%"));
        // Values a float step puts just under a whole percent still read as that percent.
        tab->zoom = 0.29;
        QCOMPARE(f.toolbar().zoomLabel()->text(), QString("29%"));
    }

    void theSearchPanelWinsOverTheHighlightPanelAndFindOpensIt() {
        WindowFixture f;
        f.open(textDocument(1), "panels.pdf");
        auto* search = f.window->content()->searchPanel();
        auto* highlights = f.window->content()->highlightPanel();
        QVERIFY(!search->isVisible() && !highlights->isVisible());

        NotificationCenter::defaultCenter().post("ShowHighlightSidebar");
        QVERIFY(f.state().showSidebar());
        QVERIFY(highlights->isVisible() && !search->isVisible());
        QVERIFY(f.toolbar().button("sidebar.left")->isActive());

        // Find while the highlight panel shows switches to search; both flags are then on.
        NotificationCenter::defaultCenter().post(AppDelegate::kFindNotification);
        QVERIFY(f.state().showSearch() && f.state().showSidebar());
        QVERIFY(search->isVisible() && !highlights->isVisible());
        QVERIFY(f.toolbar().button("magnifyingglass")->isActive());
        NotificationCenter::defaultCenter().post(AppDelegate::kFindNotification);
        QVERIFY(f.state().showSearch() && search->isVisible());

        // Hiding search brings the highlight panel back; hiding both leaves the page alone.
        QTest::mouseClick(f.toolbar().button("magnifyingglass"), Qt::LeftButton);
        QVERIFY(highlights->isVisible() && !search->isVisible());
        QTest::mouseClick(f.toolbar().button("sidebar.left"), Qt::LeftButton);
        QVERIFY(!highlights->isVisible() && !search->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
