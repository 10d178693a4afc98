#include "ui/window/TabBarView.h"

#include "tabs/TabManager.h"
#include "ui/platform/SymbolIcon.h"

#include <QMouseEvent>
#include <QSet>
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
        "QTabBar#TabBarView::tab:hover:!selected { background: rgba(127, 127, 127, 30); }"
        "QToolButton#TabClose { border: none; background: transparent; }"
        "QToolButton#TabClose:hover { background: rgba(127, 127, 127, 60); border-radius: 3px; }");

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
    // Only what changed: the bar lays out every entry again at each insertion or removal,
    // so rebuilding it whole for each opened file grew with the square of the tabs.
    const auto& tabs = tabs_->tabs();
    QSet<QString> wanted;
    for (const auto& tab : tabs) {
        wanted.insert(QString::fromStdString(tab->id.toString()));
    }
    syncing_ = true;
    for (int i = count() - 1; i >= 0; --i) {
        if (!wanted.contains(tabData(i).toString())) {
            removeTab(i);
        }
    }
    for (int i = 0; i < int(tabs.size()); ++i) {
        const auto& tab = *tabs[std::size_t(i)];
        const QString id = QString::fromStdString(tab.id.toString());
        if (i >= count() || tabData(i).toString() != id) {
            int from = -1;
            for (int j = i + 1; j < count() && from < 0; ++j) {
                from = tabData(j).toString() == id ? j : -1;
            }
            if (from >= 0) {
                moveTab(from, i);
            } else {
                insertEntry(i, id, QString::fromStdString(tab.document->name));
            }
        }
        const QString name = QString::fromStdString(tab.document->name);
        if (tabText(i) != name) {
            setTabText(i, name);
        }
        const QString where = QString::fromStdString(tab.document->url.string());
        if (tabToolTip(i) != where) {
            setTabToolTip(i, where);
        }
    }
    syncing_ = false;
    syncCurrent();
}

void TabBarView::insertEntry(int index, const QString& id, const QString& name) {
    insertTab(index, name);
    setTabData(index, id);
    auto* close = new QToolButton(this);
    close->setObjectName("TabClose");
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    close->setFixedSize(16, 16);
    close->setIconSize(QSize(10, 10));
    if (closeIcon_.isNull()) {
        closeIcon_ = SymbolIcon::icon("xmark", palette().color(QPalette::WindowText), 10);
    }
    close->setIcon(closeIcon_);
    close->setToolTip(tr("Close Tab"));
    close->setProperty(kTabIdProperty, id);
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
