#pragma once

#include "contracts/ActionHandler.h"

#include <memory>

namespace ombrix {

struct ActiveViews;
class AppUndoManager;
class TabManager;

// "text_edit": free-text annotations added to a page, and annotation contents edited,
// straight on the engine objects (not through the undo history).
class TextHandler final : public ActionHandler {
public:
    static constexpr double kFontSize = 14;
    static constexpr const char* kFontFamily = "Helvetica";

    TextHandler(std::shared_ptr<TabManager> tabManager, std::shared_ptr<AppUndoManager> undoManager,
                std::shared_ptr<const ActiveViews> views);

    std::string targetName() const override { return "text_edit"; }
    void handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<AppUndoManager>& undoManager() const { return undoManager_; }

private:
    void redraw() const;

    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<AppUndoManager> undoManager_;
    std::shared_ptr<const ActiveViews> views_;
};

} // namespace ombrix
