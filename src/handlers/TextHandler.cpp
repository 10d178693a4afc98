#include "handlers/TextHandler.h"

#include "annotations/AnnotationRecord.h"
#include "app/ActiveViews.h"
#include "core/Uuid.h"
#include "document/PDFKitBridge.h"
#include "document/TabManager.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ViewPort.h"

#include <algorithm>

namespace ombrix {

TextHandler::TextHandler(std::shared_ptr<TabManager> tabManager,
                         std::shared_ptr<AppUndoManager> undoManager,
                         std::shared_ptr<const ActiveViews> views)
    : tabManager_(std::move(tabManager)), undoManager_(std::move(undoManager)),
      views_(std::move(views)) {}

void TextHandler::handle(const DispatchContext& context) {
    auto tab = tabManager_->activeTab();
    if (!tab) {
        return;
    }
    auto engine = PDFKitBridge::engineDocument(*tab->document);
    if (!engine) {
        return;
    }

    switch (context.action) {
    case ActionID::textEdit: {
        auto record = context.value<AnnotationRecord>("record");
        auto text = context.value<std::string>("text");
        if (!record || !text || !record->pdfAnnotationRef) {
            return;
        }
        record->pdfAnnotationRef->setContents(*text);
        tab->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const AnnotationRecord& r) { return r.id == record->id; });
            if (it != list.end()) {
                it->content = *text;
            }
        });
        // The file no longer matches the document; without the flag the change could
        // be dropped unsaved.
        tab->document->markDirty();
        redraw();
        break;
    }
    case ActionID::textAdd: {
        auto bounds = context.value<Rect>("bounds");
        auto pageIndex = context.value<int>("pageIndex");
        auto text = context.value<std::string>("text");
        if (!bounds || !pageIndex || !text || !bounds->isFinite()) {
            return;
        }
        auto page = engine->page(*pageIndex);
        if (!page) {
            return;
        }
        auto annotation = pdfkit::Annotation::create(*bounds, "FreeText");
        if (!annotation) {
            return;
        }
        annotation->setContents(*text);
        annotation->setFont(pdfkit::Font{kFontFamily, kFontSize});
        annotation->setFontColor(SystemColors::black);
        annotation->setColor(SystemColors::clear);
        page->addAnnotation(annotation);

        AnnotationRecord record(Uuid::random(), *pageIndex, AnnotationType::freeText, *bounds,
                                *text, AnnotationAppearance::defaultText(), annotation);
        tab->annotations.mutate(
            [&](std::vector<AnnotationRecord>& list) { list.push_back(std::move(record)); });
        tab->document->markDirty();
        redraw();
        break;
    }
    default:
        break;
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
