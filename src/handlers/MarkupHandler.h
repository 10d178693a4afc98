#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/RedrawTargets.h"
#include "contracts/ActionHandler.h"

#include <memory>

namespace ombrix {

class AnnotationService;
class AppUndoManager;
class MarkupController;
class TabManager;

// "markup": highlights and underlines over a page-space rectangle, through the markup
// controller's region rule (one undoable step), and undo and redo themselves (handed here
// directly; the registry has no contract for them).
class MarkupHandler final : public ActionHandler {
public:
    MarkupHandler(std::shared_ptr<TabManager> tabManager,
                  std::shared_ptr<AnnotationService> annotationService,
                  std::shared_ptr<AppUndoManager> undoManager, RedrawTargets redraw = {},
                  std::shared_ptr<MarkupController> markup = nullptr);

    std::string targetName() const override { return "markup"; }
    Outcome handle(const DispatchContext& context) override;

    const std::shared_ptr<TabManager>& tabManager() const { return tabManager_; }
    const std::shared_ptr<AnnotationService>& annotationService() const {
        return annotationService_;
    }
    const std::shared_ptr<AppUndoManager>& undoManager() const { return undoManager_; }

private:
    std::shared_ptr<TabManager> tabManager_;
    std::shared_ptr<AnnotationService> annotationService_;
    std::shared_ptr<AppUndoManager> undoManager_;
    RedrawTargets redraw_;
    std::shared_ptr<MarkupController> markup_;
};

} // namespace ombrix

OMBRIX_API_END
