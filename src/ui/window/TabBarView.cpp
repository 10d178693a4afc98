#include "ui/window/TabBarView.h"

#include "document/TabManager.h"
#include "ui/platform/SymbolIcon.h"

#include <QMouseEvent>
#include <QToolButton>

namespace ombrix::ui {

namespace {
constexpr int kBarHeight = 40;
const char* kTabIdProperty = "ombrixTabId";
} // namespace

TabBarView::TabBarView(std::shared_ptr<TabManager> tabs, CloseRequest onClose, QWidget* parent)
    : QTabBar(parent), tabs_(std::move(tabs)), onClose_(std::move(onClose)) {
    setObjectName("TabBarView");
    setDocumentMode(true);
    setExpanding(false);
    setDrawBase(false);
    setElideMode(Qt::ElideMiddle);
    setUsesScrollButtons(true);
    setFocusPolicy(Qt::NoFocus);
    // A rounded accent background at 20 % marks the active tab; the others stay clear.
    setStyleSheet(
        "QTabBar#TabBarView { background: palette(window); }"
        "QTabBar#TabBarView::tab { background: transparent; border: none; border-radius: 6px;"
        " padding: 6px 12px; margin: 4px 2px; }"
        "QTabBar#TabBarView::tab:selected { background: rgba(31, 111, 235, 51); }"
        "QTabBar#TabBarView::tab:hover:!selected { background: rgba(127, 127, 127, 30); }");

    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (syncing_) {
            return;
        }
        if (auto tab = sessionAt(index)) {
            tabs_->activate(*tab);
        }
    });
    tabsObservation_ = tabs_->tabs.observe([this](const auto&) { rebuild(); });
    activeObservation_ = tabs_->activeTabID.observe([this](const auto&) { syncCurrent(); });
    rebuild();
}

QSize TabBarView::sizeHint() const {
    QSize hint = QTabBar::sizeHint();
    hint.setHeight(kBarHeight);
    return hint;
}

std::shared_ptr<TabSession> TabBarView::sessionAt(int index) const {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    const QString id = tabData(index).toString();
    for (const auto& tab : tabs_->tabs()) {
        if (QString::fromStdString(tab->id.toString()) == id) {
            return tab;
        }
    }
    return nullptr;
}

void TabBarView::cycle(int delta) {
    const int n = count();
    if (n < 2) {
        return;
    }
    const int next = ((currentIndex() + delta) % n + n) % n;
    if (auto tab = sessionAt(next)) {
        tabs_->activate(*tab);
    }
}

void TabBarView::rebuild() {
    syncing_ = true;
    while (count() > 0) {
        removeTab(count() - 1);
    }
    for (const auto& tab : tabs_->tabs()) {
        const QString name = QString::fromStdString(tab->document->name);
        const int index = addTab(name);
        setTabData(index, QString::fromStdString(tab->id.toString()));
        setTabToolTip(index, QString::fromStdString(tab->document->url.string()));

        auto* close = new QToolButton(this);
        close->setAutoRaise(true);
        close->setFocusPolicy(Qt::NoFocus);
        close->setFixedSize(16, 16);
        close->setIconSize(QSize(10, 10));
        close->setIcon(SymbolIcon::icon("xmark", palette().color(QPalette::WindowText), 10));
        close->setToolTip(tr("Close Tab"));
        close->setStyleSheet("QToolButton { border: none; background: transparent; }"
                             "QToolButton:hover { background: rgba(127, 127, 127, 60);"
                             " border-radius: 3px; }");
        close->setProperty(kTabIdProperty, tabData(index));
        connect(close, &QToolButton::clicked, this, [this, close] {
            for (int i = 0; i < count(); ++i) {
                if (tabData(i) == close->property(kTabIdProperty)) {
                    requestClose(i);
                    return;
                }
            }
        });
        setTabButton(index, QTabBar::RightSide, close);
    }
    syncing_ = false;
    syncCurrent();
}

void TabBarView::syncCurrent() {
    const auto active = tabs_->activeTabID();
    syncing_ = true;
    for (int i = 0; i < count(); ++i) {
        if (active && tabData(i).toString() == QString::fromStdString(active->toString())) {
            setCurrentIndex(i);
            break;
        }
    }
    syncing_ = false;
}

void TabBarView::requestClose(int index) {
    if (auto tab = sessionAt(index); tab && onClose_) {
        onClose_(tab);
    }
}

void TabBarView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        const int index = tabAt(event->position().toPoint());
        if (index >= 0) {
            requestClose(index);
            event->accept();
            return;
        }
    }
    QTabBar::mouseReleaseEvent(event);
}

} // namespace ombrix::ui
