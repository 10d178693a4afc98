#pragma once

#include "core/Cancellable.h"

#include <QIcon>
#include <QTabBar>
#include <functional>
#include <memory>

namespace ombrix {
class TabManager;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

// One entry per open tab, in order, the active one marked; clicking activates, the close
// button or a middle click asks to close. Mirrors the tab manager and never changes the
// list itself: closing goes through `onClose`, which may ask about unsaved changes first.
// GUI thread only; the tab manager must outlive the bar.
class TabBarView : public QTabBar {
    Q_OBJECT
public:
    using CloseRequest = std::function<void(const std::shared_ptr<TabSession>&)>;

    TabBarView(std::shared_ptr<TabManager> tabs, CloseRequest onClose, QWidget* parent = nullptr);

    // The tab shown at `index`, or null.
    std::shared_ptr<TabSession> sessionAt(int index) const;
    // Steps the active tab by `delta`, wrapping around (Ctrl+Tab, Ctrl+Shift+Tab).
    void cycle(int delta);

    QSize sizeHint() const override;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void rebuild();
    void insertEntry(int index, const QString& id, const QString& name);
    void syncCurrent();
    void requestClose(int index);

    std::shared_ptr<TabManager> tabs_;
    CloseRequest onClose_;
    bool syncing_ = false;
    QIcon closeIcon_;
    Cancellable tabsObservation_;
    Cancellable activeObservation_;
};

} // namespace ombrix::ui
