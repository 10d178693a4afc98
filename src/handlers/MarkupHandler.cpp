#include "handlers/MarkupHandler.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkupController.h"
#include "core/Geometry.h"
#include "core/Uuid.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "tabs/TabManager.h"
#include "tabs/TabSession.h"

namespace ombrix {

MarkupHandler::MarkupHandler(std::shared_ptr<TabManager> tabManager,
                             std::shared_ptr<AnnotationService> annotationService,
                             std::shared_ptr<AppUndoManager> undoManager, RedrawTargets redraw,
                             std::shared_ptr<MarkupController> markup)
    : tabManager_(std::move(tabManager)), annotationService_(std::move(annotationService)),
      undoManager_(std::move(undoManager)), redraw_(std::move(redraw)),
      markup_(markup ? std::move(markup) : std::make_shared<MarkupController>(undoManager_)) {}

Outcome MarkupHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    if (!tab) {
        return Outcome::done();
    }
    AnnotationType type = AnnotationType::highlight;
    switch (context.action) {
    case ActionID::editUndo:
        undoManager_->undo();
        return Outcome::done();
    case ActionID::editRedo:
        undoManager_->redo();
        return Outcome::done();
    case ActionID::markupHighlight:
        break;
    case ActionID::markupUnderline:
        type = AnnotationType::underline;
        break;
    default:
        return Outcome::done();
    }

    auto bounds = context.value<Rect>("bounds");
    auto pageIndex = context.value<int>("pageIndex");
    if (!bounds || !pageIndex) {
        return Outcome::done();
    }
    // Nothing the engine could place: an undo entry that does nothing would only
    // confuse the next undo.
    if (!bounds->isFinite() || *pageIndex < 0 || *pageIndex >= tab->document->pageCount) {
        return Outcome::done();
    }
    auto engine = PDFKitBridge::engineDocument(*tab->document);
    auto page = engine ? engine->page(*pageIndex) : nullptr;
    // The window's rule: a highlight replaces the highlights under it, keeping their
    // comments; the mark carries the page text under it otherwise.
    const AnnotationAppearance& look = AnnotationAppearance::defaultHighlight();
    if (!markup_->markRegion(tab, page, *bounds, type, look.color.withAlpha(look.opacity), true)) {
        auto refusal = engine ? engine->markupRefusal() : std::nullopt;
        return Outcome::failed(refusal.value_or("Nothing could be marked there."));
    }
    requestRedraw(redraw_, false);
    return Outcome::done();
}

} // namespace ombrix
