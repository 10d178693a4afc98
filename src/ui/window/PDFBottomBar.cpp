#include "ui/window/PDFBottomBar.h"

#include "app/AppContainer.h"
#include "core/Executor.h"
#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "extraction/PDFPageLabelResolver.h"
#include "pdfkit/ViewPort.h"
#include "search/LayoutEngine.h"
#include "tabs/TabSession.h"
#include "ui/window/LoadingBar.h"
#include "ui/window/ToolButton.h"
#include "ui/window/WindowState.h"

#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <algorithm>

namespace ombrix::ui {

namespace {
constexpr auto kLoadingTime = std::chrono::milliseconds(350);
}

PDFBottomBar::PDFBottomBar(AppContainer& container, WindowState& state, QWidget* parent)
    : QWidget(parent), container_(container), state_(state) {
    setObjectName("PDFBottomBar");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    column->addWidget(separator);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(4);
    column->addLayout(row);

    connect(addButton("chevron.left", tr("Previous Page")), &QToolButton::clicked, this, [this] {
        if (session_) {
            goToPage(session_->currentPage() - 1LL);
        }
    });
    pageField_ = new QLineEdit(this);
    pageField_->setObjectName("pageField");
    pageField_->setFixedWidth(45);
    pageField_->setAlignment(Qt::AlignCenter);
    pageField_->setBackgroundRole(QPalette::Base);
    pageField_->installEventFilter(this);
    connect(pageField_, &QLineEdit::returnPressed, this, &PDFBottomBar::submitPageField);
    row->addWidget(pageField_);
    pageCount_ = new QLabel(this);
    pageCount_->setForegroundRole(QPalette::PlaceholderText);
    row->addWidget(pageCount_);
    connect(addButton("chevron.right", tr("Next Page")), &QToolButton::clicked, this, [this] {
        if (session_) {
            goToPage(session_->currentPage() + 1LL);
        }
    });
    row->addSpacing(12);
    // These two use their own bounds, wider than the menu's zoom commands.
    connect(addButton("minus.magnifyingglass", tr("Zoom Out")), &QToolButton::clicked, this,
            [this] {
                if (session_) {
                    session_->zoom = std::max(session_->zoom() - 0.1, kMinZoom);
                }
            });
    connect(addButton("plus.magnifyingglass", tr("Zoom In")), &QToolButton::clicked, this, [this] {
        if (session_) {
            session_->zoom = std::min(session_->zoom() + 0.1, kMaxZoom);
        }
    });
    row->addSpacing(12);
    connect(addButton("doc", tr("Single Page")), &QToolButton::clicked, this,
            [this] { applyLayout(LayoutMode::single); });
    connect(addButton("book", tr("Two Pages")), &QToolButton::clicked, this,
            [this] { applyLayout(LayoutMode::twoUp); });
    connect(addButton("doc.text", tr("Continuous")), &QToolButton::clicked, this,
            [this] { applyLayout(LayoutMode::continuous); });
    row->addStretch(1);

    resultCount_ = new QLabel(this);
    resultCount_->setObjectName("resultCount");
    QFont caption = resultCount_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    resultCount_->setFont(caption);
    QPalette blue = resultCount_->palette();
    blue.setColor(QPalette::WindowText, ToolButton::accentBlue());
    resultCount_->setPalette(blue);
    row->addWidget(resultCount_);

    loadingBar_ = new LoadingBar(this);
    loadingFade_ = new QGraphicsOpacityEffect(loadingBar_);
    loadingBar_->setGraphicsEffect(loadingFade_);
    fadeAnimation_ = new QPropertyAnimation(loadingFade_, "opacity", this);
    fadeAnimation_->setDuration(200);
    connect(fadeAnimation_, &QPropertyAnimation::finished, this, [this] {
        if (loadingFade_->opacity() <= 0.0) {
            loadingBar_->hide();
        }
    });
    loadingBar_->hide();
    row->addWidget(loadingBar_);

    searchTextObservation_ =
        state_.searchText.observe([this](const auto&) { refreshResultCount(); });
    setSession(nullptr);
}

ToolButton* PDFBottomBar::addButton(const QString& symbol, const QString& toolTip) {
    auto* button = new ToolButton(symbol, toolTip, this);
    button->setObjectName(symbol);
    static_cast<QHBoxLayout*>(layout()->itemAt(1)->layout())->addWidget(button);
    buttons_.push_back(button);
    return button;
}

ToolButton* PDFBottomBar::button(const QString& symbol) const {
    for (auto* b : buttons_) {
        if (b->symbol() == symbol) {
            return b;
        }
    }
    return nullptr;
}

void PDFBottomBar::setSession(std::shared_ptr<TabSession> session) {
    sessionObservations_.clear();
    session_ = std::move(session);
    if (session_) {
        sessionObservations_.push_back(session_->currentPage.observe([this](int) {
            // A page change while the user is typing a page leaves the typing alone.
            if (!pageField_->hasFocus()) {
                resetPageField();
            }
            refreshButtons();
        }));
        sessionObservations_.push_back(
            session_->searchResults.observe([this](const auto&) { refreshResultCount(); }));
        sessionObservations_.push_back(
            session_->isPageLoading.observe([this](bool) { refreshLoading(); }));
        const auto count = session_->document->pageCount;
        pageCount_->setText(tr("of %1").arg(count));
    } else {
        pageCount_->clear();
    }
    setEnabled(session_ != nullptr);
    resetPageField();
    refreshButtons();
    refreshResultCount();
    refreshLoading();
}

void PDFBottomBar::resetPageField() {
    pageField_->setText(session_ ? QString::fromStdString(PDFPageLabelResolver::displayLabel(
                                       *session_->document, session_->currentPage()))
                                 : QString());
}

void PDFBottomBar::endEditing() {
    if (pageField_->hasFocus()) {
        pageField_->clearFocus();
    }
}

void PDFBottomBar::refreshButtons() {
    const int page = session_ ? session_->currentPage() : 0;
    const long long count = session_ ? session_->document->pageCount : 0;
    button("chevron.left")->setEnabled(session_ && page > 0);
    button("chevron.right")->setEnabled(session_ && page < count - 1);
}

void PDFBottomBar::refreshResultCount() {
    const bool show =
        session_ && !state_.searchText().empty() && !session_->searchResults().empty();
    if (show) {
        resultCount_->setText(tr("%1 results").arg(session_->searchResults().size()));
    }
    resultCount_->setVisible(show);
}

void PDFBottomBar::refreshLoading() {
    const bool loading = session_ && session_->isPageLoading();
    fadeAnimation_->stop();
    if (loading) {
        loadingBar_->show();
        fadeAnimation_->setStartValue(loadingFade_->opacity());
        fadeAnimation_->setEndValue(1.0);
    } else {
        fadeAnimation_->setStartValue(loadingFade_->opacity());
        fadeAnimation_->setEndValue(0.0);
    }
    fadeAnimation_->start();
}

void PDFBottomBar::submitPageField() {
    if (!session_) {
        return;
    }
    const std::string typed = pageField_->text().trimmed().toStdString();
    const auto index = PDFPageLabelResolver::pageIndexForInput(*session_->document, typed);
    if (!index) {
        if (const auto& ui = container_.userInteraction()) {
            ui->beep();
        }
        resetPageField();
        return;
    }
    goToPage(*index);
}

void PDFBottomBar::goToPage(long long requested) {
    if (!session_) {
        return;
    }
    const long long last = std::max<long long>(session_->document->pageCount - 1, 0);
    const int target = static_cast<int>(std::clamp(requested, 0LL, last));
    if (target == session_->currentPage()) {
        resetPageField();
        endEditing();
        return;
    }
    session_->isPageLoading = true;
    session_->currentPage = target;
    if (auto view = container_.activePDFView()) {
        if (auto engine = PDFKitBridge::engineDocument(*session_->document)) {
            if (auto page = engine->page(target)) {
                view->goToPage(page);
            }
        }
    }
    container_.mainQueue().postAfter(kLoadingTime, [weak = std::weak_ptr<TabSession>(session_)] {
        if (auto tab = weak.lock()) {
            tab->isPageLoading = false;
        }
    });
    endEditing();
    resetPageField();
}

void PDFBottomBar::applyLayout(LayoutMode mode) {
    if (!session_) {
        return;
    }
    session_->layout = mode;
    if (auto view = container_.activePDFView()) {
        container_.layoutEngine()->apply(mode, *view);
    }
}

bool PDFBottomBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pageField_) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            resetPageField();
            pageField_->clearFocus();
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            resetPageField();
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ombrix::ui
