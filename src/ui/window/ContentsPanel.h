#pragma once

#include "pdfkit/Link.h"

#include <QWidget>
#include <memory>

class QLabel;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace ombrix {
class AppContainer;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

// The active document's contents: its outline as a tree, read off the GUI thread.
// Choosing an entry moves the tab and the view to its destination. GUI thread only; the
// container outlives it.
class ContentsPanel : public QWidget {
    Q_OBJECT
public:
    explicit ContentsPanel(AppContainer& container, QWidget* parent = nullptr);

    void setSession(std::shared_ptr<TabSession> session);
    void choose(QTreeWidgetItem* item);

    QTreeWidget* tree() const { return tree_; }
    // "Reading…", the tree, or "No contents".
    QStackedWidget* body() const { return body_; }
    // The outline shown, once read (tests).
    bool loaded() const { return loaded_; }

private:
    void show(const std::vector<pdfkit::OutlineItem>& outline);

    AppContainer& container_;
    std::shared_ptr<TabSession> session_;
    std::vector<pdfkit::Destination> destinations_; // by the items' data index
    QStackedWidget* body_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    int generation_ = 0;
    bool loaded_ = false;
};

} // namespace ombrix::ui
