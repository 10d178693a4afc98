#pragma once

#include <QTabWidget>
#include <memory>

namespace ombrix {
class AppContainer;
class BacklinkHighlightManager;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

class CommentSidebar;
class HighlightSidebar;

// The window's highlight side panel: the highlight sidebar, and the comment list beside
// it as a second page. Choosing a highlight moves the tab to its page. GUI thread only;
// the container outlives the panel.
class HighlightPanel : public QTabWidget {
    Q_OBJECT
public:
    explicit HighlightPanel(AppContainer& container, QWidget* parent = nullptr);

    void setSession(std::shared_ptr<TabSession> session);

    HighlightSidebar* sidebar() const { return sidebar_; }
    CommentSidebar* comments() const { return comments_; }
    const std::shared_ptr<BacklinkHighlightManager>& manager() const { return manager_; }

private:
    std::shared_ptr<BacklinkHighlightManager> manager_;
    std::shared_ptr<TabSession> session_;
    HighlightSidebar* sidebar_ = nullptr;
    CommentSidebar* comments_ = nullptr;
};

} // namespace ombrix::ui
