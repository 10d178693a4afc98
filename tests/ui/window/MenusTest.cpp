#include "app/AppDelegate.h"
#include "app/MenuModel.h"
#include "support/AppHarness.h"
#include "tabs/TabManager.h"
#include "ui/support/UiTestSupport.h"
#include "ui/window/AppMenus.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/TabContentView.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>
#include <QtTest>
#include <set>

using namespace ombrix;
using namespace ombrix::testing;

namespace {

// The window with the menus the application shows: the model, completed by the
// delegate's launch, mirrored into the menu bar.
struct MenuFixture {
    MenuFixture() {
        window = std::make_unique<ui::MainWindow>(harness.app());
        auto model = window->makeMenuModel();
        delegate = std::make_unique<AppDelegate>(harness.app(), model);
        delegate->applicationDidFinishLaunching();
        window->installMenus(model);
        window->resize(1000, 700);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    QMenu* menu(const QString& title) const {
        for (QAction* action : window->menuBar()->actions()) {
            if (action->menu() && action->text() == title) {
                return action->menu();
            }
        }
        return nullptr;
    }
    // The menu's entries as "title shortcut", dividers as "-".
    QStringList entries(const QString& title) const {
        QStringList out;
        for (QAction* action : menu(title)->actions()) {
            out << (action->isSeparator()
                        ? QString("-")
                        : (action->text() + " " + action->shortcut().toString()).trimmed());
        }
        return out;
    }
    std::shared_ptr<TabSession> open(const std::string& name) {
        const auto before = harness.app().tabManager()->tabs().size();
        harness.dispatch(ActionID::docOpen, {{"url", harness.pdf(textDocument(3), name)}});
        uitest::waitUntil([&] {
            harness.loop->runPending();
            return harness.app().tabManager()->tabs().size() > before;
        });
        return harness.activeTab();
    }

    AppHarness harness;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace

class MenusTest : public QObject {
    Q_OBJECT
private slots:
    void theMenusHoldTheCommandsInOrderWithTheirShortcuts() {
        MenuFixture f;
        QVERIFY(f.harness.app().isBootstrapped());
        QStringList titles;
        for (QAction* action : f.window->menuBar()->actions()) {
            titles << action->text();
        }
        QCOMPARE(titles, QStringList({"File", "Edit", "View", "Help"}));
        QCOMPARE(f.entries("File"),
                 QStringList({QString::fromUtf8("Open PDF\u2026 Ctrl+O"), "Open Recent",
                              "Save Ctrl+S", "-", "Close Tab Ctrl+W", "-", "Quit Ctrl+Q"}));
        // The delegate's "Find..." is the same command as "Find…": one item, one owner.
        QCOMPARE(f.entries("Edit"),
                 QStringList({"Undo Ctrl+Z", "Redo Ctrl+Shift+Z", "-",
                              QString::fromUtf8("Find\u2026 Ctrl+F"), "-", "Highlight Ctrl+H",
                              "Add Note Ctrl+Shift+N", "Add Free Text Ctrl+Shift+T"}));
        QVERIFY(f.delegate->mainMenu()->item("Edit")->submenu->item("Find..."));
        QCOMPARE(f.entries("View"),
                 QStringList({"Zoom In Ctrl++", "Zoom Out Ctrl+-", "Fit to Window Ctrl+0", "-",
                              "Single Page", "Two Pages", "Continuous", "-", "Next Page Ctrl+Down",
                              "Previous Page Ctrl+Up", "-", "Show Highlight Sidebar Ctrl+Shift+H",
                              "Show Contents Ctrl+Alt+C"}));
        QCOMPARE(f.entries("Help"), QStringList({"Ombrix PDF Help F1"}));

        // No key sequence is bound twice anywhere in the bar.
        std::set<QString> seen;
        for (QAction* top : f.window->menuBar()->actions()) {
            for (QAction* action : top->menu()->actions()) {
                for (const QKeySequence& key : action->shortcuts()) {
                    QVERIFY2(seen.insert(key.toString()).second, qPrintable(key.toString()));
                }
            }
        }
        QVERIFY(seen.count("Ctrl+=") == 1);
    }

    void shortcutsReachTheirCommands() {
        MenuFixture f;
        auto tab = f.open("keys.pdf");
        QTest::keyClick(f.window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(f.window->state().showSearch());
        QVERIFY(f.window->content()->searchPanel()->isVisible());
        QTest::keyClick(f.window.get(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(f.window->state().showSidebar());

        f.window->content()->pageArea()->setFocus();
        tab->zoom = 1.0; // the view may have fitted the page meanwhile
        QTest::keyClick(f.window.get(), Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(tab->zoom(), 1.1);
        QTest::keyClick(f.window.get(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(tab->zoom(), 1.0);
        QTest::keyClick(f.window.get(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(tab->currentPage(), 1);
        QTest::keyClick(f.window.get(), Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(tab->currentPage(), 0);

        QTest::keyClick(f.window.get(), Qt::Key_F1);
        QVERIFY(f.window->state().showHelp());
        auto* sheet = f.window->helpSheet();
        QVERIFY(sheet && sheet->isVisible());
        const QString text = sheet->findChild<QTextBrowser*>()->toPlainText();
        QVERIFY(text.contains("Keys in the page view"));
        QVERIFY(text.contains("OmbrixPdf/Brains"));
        sheet->reject();
        QVERIFY(!f.window->state().showHelp());

        QTest::keyClick(f.window.get(), Qt::Key_W, Qt::ControlModifier);
        QVERIFY(f.harness.app().tabManager()->tabs().empty());
    }
};

QTEST_MAIN(MenusTest)
#include "MenusTest.moc"
