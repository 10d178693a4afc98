#pragma once

#include "core/Cancellable.h"
#include "ui/window/WindowState.h"

#include <QMainWindow>
#include <deque>
#include <filesystem>
#include <memory>
#include <vector>

class QDialog;
class QStackedWidget;

namespace ombrix {
class AppContainer;
class Menu;
class RecoveryJournal;
class TabSession;
struct PendingRecovery;
} // namespace ombrix

namespace ombrix::ui {

class BackgroundSearch;
class DocumentQuestions;
class FileOpener;
class RecentFiles;
class ViewStateStore;
class MainToolbar;
class TabBarView;
class TabContentView;

// The application's window: tab bar, toolbar, and the active tab's content, or the
// empty state when no tab is open. Everything it shows comes from the container's tab
// manager and its own WindowState; commands go through the container's registry. GUI
// thread only; the container outlives the window.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppContainer& container, QWidget* parent = nullptr);
    ~MainWindow() override;

    WindowState& state() { return state_; }
    AppContainer& container() const { return container_; }

    // The one way files open here (command line, a second launch, the Open panel, Open
    // Recent, drops, and every "doc.open" dispatch): off the GUI thread, asking for a
    // password when needed, each into a new tab at the place it was left.
    void openFile(const std::filesystem::path& path);
    // Writes the tab's document to its file. A file changed on disk since it was opened
    // asks: reload it, or save a copy. Any other failure is shown. True when the changes
    // are safe (saved, or saved as a copy).
    bool save(const std::shared_ptr<TabSession>& tab);

    // Closes the tab (the close button, a middle click, Ctrl+W), first asking Save /
    // Discard / Cancel when it has unsaved changes. False when it stays open.
    bool closeTab(const std::shared_ptr<TabSession>& tab);
    void closeActiveTab();
    // Runs a search for the active tab and shows the search panel.
    void search(const std::string& query);

    // The menu bar's commands (Find and the help sheet included) as a model, to be
    // completed by the application delegate and then shown with installMenus().
    std::shared_ptr<Menu> makeMenuModel();
    void installMenus(std::shared_ptr<Menu> model);
    const std::shared_ptr<Menu>& menuModel() const { return menuModel_; }
    QDialog* helpSheet() const { return helpSheet_; }

    // Who answers the unsaved-changes and changed-on-disk questions (message boxes unless
    // replaced).
    void setQuestions(std::shared_ptr<DocumentQuestions> questions);
    FileOpener* fileOpener() const { return opener_; }
    RecentFiles& recentFiles() const { return *recent_; }
    ViewStateStore& viewStates() const { return *viewStates_; }
    // Saves where each open tab is (page, zoom, layout) for its next opening.
    void rememberPlaces();
    // The journal of every open document's unsaved edits, beside the sidecars.
    RecoveryJournal& recoveryJournal() const { return *journal_; }
    // Asks, for each journal an earlier run left, "Restore unsaved changes to NAME?":
    // Restore opens the file when it is not open yet and puts the changes back as one
    // undoable step, unsaved; Discard deletes the journal; dismissing asks next time.
    void offerRecovery();

    TabBarView* tabBar() const { return tabBar_; }
    MainToolbar* toolbar() const { return toolbar_; }
    TabContentView* content() const { return content_; }
    BackgroundSearch* backgroundSearch() const { return search_; }
    QWidget* emptyState() const { return emptyState_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void rememberPlace(const TabSession& tab);
    void restorePlace(TabSession& tab);
    void reload(const std::shared_ptr<TabSession>& tab);
    bool saveCopy(const std::shared_ptr<TabSession>& tab);
    void fillRecentMenu();
    void showOpened();
    void refreshActiveTab();
    void refreshTitle();
    void refreshHelp();
    void restoreWhenOpen(const PendingRecovery& recovery);
    void applyRecovery(const std::shared_ptr<TabSession>& tab, const PendingRecovery& recovery);

    AppContainer& container_;
    WindowState state_;
    TabBarView* tabBar_ = nullptr;
    MainToolbar* toolbar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* emptyState_ = nullptr;
    TabContentView* content_ = nullptr;
    QDialog* helpSheet_ = nullptr;
    BackgroundSearch* search_ = nullptr;
    FileOpener* opener_ = nullptr;
    std::shared_ptr<DocumentQuestions> questions_;
    std::unique_ptr<RecentFiles> recent_;
    // Files being opened, in the order asked: they become tabs in that order.
    struct PendingOpen;
    std::deque<std::shared_ptr<PendingOpen>> pendingOpens_;
    std::unique_ptr<ViewStateStore> viewStates_;
    class QMenu* recentMenu_ = nullptr;
    // The active document's dirty flag, for the title's unsaved-changes mark.
    Cancellable dirtyWatch_;
    std::shared_ptr<Menu> menuModel_;
    std::unique_ptr<RecoveryJournal> journal_;
    // Journals to restore once their file has opened.
    std::vector<PendingRecovery> restorations_;
    std::vector<Cancellable> observations_;
};

} // namespace ombrix::ui
