#include "ui/window/MainToolbar.h"

#include "app/AppContainer.h"
#include "app/AppDelegate.h"
#include "contracts/ContractRegistry.h"
#include "core/NotificationCenter.h"
#include "core/UserInteraction.h"
#include "extraction/HighlightExportCommand.h"
#include "tabs/TabManager.h"
#include "ui/window/ToolButton.h"
#include "ui/window/WindowState.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <cmath>

namespace ombrix::ui {

MainToolbar::MainToolbar(AppContainer& container, WindowState& state, QWidget* parent)
    : QWidget(parent), container_(container), state_(state) {
    setObjectName("MainToolbar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(4);

    connect(addButton("sidebar.left", tr("Highlight Sidebar")), &QToolButton::clicked, this,
            [this] { state_.showSidebar = !state_.showSidebar(); });
    addDivider();
    connect(addButton("folder", tr("Open PDF")), &QToolButton::clicked, this,
            [this] { dispatch(ActionID::docOpen); });
    connect(addButton("square.and.arrow.down", tr("Save")), &QToolButton::clicked, this,
            [this] { dispatch(ActionID::docSave); });
    connect(addButton("magnifyingglass", tr("Search")), &QToolButton::clicked, this,
            [this] { state_.showSearch = !state_.showSearch(); });
    addDivider();
    connect(addButton("arrow.uturn.backward", tr("Undo")), &QToolButton::clicked, this,
            [this] { dispatch(ActionID::editUndo); });
    connect(addButton("arrow.uturn.forward", tr("Redo")), &QToolButton::clicked, this,
            [this] { dispatch(ActionID::editRedo); });
    addDivider();
    connect(addButton("note.text", tr("Add Note")), &QToolButton::clicked, this, [this] {
        if (onAddNote) {
            onAddNote();
        }
    });
    // Named by what they do: a click places free text, a drag draws a rectangle.
    connect(addButton("textformat", tr("Add Free Text")), &QToolButton::clicked, this,
            [this] { state_.toggleTextMode(); });
    connect(addButton("square.dashed", tr("Draw Rectangle")), &QToolButton::clicked, this,
            [this] { state_.toggleShapeMode(); });
    addDivider();
    connect(addButton("highlighter", tr("Copy Highlights as Markdown")), &QToolButton::clicked,
            this, [this] { exportHighlights(); });

    row->addStretch(1);
    zoomLabel_ = new QLabel(this);
    zoomLabel_->setObjectName("zoomPercentage");
    QFont caption = zoomLabel_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    zoomLabel_->setFont(caption);
    zoomLabel_->setForegroundRole(QPalette::PlaceholderText);
    zoomLabel_->setContentsMargins(0, 0, 8, 0);
    row->addWidget(zoomLabel_);

    for (auto* flag :
         {&state_.showSearch, &state_.showSidebar, &state_.isTextMode, &state_.isShapeMode}) {
        observations_.push_back(flag->observe([this](bool) { refreshLooks(); }));
    }
    findCommand_ = NotificationCenter::defaultCenter().addObserver(
        AppDelegate::kFindNotification, [this] { state_.showSearch = true; });
    refreshLooks();
    refreshZoom();
}

ToolButton* MainToolbar::addButton(const QString& symbol, const QString& toolTip) {
    auto* button = new ToolButton(symbol, toolTip, this);
    button->setObjectName(symbol);
    layout()->addWidget(button);
    buttons_.push_back(button);
    return button;
}

void MainToolbar::addDivider() {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(20);
    line->setForegroundRole(QPalette::Mid);
    layout()->addWidget(line);
}

ToolButton* MainToolbar::button(const QString& symbol) const {
    for (auto* b : buttons_) {
        if (b->symbol() == symbol) {
            return b;
        }
    }
    return nullptr;
}

void MainToolbar::dispatch(ActionID action) {
    try {
        container_.registry().dispatch(action, "Toolbar", {});
    } catch (const std::exception&) {
        // Undo and redo have no contract: they go to the undo manager directly. Other
        // commands that cannot run do nothing.
        if (action == ActionID::editUndo) {
            container_.undo();
        } else if (action == ActionID::editRedo) {
            container_.redo();
        }
    }
}

void MainToolbar::exportHighlights() {
    if (const auto& ui = container_.userInteraction()) {
        ombrix::exportHighlights(container_.tabManager()->activeTab().get(), *ui);
    }
}

void MainToolbar::setSession(std::shared_ptr<TabSession> session) {
    session_ = std::move(session);
    zoomObservation_ =
        session_ ? session_->zoom.observe([this](double) { refreshZoom(); }) : Cancellable();
    refreshZoom();
}

void MainToolbar::refreshLooks() {
    button("sidebar.left")->setActive(state_.showSidebar());
    button("magnifyingglass")->setActive(state_.showSearch());
    button("textformat")->setActive(state_.isTextMode());
    button("square.dashed")->setActive(state_.isShapeMode());
}

void MainToolbar::refreshZoom() {
    if (!session_) {
        zoomLabel_->clear();
        zoomLabel_->hide();
        return;
    }
    // The integer part, so 4.999 never reads as 500 %.
    const auto percent = static_cast<long long>(std::floor(session_->zoom() * 100.0 + 1e-9));
    zoomLabel_->setText(QString::number(percent) + "%");
    zoomLabel_->show();
}

} // namespace ombrix::ui
