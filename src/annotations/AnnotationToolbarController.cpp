#include "annotations/AnnotationToolbarController.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkedDocument.h"
#include "core/Logging.h"
#include "core/UnicodeText.h"
#include "core/Uuid.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/ViewPort.h"

#include <string>

namespace ombrix {

AnnotationToolbarController::AnnotationToolbarController(
    std::weak_ptr<MarkedDocument> session, std::weak_ptr<pdfkit::ViewPort> pdfView,
    std::shared_ptr<AnnotationService> service, std::shared_ptr<AppUndoManager> undoManager,
    RedrawTargets redraw, std::shared_ptr<const Logging> log)
    : session_(std::move(session)), pdfView_(std::move(pdfView)), service_(std::move(service)),
      undoManager_(std::move(undoManager)), redraw_(std::move(redraw)), log_(std::move(log)) {
    if (!log_) {
        log_ = std::make_shared<Logging>(Logging::kSubsystem, Logging::kCategory);
    }
    publishEmpty();
    observe();
}

void AnnotationToolbarController::rebind(std::weak_ptr<pdfkit::ViewPort> pdfView) {
    pdfView_ = std::move(pdfView);
    cancellables_.clear();
    observe();
}

void AnnotationToolbarController::observe() {
    auto view = pdfView_.lock();
    if (!view) {
        return;
    }
    // The token lives in this object and cuts the connection when it goes, so the
    // callback never sees a controller that no longer exists.
    cancellables_.push_back(view->onSelectionChanged([this] { updateSelectionState(); }));
}

void AnnotationToolbarController::publishEmpty() {
    currentSelection = std::nullopt;
    selectionRect = Rect{};
}

void AnnotationToolbarController::updateSelectionState() {
    auto view = pdfView_.lock();
    if (!view) {
        return;
    }
    auto selection = view->currentSelection();
    const std::string text =
        selection && selection->string() ? trimmingWhitespaceAndNewlines(*selection->string()) : "";
    if (!selection || text.empty()) {
        publishEmpty();
        return;
    }
    currentSelection = selection;
    const auto pages = selection->pages();
    if (pages.empty() || !pages.front()) {
        return;
    }
    const auto& page = *pages.front();
    // The view port's space is the one the viewer places its controls in.
    const Rect onView = view->convertRectFromPage(selection->bounds(page), page).standardized();
    selectionRect =
        Rect{onView.minX(), view->bounds().height - onView.maxY(), onView.width, onView.height};
}

void AnnotationToolbarController::highlightSelection(const HighlightColor& color) {
    auto session = session_.lock();
    auto view = pdfView_.lock();
    // A copy: clearing the view's selection below publishes a new value.
    const auto selection = currentSelection.get();
    auto engine =
        session && session->document ? PDFKitBridge::engineDocument(*session->document) : nullptr;
    std::shared_ptr<pdfkit::Page> page;
    std::optional<int> pageIndex;
    if (selection) {
        const auto pages = selection->pages();
        if (!pages.empty()) {
            page = pages.front();
        }
    }
    // A page of some other document (the view showing another tab) has no index here.
    if (engine && page) {
        pageIndex = engine->indexOf(*page);
    }
    if (!view || !pageIndex) {
        log_->info("❌ Highlight failed: Missing session, pdfView, or selection.");
        return;
    }

    // Pages after the first are left alone: one rectangle over every selected line of the
    // first page, the gaps between line ends included.
    AnnotationAppearance appearance = AnnotationAppearance::defaultHighlight();
    appearance.color = color.nsColor;
    AnnotationRecord record(Uuid::random(), *pageIndex, AnnotationType::highlight,
                            selection->bounds(*page), std::nullopt, appearance);
    undoManager_->record(std::make_shared<AddAnnotationCommand>(
        session->document, std::move(record), service_, session, redraw_));
    log_->info("✅ Highlight created on page " + std::to_string(*pageIndex + 1));

    view->clearSelection();
    publishEmpty();
}

} // namespace ombrix
