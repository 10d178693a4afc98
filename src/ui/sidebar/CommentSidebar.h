#pragma once

#include "core/Cancellable.h"

#include <QListWidget>
#include <memory>
#include <vector>

namespace ombrix {
class TabSession;
}

namespace ombrix::ui {

// The tab's annotation records as a list, 250 wide: each record's text as the headline
// (its kind when it has none) over "Page N". GUI thread only.
class CommentSidebar : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 250;

    explicit CommentSidebar(QWidget* parent = nullptr);
    ~CommentSidebar() override;

    void setSession(std::shared_ptr<TabSession> session);

private:
    void refresh();

    std::shared_ptr<TabSession> session_;
    std::vector<Cancellable> observations_;
};

} // namespace ombrix::ui
