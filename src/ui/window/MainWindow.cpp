#include "ui/window/MainWindow.h"

#include "annotations/AppUndoManager.h"
#include "annotations/HighlightColor.h"
#include "app/AppContainer.h"
#include "app/MenuModel.h"
#include "app/PreferencesStore.h"
#include "core/Error.h"
#include "core/NotificationCenter.h"
#include "core/UserInteraction.h"
#include "document/BrainFingerprint.h"
#include "document/BrainLoader.h"
#include "document/BrainStore.h"
#include "document/PDFKitBridge.h"
#include "handlers/DocumentHandler.h"
#include "handlers/SearchHandler.h"
#include "pdfkit/Document.h"
#include "search/LayoutEngine.h"
#include "tabs/RecoveryJournal.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"
#include "ui/canvas/PDFCanvasWrapper.h"
#include "ui/platform/DocumentQuestions.h"
#include "ui/platform/FileOpener.h"
#include "ui/platform/SymbolIcon.h"
#include "ui/window/AppMenus.h"
#include "ui/window/BackgroundSearch.h"
#include "ui/window/HelpDialog.h"
#include "ui/window/MainToolbar.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/TabBarView.h"
#include "ui/window/TabContentView.h"
#include "ui/window/ViewStateStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace ombrix::ui {

namespace {

constexpr const char* kShowHighlightSidebar = "ShowHighlightSidebar";
constexpr qint64 kOpeningSliceMs = 8; // of tabs opened between two turns of the event loop

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
    toolbar_->onAddNote = [this] { content_->canvasWrapper()->addNoteToCurrentPage(); };
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
    // Searches ("edit.find") run off the GUI thread, filling the list as they go.
    search_ = new BackgroundSearch(container_, this);
    container_.searchHandler()->setRunner(
        [this](const std::shared_ptr<TabSession>& tab, const std::string& query) {
            search_->start(tab, query);
        });
    // Every "doc.open" and "doc.save" comes here, whoever dispatched it.
    opener_ = new FileOpener(*container_.userInteraction(), container_.logging(), this);
    DocumentHandler::Desktop desktop;
    desktop.open = [this](const std::filesystem::path& path) { openFile(path); };
    desktop.save = [this](const std::shared_ptr<TabSession>& tab) { save(tab); };
    container_.documentHandler()->setDesktop(std::move(desktop));
    questions_ = std::make_shared<QtDocumentQuestions>(this);
    const auto support = container_.brainStore()->directory();
    viewStates_ = std::make_unique<ViewStateStore>(support);
    journal_ = std::make_unique<RecoveryJournal>(RecoveryJournal::folderIn(support), tabs,
                                                 container_.undoManager(),
                                                 std::make_shared<Logging>(container_.logging()));
    recent_ = std::make_unique<RecentFiles>(support.parent_path() / "RecentFiles.json");
    setAcceptDrops(true);
    connect(search_, &BackgroundSearch::progress, this, [this](int done, int total) {
        const bool here = search_->tab() == container_.tabManager()->activeTab();
        content_->searchPanel()->setProgress(done, here ? total : 0, [this] { search_->stop(); });
    });
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
    dirtyWatch_.cancel();
    journal_.reset(); // the journals stay on disk for the next start
    container_.searchHandler()->setRunner(nullptr);
    container_.documentHandler()->setDesktop({});
    delete search_; // waits for its worker
    delete centralWidget();
    // Ended without closing (on a signal): the documents still open, and the edits that
    // hold them, go with the window, so nothing the engine keeps for them outlives it.
    // Their journals stay on disk.
    auto tabs = container_.tabManager();
    while (!tabs->tabs.get().empty()) {
        tabs->closeTab(*tabs->tabs.get().front());
    }
    container_.undoManager()->clear();
}

void MainWindow::refreshActiveTab() {
    auto active = container_.tabManager()->activeTab();
    if (search_->running() && search_->tab() != active) {
        search_->stop(); // its results stay with its tab
    }
    toolbar_->setSession(active);
    content_->setSession(active);
    stack_->setCurrentWidget(active ? static_cast<QWidget*>(content_) : emptyState_);
    dirtyWatch_.cancel();
    if (active) {
        // Edits may come from a worker's completion: the title changes on the GUI thread.
        dirtyWatch_ = active->document->dirtyChanged.connect([this](bool) {
            QMetaObject::invokeMethod(this, &MainWindow::refreshTitle, Qt::QueuedConnection);
        });
    }
    refreshTitle();
}

