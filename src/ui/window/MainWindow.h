#pragma once

#include "core/Cancellable.h"
#include "ui/window/WindowState.h"

#include <QMainWindow>
#include <memory>
#include <vector>

class QDialog;
class QStackedWidget;

namespace ombrix {
class AppContainer;
class Menu;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

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

    // Closes the tab (the close button, a middle click, Ctrl+W).
    void closeTab(const std::shared_ptr<TabSession>& tab);
    void closeActiveTab();
    // Runs a search for the active tab and shows the search panel.
    void search(const std::string& query);

    // The menu bar's commands (Find and the help sheet included) as a model, to be
    // completed by the application delegate and then shown with installMenus().
    std::shared_ptr<Menu> makeMenuModel();
    void installMenus(std::shared_ptr<Menu> model);
    const std::shared_ptr<Menu>& menuModel() const { return menuModel_; }
    QDialog* helpSheet() const { return helpSheet_; }

    TabBarView* tabBar() const { return tabBar_; }
    MainToolbar* toolbar() const { return toolbar_; }
    TabContentView* content() const { return content_; }
    QWidget* emptyState() const { return emptyState_; }

private:
    void refreshActiveTab();
    void refreshTitle();
    void refreshHelp();

    AppContainer& container_;
    WindowState state_;
    TabBarView* tabBar_ = nullptr;
    MainToolbar* toolbar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* emptyState_ = nullptr;
    TabContentView* content_ = nullptr;
    QDialog* helpSheet_ = nullptr;
    std::shared_ptr<Menu> menuModel_;
    std::vector<Cancellable> observations_;
};

} // namespace ombrix::ui
