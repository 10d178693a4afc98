#include "handlers/TextHandler.h"

#include "annotations/AnnotationRecord.h"
#include "annotations/MarkupController.h"
#include "core/Uuid.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ViewPort.h"
#include "tabs/TabManager.h"

#include <algorithm>

namespace ombrix {

TextHandler::TextHandler(std::shared_ptr<TabManager> tabManager,
                         std::shared_ptr<AppUndoManager> undoManager,
                         std::shared_ptr<const ActiveViews> views,
                         std::shared_ptr<MarkupController> markup)
    : tabManager_(std::move(tabManager)), undoManager_(std::move(undoManager)),
      views_(std::move(views)),
      markup_(markup ? std::move(markup) : std::make_shared<MarkupController>(undoManager_)) {}

Outcome TextHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    auto engine = tab ? PDFKitBridge::engineDocument(*tab->document) : nullptr;
    if (!engine) {
        return Outcome::done();
    }
    auto refusal = [&] {
        return Outcome::failed(engine->markupRefusal().value_or("The text could not be placed."));
    };
    switch (context.action) {
    case ActionID::textEdit: {
        auto record = context.value<AnnotationRecord>("record");
        auto text = context.value<std::string>("text");
        if (!record || !text || !record->pdfAnnotationRef) {
            return Outcome::done();
        }
        if (markup_->setText(tab, record->pdfAnnotationRef, *text)) {
            redraw();
        }
        return Outcome::done();
    }
    case ActionID::textAdd: {
        auto bounds = context.value<Rect>("bounds");
        auto pageIndex = context.value<int>("pageIndex");
        auto text = context.value<std::string>("text");
        if (!bounds || !pageIndex || !text) {
            return Outcome::done();
        }
        auto page = engine->page(*pageIndex);
        if (!page) {
            return Outcome::done();
        }
        if (!markup_->addFreeText(tab, page, *bounds, *text, SystemColors::black, kFontSize)) {
            return refusal();
        }
        redraw();
        return Outcome::done();
    }
    default:
        return Outcome::done();
    }
}

void TextHandler::redraw() const {
    auto canvas = views_ ? views_->canvas : nullptr;
    if (!canvas) {
        return;
    }
    if (auto view = canvas->pdfView()) {
        view->setNeedsDisplay();
    }
}

} // namespace ombrix
