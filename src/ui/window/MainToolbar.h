#pragma once

#include "core/Cancellable.h"

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;

namespace ombrix {
class AppContainer;
class TabSession;
enum class ActionID;
} // namespace ombrix

namespace ombrix::ui {

class ToolButton;
class WindowState;

// The row of tool buttons under the tab bar, in groups (sidebar | open, save, search |
// undo, redo | add note, add free text, draw rectangle | highlights), and the active tab's zoom at the
// right. Opens the search panel when "FindCommandTriggered" is posted. GUI thread only;
// the container and the state must outlive it.
class MainToolbar : public QWidget {
    Q_OBJECT
public:
    MainToolbar(AppContainer& container, WindowState& state, QWidget* parent = nullptr);

    // The tab whose zoom is shown; null hides the percentage.
    void setSession(std::shared_ptr<TabSession> session);

    ToolButton* button(const QString& symbol) const;
    // "Add Note": a sticky note on the page shown, its text open for typing.
    std::function<void()> onAddNote;
    QLabel* zoomLabel() const { return zoomLabel_; }

private:
    ToolButton* addButton(const QString& symbol, const QString& toolTip);
    void addDivider();
    void dispatch(ActionID action);
    void exportHighlights();
    void refreshLooks();
    void refreshZoom();

    AppContainer& container_;
    WindowState& state_;
    std::shared_ptr<TabSession> session_;
    QLabel* zoomLabel_ = nullptr;
    std::vector<ToolButton*> buttons_;
    std::vector<Cancellable> observations_;
    Cancellable zoomObservation_;
    Cancellable findCommand_;
};

} // namespace ombrix::ui
