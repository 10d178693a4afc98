#include "ui/window/TabContentView.h"

#include "app/AppContainer.h"
#include "document/TabSession.h"
#include "keyboard/VimEngine.h"
#include "ui/window/KeyTranslation.h"
#include "ui/window/PDFBottomBar.h"
#include "ui/window/SearchPanel.h"
#include "ui/window/VimCommandBarView.h"
#include "ui/window/WindowState.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <optional>

namespace ombrix::ui {

namespace {
constexpr int kSideMin = 250;
constexpr int kSideIdeal = 280;
constexpr int kSideMax = 350;

// The side panels' width: 280 when there is room, between 250 and 350.
class SidePanelStack : public QStackedWidget {
public:
    using QStackedWidget::QStackedWidget;
    QSize sizeHint() const override { return {kSideIdeal, QStackedWidget::sizeHint().height()}; }
};
} // namespace

TabContentView::TabContentView(AppContainer& container, WindowState& state, QWidget* parent)
    : QWidget(parent), container_(container), state_(state) {
    setObjectName("TabContentView");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto* viewer = new QWidget(this);
    viewer->setObjectName("PDFViewerView");
    viewer->setMinimumWidth(400);
    auto* column = new QVBoxLayout(viewer);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // Until the page view is in place, the page area shows the tab's first page.
    pageArea_ = new QWidget(viewer);
    pageArea_->setObjectName("pageArea");
    pageArea_->setFocusPolicy(Qt::StrongFocus);
    pageArea_->setAutoFillBackground(true);
    pageArea_->setBackgroundRole(QPalette::Dark);
    pageArea_->installEventFilter(this);
    auto* pageLayout = new QVBoxLayout(pageArea_);
    pagePreview_ = new QLabel(pageArea_);
    pagePreview_->setAlignment(Qt::AlignCenter);
    pagePreview_->setMinimumSize(1, 1);
    pageLayout->addWidget(pagePreview_);
    column->addWidget(pageArea_, 1);
    commandBar_ = new VimCommandBarView(viewer);
    column->addWidget(commandBar_);
    bottomBar_ = new PDFBottomBar(container_, state_, viewer);
    column->addWidget(bottomBar_);
    row->addWidget(viewer, 1);

    sideArea_ = new SidePanelStack(this);
    sideArea_->setMinimumWidth(kSideMin);
    sideArea_->setMaximumWidth(kSideMax);
    sideArea_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    searchPanel_ = new SearchPanel(container_, state_, sideArea_);
    sideArea_->addWidget(searchPanel_);
    highlightPanel_ = new QWidget(sideArea_);
    highlightPanel_->setObjectName("HighlightPanel");
    highlightPanel_->setAutoFillBackground(true);
    highlightPanel_->setBackgroundRole(QPalette::AlternateBase);
    auto* highlights = new QVBoxLayout(highlightPanel_);
    auto* title = new QLabel(tr("Highlights"), highlightPanel_);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    highlights->addWidget(title);
    highlights->addStretch(1);
    sideArea_->addWidget(highlightPanel_);
    row->addWidget(sideArea_);

    for (auto* flag : {&state_.showSearch, &state_.showSidebar}) {
        stateObservations_.push_back(flag->observe([this](bool) { refreshSideArea(); }));
    }
    refreshSideArea();
}

TabContentView::~TabContentView() {
    // The command bar watches the engine: let go of it before the engine goes.
    commandBar_->setEngine(nullptr);
}

void TabContentView::setSession(std::shared_ptr<TabSession> session) {
    if (session == session_) {
        return;
    }
    sessionObservations_.clear();
    commandBar_->setEngine(nullptr);
    vim_.reset();
    session_ = std::move(session);
    bottomBar_->setSession(session_);
    searchPanel_->setSession(session_);
    if (session_) {
        vim_ = std::make_unique<VimEngine>(session_, container_.activePDFView(),
                                           container_.userInteraction(), container_.logging());
        commandBar_->setEngine(vim_.get());
        sessionObservations_.push_back(
            session_->renderedImage.observe([this](const auto&) { refreshPage(); }));
        sessionObservations_.push_back(
            session_->errorMessage.observe([this](const auto&) { refreshPage(); }));
    }
    refreshPage();
}

void TabContentView::refreshSideArea() {
    if (state_.showSearch()) {
        sideArea_->setCurrentWidget(searchPanel_);
        sideArea_->show();
    } else if (state_.showSidebar()) {
        sideArea_->setCurrentWidget(highlightPanel_);
        sideArea_->show();
    } else {
        sideArea_->hide();
    }
}

void TabContentView::refreshPage() {
    if (!session_) {
        pagePreview_->clear();
        return;
    }
    if (session_->errorMessage()) {
        pagePreview_->setText(QString::fromStdString(*session_->errorMessage()));
        return;
    }
    const auto& image = session_->renderedImage();
    if (!image || image->isNull() || image->width() <= 0) {
        pagePreview_->clear();
        return;
    }
    const QImage page(image->data(), image->width(), image->height(), image->stride(),
                      QImage::Format_RGBA8888_Premultiplied);
    const QSize room = pageArea_->size() - QSize(32, 32);
    pagePreview_->setPixmap(
        QPixmap::fromImage(page.scaled(room.boundedTo(page.size()).expandedTo(QSize(50, 50)),
                                       Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

bool TabContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pageArea_ && event->type() == QEvent::KeyPress && vim_) {
        const KeyEvent key = translateKeyEvent(*static_cast<QKeyEvent*>(event));
        // The engine only logs a "/" prompt's query; running it is ours.
        std::optional<std::string> query;
        if (vim_->isCommandModeActive() && key.keyCode == KeyCode::returnKey &&
            vim_->commandLineText().rfind("/", 0) == 0) {
            query = vim_->commandLineText().substr(1);
        }
        const bool consumed = vim_->handleKeyDown(key);
        if (query && !query->empty() && onSearchPrompt_) {
            onSearchPrompt_(*query);
        }
        return consumed;
    }
    if (watched == pageArea_ && event->type() == QEvent::Resize) {
        refreshPage();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ombrix::ui
