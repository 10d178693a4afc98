#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/HighlightColor.h"
#include "annotations/RedrawTargets.h"
#include "core/Cancellable.h"
#include "core/Geometry.h"
#include "core/Signal.h"
#include "pdfkit/Selection.h"

#include <memory>
#include <optional>
#include <vector>

namespace ombrix {

class AnnotationService;
class AppUndoManager;
class Logging;
class MarkedDocument;

namespace pdfkit {
class ViewPort;
}

// Turns the view's text selection into an undoable highlight, and publishes the
// selection with the rectangle it takes on screen so the viewer can place its highlight
// controls beside it. Holds the tab and the view weakly. Main thread only.
class AnnotationToolbarController {
public:
    // A null log writes to the system log.
    AnnotationToolbarController(std::weak_ptr<MarkedDocument> session,
                                std::weak_ptr<pdfkit::ViewPort> pdfView,
                                std::shared_ptr<AnnotationService> service,
                                std::shared_ptr<AppUndoManager> undoManager,
                                RedrawTargets redraw = {},
                                std::shared_ptr<const Logging> log = nullptr);
    AnnotationToolbarController(const AnnotationToolbarController&) = delete;
    AnnotationToolbarController& operator=(const AnnotationToolbarController&) = delete;

    // The current selection when it holds more than white space; none otherwise.
    Observable<std::optional<pdfkit::Selection>> currentSelection;
    // The selection's part on its first page, in the view's points measured from the
    // view's top edge; all zero without a selection.
    Observable<Rect> selectionRect;

    // Stops following the old view and follows this one.
    void rebind(std::weak_ptr<pdfkit::ViewPort> pdfView);

    // One highlight in the colour's own values over the selection's part on its first
    // page, recorded for undo; the selection is cleared afterwards.
    void highlightSelection(const HighlightColor& color);

private:
    void observe();
    void updateSelectionState();
    void publishEmpty();

    std::weak_ptr<MarkedDocument> session_;
    std::weak_ptr<pdfkit::ViewPort> pdfView_;
    std::shared_ptr<AnnotationService> service_;
    std::shared_ptr<AppUndoManager> undoManager_;
    RedrawTargets redraw_;
    std::shared_ptr<const Logging> log_;
    std::vector<Cancellable> cancellables_;
};

} // namespace ombrix

OMBRIX_API_END
