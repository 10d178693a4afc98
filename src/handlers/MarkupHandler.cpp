#include "handlers/MarkupHandler.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "core/Geometry.h"
#include "core/Uuid.h"
#include "document/TabManager.h"

namespace ombrix {

MarkupHandler::MarkupHandler(std::shared_ptr<TabManager> tabManager,
                             std::shared_ptr<AnnotationService> annotationService,
                             std::shared_ptr<AppUndoManager> undoManager, RedrawTargets redraw)
    : tabManager_(std::move(tabManager)), annotationService_(std::move(annotationService)),
      undoManager_(std::move(undoManager)), redraw_(std::move(redraw)) {}

void MarkupHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    if (!tab) {
        return;
    }
    AnnotationType type = AnnotationType::highlight;
    switch (context.action) {
    case ActionID::editUndo:
        undoManager_->undo();
        return;
    case ActionID::editRedo:
        undoManager_->redo();
        return;
    case ActionID::markupHighlight:
        break;
    case ActionID::markupUnderline:
        type = AnnotationType::underline;
        break;
    default:
        return;
    }

    auto bounds = context.value<Rect>("bounds");
    auto pageIndex = context.value<int>("pageIndex");
    if (!bounds || !pageIndex) {
        return;
    }
    // Nothing the engine could place: an undo entry that does nothing would only
    // confuse the next undo.
    if (!bounds->isFinite() || *pageIndex < 0 || *pageIndex >= tab->document->pageCount) {
        return;
    }
    AnnotationRecord record(Uuid::random(), *pageIndex, type, *bounds, std::nullopt,
                            AnnotationAppearance::defaultHighlight());
    undoManager_->record(std::make_shared<AddAnnotationCommand>(tab->document, std::move(record),
                                                                annotationService_, tab, redraw_));
}

} // namespace ombrix