void MainWindow::refreshTitle() {
    auto active = container_.tabManager()->activeTab();
    // "[*]" is where Qt puts the unsaved-changes mark.
    const QString title = active
                              ? QString::fromStdString(active->document->name) + "[*] — Ombrix PDF"
                              : QStringLiteral("Ombrix PDF");
    if (windowTitle() != title) {
        setWindowTitle(title);
    }
    setWindowModified(active && active->document->isDirty);
}

bool MainWindow::closeTab(const std::shared_ptr<TabSession>& tab) {
    if (!tab) {
        return false;
    }
    if (tab->document->isDirty) {
        switch (questions_->askUnsaved(tab->document->name)) {
        case DocumentQuestions::UnsavedAnswer::save:
            if (!save(tab)) {
                return false;
            }
            break;
        case DocumentQuestions::UnsavedAnswer::discard:
            journal_->forget(*tab->document);
            break;
        case DocumentQuestions::UnsavedAnswer::cancel:
            return false;
        }
    }
    rememberPlace(*tab);
    if (search_->tab() == tab) {
        search_->stop();
    }
    container_.tabManager()->closeTab(*tab);
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Each tab with unsaved changes asks in turn; one Cancel keeps the window open.
    for (const auto& tab : container_.tabManager()->tabs()) {
        if (!tab->document->isDirty) {
            continue;
        }
        container_.tabManager()->activate(*tab);
        switch (questions_->askUnsaved(tab->document->name)) {
        case DocumentQuestions::UnsavedAnswer::save:
            if (!save(tab)) {
                event->ignore();
                return;
            }
            break;
        case DocumentQuestions::UnsavedAnswer::discard:
            journal_->forget(*tab->document);
            break;
        case DocumentQuestions::UnsavedAnswer::cancel:
            event->ignore();
            return;
        }
    }
    rememberPlaces();
    event->accept();
}

void MainWindow::setQuestions(std::shared_ptr<DocumentQuestions> questions) {
    questions_ = questions ? std::move(questions) : std::make_shared<QtDocumentQuestions>(this);
}

struct MainWindow::PendingOpen {
    std::filesystem::path path;
    std::chrono::steady_clock::time_point started;
    bool finished = false;
    std::shared_ptr<PDFDocument> document; // null: cancelled, or the reason was shown
};

void MainWindow::openFile(const std::filesystem::path& path) {
    auto pending = std::make_shared<PendingOpen>();
    pending->path = path;
    pending->started = std::chrono::steady_clock::now();
    pendingOpens_.push_back(pending);
    opener_->open(path, [this, pending](std::shared_ptr<PDFDocument> document) {
        pending->finished = true;
        pending->document = std::move(document);
        showOpened();
    });
}

void MainWindow::showOpened() {
    // A small file asked for later may be ready first; it waits for the ones before it.
    // Those that waited become tabs a few at a time, leaving the event loop free between.
    QElapsedTimer slice;
    slice.start();
    while (!pendingOpens_.empty() && pendingOpens_.front()->finished) {
        if (slice.elapsed() >= kOpeningSliceMs) {
            QTimer::singleShot(1, this, &MainWindow::showOpened);
            return;
        }
        const auto opened = std::move(pendingOpens_.front());
        pendingOpens_.pop_front();
        if (!opened->document) {
            continue;
        }
        auto document = opened->document;
        try {
            const auto openingTime = std::chrono::duration_cast<Duration>(
                std::chrono::steady_clock::now() - opened->started);
            document =
                container_.brainLoader()->adopt(opened->path, document, openingTime).document;
        } catch (const std::exception& e) {
            container_.logging().error("Cannot file the sidecar of " + opened->path.string(), e);
        }
        auto tab = container_.tabManager()->openDocument(document);
        recent_->add(opened->path);
        if (tab) {
            restorePlace(*tab);
            const auto path = std::filesystem::absolute(tab->document->url).lexically_normal();
            for (auto it = restorations_.begin(); it != restorations_.end();) {
                if (it->entry.path == path) {
                    const PendingRecovery recovery = std::move(*it);
                    it = restorations_.erase(it);
                    applyRecovery(tab, recovery);
                } else {
                    ++it;
                }
            }
        }
    }
}

