#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "contracts/ActionHandler.h"

#include <memory>

namespace ombrix {

struct ActiveViews;
class AppUndoManager;
class MarkupController;
class TabManager;

// "text_edit": free-text annotations added to a page, and annotation contents edited,
// through the markup controller: each is one step of the undo history.
class TextHandler final : public ActionHandler {
public:
    static constexpr double kFontSize = 14;
    static constexpr const char* kFontFamily = "Helvetica";

    // Without a controller it makes one of its own over `undoManager`.
    TextHandler(std::shared_ptr<TabManager> tabManager, std::shared_ptr<AppUndoManager> undoManager,
                std::shared_ptr<const ActiveViews> views,
                std::shared_ptr<MarkupController> markup = nullptr);

    std::string targetName() const override { return "text_edit"; }
    Outcome handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<AppUndoManager>& undoManager() const { return undoManager_; }

private:
    void redraw() const;

    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<AppUndoManager> undoManager_;
    std::shared_ptr<const ActiveViews> views_;
    std::shared_ptr<MarkupController> markup_;
};

} // namespace ombrix

OMBRIX_API_END
