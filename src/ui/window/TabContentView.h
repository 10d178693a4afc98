#pragma once

#include "core/Cancellable.h"

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QStackedWidget;

namespace ombrix {
class AppContainer;
class TabSession;
class VimEngine;
} // namespace ombrix

namespace ombrix::ui {

class ContentsPanel;
class HighlightPanel;
class PDFBottomBar;
class PDFCanvasView;
class PDFCanvasWrapper;
class SearchPanel;
class VimCommandBarView;
class WindowState;

// The active tab's content: the page area with the command bar and the bottom bar, and
// beside it the search panel, the contents or the highlight panel (in that rank when
// more than one is asked for). Hosts the modal keyboard engine on the page area's keys. GUI thread
// only; the container and the state outlive it.
class TabContentView : public QWidget {
    Q_OBJECT
public:
    TabContentView(AppContainer& container, WindowState& state, QWidget* parent = nullptr);
    ~TabContentView() override;

    void setSession(std::shared_ptr<TabSession> session);
    const std::shared_ptr<TabSession>& session() const { return session_; }

    // The page view: where the keys of the modal engine arrive.
    QWidget* pageArea() const;
    PDFCanvasView* canvas() const { return canvas_; }
    // The canvas with the markup made on it.
    PDFCanvasWrapper* canvasWrapper() const { return wrapper_; }
    PDFBottomBar* bottomBar() const { return bottomBar_; }
    SearchPanel* searchPanel() const { return searchPanel_; }
    QWidget* highlightPanel() const;
    HighlightPanel* highlights() const { return highlightPanel_; }
    ContentsPanel* contentsPanel() const { return contentsPanel_; }
    VimCommandBarView* commandBar() const { return commandBar_; }
    VimEngine* vimEngine() const { return vim_.get(); }

    // Called with the query of a "/" prompt ended by Return.
    void setSearchPromptHandler(std::function<void(const std::string&)> handler) {
        onSearchPrompt_ = std::move(handler);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshSideArea();
    void updateCanvas();

    AppContainer& container_;
    WindowState& state_;
    std::shared_ptr<TabSession> session_;
    std::unique_ptr<VimEngine> vim_;
    PDFCanvasWrapper* wrapper_ = nullptr;
    PDFCanvasView* canvas_ = nullptr;
    VimCommandBarView* commandBar_ = nullptr;
    PDFBottomBar* bottomBar_ = nullptr;
    QStackedWidget* sideArea_ = nullptr;
    SearchPanel* searchPanel_ = nullptr;
    HighlightPanel* highlightPanel_ = nullptr;
    ContentsPanel* contentsPanel_ = nullptr;
    std::function<void(const std::string&)> onSearchPrompt_;
    std::vector<Cancellable> stateObservations_;
    std::vector<Cancellable> sessionObservations_;
};

} // namespace ombrix::ui