void MainWindow::offerRecovery() {
    const auto& user = container_.userInteraction();
    if (!user) {
        return;
    }
    for (const auto& recovery : journal_->pending()) {
        const std::string name = recovery.entry.path.filename().string();
        std::string message = "Ombrix PDF ended before the changes to “" + name +
                              "” were saved. Restored, they stay unsaved until you save them.";
        if (recovery.fileChanged) {
            message += "\n\nThe file has changed on disk since those changes were made; "
                       "restored, they may not fit it.";
        }
        switch (user->choose("Restore unsaved changes to " + name + "?", message, "Restore",
                             "Discard")) {
        case UserInteraction::Choice::first:
            restoreWhenOpen(recovery);
            break;
        case UserInteraction::Choice::second:
            journal_->discard(recovery);
            break;
        case UserInteraction::Choice::dismissed:
            break;
        }
    }
}

void MainWindow::restoreWhenOpen(const PendingRecovery& recovery) {
    for (const auto& tab : container_.tabManager()->tabs()) {
        if (std::filesystem::absolute(tab->document->url).lexically_normal() ==
            recovery.entry.path) {
            container_.tabManager()->activate(*tab);
            applyRecovery(tab, recovery);
            return;
        }
    }
    restorations_.push_back(recovery);
    const bool opening =
        std::any_of(pendingOpens_.begin(), pendingOpens_.end(), [&](const auto& p) {
            return std::filesystem::absolute(p->path).lexically_normal() == recovery.entry.path;
        });
    if (!opening) {
        openFile(recovery.entry.path);
    }
}

void MainWindow::applyRecovery(const std::shared_ptr<TabSession>& tab,
                               const PendingRecovery& recovery) {
    if (journal_->restore(tab, recovery.entry)) {
        container_.logging().info("Restored unsaved changes to " +
                                  recovery.entry.path.filename().string());
    } else {
        // The document already is as the journal describes it.
        journal_->discard(recovery);
    }
    refreshTitle();
}

bool MainWindow::save(const std::shared_ptr<TabSession>& tab) {
    if (!tab) {
        return false;
    }
    const Outcome saved = container_.documentHandler()->saveTab(tab);
    if (saved.isDone()) {
        refreshTitle();
        return true;
    }
    const std::string& name = tab->document->name;
    if (saved.code() == PDFKitBridge::kChangedOnDisk) {
        switch (questions_->askChangedOnDisk(name)) {
        case DocumentQuestions::ChangedOnDiskAnswer::reload:
            reload(tab);
            return false;
        case DocumentQuestions::ChangedOnDiskAnswer::saveCopy:
            return saveCopy(tab);
        case DocumentQuestions::ChangedOnDiskAnswer::cancel:
            return false;
        }
    }
    // The reason without the log's lead-in: the alert's title says what failed.
    std::string reason = saved.reason();
    if (const std::string lead = "Failed to save PDF: "; reason.starts_with(lead)) {
        reason.erase(0, lead.size());
    }
    container_.userInteraction()->showAlert("\u201c" + name + "\u201d could not be saved", reason,
                                            AlertStyle::warning);
    return false;
}

bool MainWindow::saveCopy(const std::shared_ptr<TabSession>& tab) {
    PDFDocument& document = *tab->document;
    auto suggestion = document.url;
    suggestion.replace_filename(document.name + " (copy).pdf");
    const auto target = questions_->chooseCopyPath(suggestion);
    auto engine = PDFKitBridge::engineDocument(document);
    if (!target || !engine) {
        return false;
    }
    if (std::filesystem::weakly_canonical(*target) ==
        std::filesystem::weakly_canonical(document.url)) {
        container_.userInteraction()->showAlert(
            "Choose another file", "A copy cannot replace the file that changed on disk.",
            AlertStyle::warning);
        return false;
    }
    try {
        engine->write(*target);
    } catch (const std::exception& e) {
        container_.userInteraction()->showAlert("The copy of “" + document.name +
                                                    "” could not be saved",
                                                describe(e), AlertStyle::warning);
        return false;
    }
    // The changes are safe in the copy; the tab still shows the original file.
    document.markClean();
    container_.logging().info("✅ PDF copy saved to " + target->string());
    refreshTitle();
    return true;
}

