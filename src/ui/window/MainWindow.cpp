#include "ui/window/MainWindow.h"

#include "app/AppContainer.h"
#include "app/MenuModel.h"
#include "app/PreferencesStore.h"
#include "core/NotificationCenter.h"
#include "document/BrainStore.h"
#include "document/TabManager.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/window/AppMenus.h"
#include "ui/window/HelpDialog.h"
#include "ui/window/MainToolbar.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/TabBarView.h"
#include "ui/window/TabContentView.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace ombrix::ui {

namespace {

constexpr const char* kShowHighlightSidebar = "ShowHighlightSidebar";

QWidget* makeEmptyState(QWidget* parent) {
    auto* empty = new QWidget(parent);
    empty->setObjectName("EmptyState");
    auto* column = new QVBoxLayout(empty);
    column->setSpacing(12);
    column->addStretch(1);
    const QColor secondary = empty->palette().color(QPalette::PlaceholderText);
    auto* icon = new QLabel(empty);
    icon->setPixmap(SymbolIcon::tinted("doc.richtext", secondary, 48, empty->devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);
    auto* title = new QLabel(QObject::tr("No document open"), empty);
    title->setObjectName("emptyTitle");
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* hint = new QLabel(QObject::tr("File → Open PDF…  (Ctrl+O)"), empty);
    hint->setObjectName("emptyHint");
    hint->setForegroundRole(QPalette::PlaceholderText);
    hint->setAlignment(Qt::AlignCenter);
    column->addWidget(hint);
    column->addStretch(1);
    return empty;
}

} // namespace

MainWindow::MainWindow(AppContainer& container, QWidget* parent)
    : QMainWindow(parent), container_(container) {
    setObjectName("MainWindow");
    setMinimumSize(800, 600);
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto tabs = container_.tabManager();
    tabBar_ = new TabBarView(
        tabs, [this](const std::shared_ptr<TabSession>& tab) { closeTab(tab); }, central);
    column->addWidget(tabBar_);
    toolbar_ = new MainToolbar(container_, state_, central);
    column->addWidget(toolbar_);
    auto* divider = new QFrame(central);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    column->addWidget(divider);

    stack_ = new QStackedWidget(central);
    emptyState_ = makeEmptyState(stack_);
    stack_->addWidget(emptyState_);
    content_ = new TabContentView(container_, state_, stack_);
    content_->setSearchPromptHandler([this](const std::string& query) { search(query); });
    stack_->addWidget(content_);
    column->addWidget(stack_, 1);
    setCentralWidget(central);

    auto* nextTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    connect(nextTab, &QShortcut::activated, this, [this] { tabBar_->cycle(1); });
    auto* previousTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this);
    connect(previousTab, &QShortcut::activated, this, [this] { tabBar_->cycle(-1); });
    auto* previousTabAlt = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backtab), this);
    connect(previousTabAlt, &QShortcut::activated, this, [this] { tabBar_->cycle(-1); });

    observations_.push_back(tabs->tabs.observe([this](const auto&) { refreshActiveTab(); }));
    observations_.push_back(tabs->activeTabID.observe([this](const auto&) { refreshActiveTab(); }));
    observations_.push_back(
        NotificationCenter::defaultCenter().addObserver(kShowHighlightSidebar, [this] {
            if (!state_.showSidebar()) {
                state_.showSidebar = true;
            }
        }));
    // Opening the search panel (the Find command) puts the cursor in its field.
    observations_.push_back(state_.showSearch.observe([this](bool shown) {
        if (shown && content_->isVisible()) {
            content_->searchPanel()->focusField();
        }
    }));
    observations_.push_back(state_.showHelp.observe([this](bool) { refreshHelp(); }));
    refreshActiveTab();
}

MainWindow::~MainWindow() {
    // Views observe the state and the tabs: stop them before the state goes.
    observations_.clear();
    delete centralWidget();
}

void MainWindow::refreshActiveTab() {
    auto active = container_.tabManager()->activeTab();
    toolbar_->setSession(active);
    content_->setSession(active);
    stack_->setCurrentWidget(active ? static_cast<QWidget*>(content_) : emptyState_);
    refreshTitle();
}

void MainWindow::refreshTitle() {
    auto active = container_.tabManager()->activeTab();
    setWindowTitle(active ? QString::fromStdString(active->document->name) + " — Ombrix PDF"
                          : QStringLiteral("Ombrix PDF"));
}

void MainWindow::closeTab(const std::shared_ptr<TabSession>& tab) {
    if (tab) {
        container_.tabManager()->closeTab(*tab);
    }
}

void MainWindow::closeActiveTab() {
    closeTab(container_.tabManager()->activeTab());
}

std::shared_ptr<Menu> MainWindow::makeMenuModel() {
    AppMenus::Commands commands;
    commands.showHelp = [this] { state_.showHelp = true; };
    commands.closeTab = [this] { closeActiveTab(); };
    commands.quit = [this] { close(); };
    return AppMenus::buildModel(container_, std::move(commands));
}

void MainWindow::installMenus(std::shared_ptr<Menu> model) {
    menuModel_ = std::move(model);
    if (menuModel_) {
        AppMenus::mirror(*menuModel_, *menuBar());
    } else {
        menuBar()->clear();
    }
}

void MainWindow::refreshHelp() {
    if (state_.showHelp() && !helpSheet_) {
        helpSheet_ = new HelpDialog(PreferencesStore::standardPath(),
                                    container_.brainStore()->directory(), this);
        helpSheet_->setWindowModality(Qt::WindowModal);
        helpSheet_->setAttribute(Qt::WA_DeleteOnClose);
        connect(helpSheet_, &QDialog::finished, this, [this] {
            helpSheet_ = nullptr;
            state_.showHelp = false;
        });
        helpSheet_->open();
    } else if (!state_.showHelp() && helpSheet_) {
        helpSheet_->close();
    }
}

void MainWindow::search(const std::string& query) {
    state_.showSearch = true;
    state_.searchText = query;
    content_->searchPanel()->submit();
}

} // namespace ombrix::ui