void MainWindow::reload(const std::shared_ptr<TabSession>& tab) {
    const auto path = tab->document->url;
    const int page = tab->currentPage();
    if (search_->tab() == tab) {
        search_->stop();
    }
    container_.tabManager()->closeTab(*tab);
    opener_->open(path, [this, path, page](std::shared_ptr<PDFDocument> document) {
        if (!document) {
            return;
        }
        if (auto fresh = container_.tabManager()->openDocument(document)) {
            fresh->currentPage =
                std::clamp(page, 0, int(std::max<std::int64_t>(1, document->pageCount)) - 1);
        }
    });
}

void MainWindow::rememberPlace(const TabSession& tab) {
    // Filed under the fingerprint of the file as it is now, which is what the next
    // opening computes.
    if (auto fingerprint = BrainFingerprint::compute(tab.document->url)) {
        viewStates_->save(*fingerprint, ViewState{tab.currentPage(), tab.zoom(), tab.layout()});
    }
}

void MainWindow::rememberPlaces() {
    for (const auto& tab : container_.tabManager()->tabs()) {
        rememberPlace(*tab);
    }
}

void MainWindow::restorePlace(TabSession& tab) {
    auto fingerprint = BrainFingerprint::compute(tab.document->url);
    auto state = fingerprint ? viewStates_->load(*fingerprint) : std::nullopt;
    if (!state) {
        return;
    }
    if (tab.layout() != state->layout) {
        tab.layout = state->layout;
        if (auto view = container_.activePDFView();
            view && container_.tabManager()->activeTab().get() == &tab) {
            container_.layoutEngine()->apply(state->layout, *view);
        }
    }
    tab.zoom = state->zoom;
    if (state->page < tab.document->pageCount) {
        tab.currentPage = state->page;
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".pdf", Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    bool any = false;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".pdf", Qt::CaseInsensitive)) {
            openFile(url.toLocalFile().toStdString());
            any = true;
        }
    }
    if (any) {
        event->acceptProposedAction();
    } else {
        event->ignore();
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
    commands.highlightSelection = [this] {
        if (!content_->canvasWrapper()->highlightTextSelection(
                HighlightColor::defaults().front().nsColor)) {
            if (const auto& ui = container_.userInteraction()) {
                ui->beep();
            }
        }
    };
    commands.addNote = [this] { content_->canvasWrapper()->addNoteToCurrentPage(); };
    commands.addFreeText = [this] {
        if (!state_.isTextMode()) {
            state_.toggleTextMode();
        }
    };
    return AppMenus::buildModel(container_, std::move(commands));
}

void MainWindow::installMenus(std::shared_ptr<Menu> model) {
    menuModel_ = std::move(model);
    recentMenu_ = nullptr;
    if (!menuModel_) {
        menuBar()->clear();
        return;
    }
    AppMenus::mirror(*menuModel_, *menuBar());
    // Open Recent lives beside Open: its entries change with every opening.
    if (auto* file = menuBar()->findChild<QMenu*>("File")) {
        const auto actions = file->actions();
        QAction* after = actions.size() > 1 ? actions[1] : nullptr;
        recentMenu_ = new QMenu(tr("Open Recent"), file);
        recentMenu_->setObjectName("OpenRecent");
        file->insertMenu(after, recentMenu_);
        connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
        fillRecentMenu();
    }
    // The contents panel's switch sits in the View menu beside the highlight sidebar.
    if (auto* view = menuBar()->findChild<QMenu*>("View")) {
        QAction* contents = view->addAction(tr("Show Contents"));
        contents->setObjectName("showContents");
        contents->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
        connect(contents, &QAction::triggered, this,
                [this] { state_.showContents = !state_.showContents(); });
    }
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    for (const auto& path : recent_->files()) {
        QAction* entry = recentMenu_->addAction(QString::fromStdString(path.filename().string()));
        entry->setToolTip(QString::fromStdString(path.string()));
        entry->setStatusTip(QString::fromStdString(path.string()));
        connect(entry, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    if (recent_->files().empty()) {
        recentMenu_->addAction(tr("No Recent Files"))->setEnabled(false);
        return;
    }
    recentMenu_->addSeparator();
    connect(recentMenu_->addAction(tr("Clear Menu")), &QAction::triggered, this,
            [this] { recent_->clear(); });
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
