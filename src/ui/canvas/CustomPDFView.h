#pragma once

#include "core/Geometry.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Page.h"
#include "pdfkit/Selection.h"
#include "ui/view/PDFView.h"

#include <functional>
#include <memory>
#include <optional>

namespace ombrix {
class AppContainer;
}

namespace ombrix::ui {

// Posted (no object) to the default notification centre around every rectangle drag.
inline constexpr const char* kPdfDragStarted = "pdfDragStarted";
inline constexpr const char* kPdfDragEnded = "pdfDragEnded";

// Key codes the canvas and the keyboard engine speak for Backspace and Delete.
inline constexpr int kDeleteKeyCode = 51;
inline constexpr int kForwardDeleteKeyCode = 117;

// The page view's mouse and key layer: turns presses, drags and keys into the
// application's events. A press on an annotation selects it; a press with Alt held, or
// any press in shape mode, drags out a rectangle; everything else (text selection,
// links, scrolling) is the page view's own. Events reach the closures asynchronously on
// the main queue, after the handler returns. GUI thread only.
//
// Spaces: page space (points, y up, of the page under the press); view space (the
// view's points, y up from its lower left); top-left space (view space with y measured
// down from the top).
class CustomPDFView : public PDFView {
    Q_OBJECT
public:
    using AnnotationEvent =
        std::function<void(std::shared_ptr<pdfkit::Annotation>, std::shared_ptr<pdfkit::Page>)>;
    using PointEvent = std::function<void(Point)>;
    using RectEvent = std::function<void(Rect)>;

    explicit CustomPDFView(QWidget* parent = nullptr);

    AnnotationEvent onAnnotationClicked;
    // A text drag ended with a selection; the release point in view space.
    std::function<void(pdfkit::Selection, Point)> onTextSelected;
    PointEvent onDragStarted; // top-left space
    RectEvent onDragEnded;    // page space, Alt drags
    PointEvent
        onBackgroundTap; // a click on a page where there is no annotation or link; view space
    RectEvent onOptionDragChanged; // view space
    bool isShapeMode = false;
    bool isTextMode = false;
    RectEvent onShapeDragChanged; // view space
    RectEvent onShapeDragEnded;   // page space
    AnnotationEvent onDeleteAnnotation;
    // True for a moment after an annotation click or selection, so the text selection
    // that press may also make is not taken for the user's. Read it here; set it with
    // holdSelectingAnnotation().
    bool isSelectingAnnotation = false;
    std::shared_ptr<pdfkit::Annotation> currentSelectedAnnotation;
    std::shared_ptr<pdfkit::Page> currentSelectedPage;

    // The annotation a click at the page point selects: the first in the page's order
    // whose bounds hold the point, else the first within a few pixels of it. Links and
    // popups are left to the view, so links still follow.
    std::shared_ptr<pdfkit::Annotation> annotationHit(const std::shared_ptr<pdfkit::Page>& page,
                                                      Point pagePoint) const;

    // Where an Alt drag's rectangle is kept as lastDragBounds; none: not kept.
    void setAppContainer(AppContainer* container) { container_ = container; }
    AppContainer* appContainer() const { return container_; }

    // Sets the flag now; with a hold, clears it that many seconds later unless it was set
    // again meanwhile, so an earlier click's timer never cuts a later one's moment short.
    void holdSelectingAnnotation(bool on, std::optional<double> clearAfterSeconds = std::nullopt);
    static constexpr double kSelectingAfterClickSeconds = 0.2;
    static constexpr double kSelectingAfterSelectionSeconds = 0.1;

    bool isRectangleDragging() const { return isAltDragging_; }
    // The page the last rectangle drag started on, kept after the release for whoever acts
    // on its rectangle (which is in that page's space); null before any drag.
    const std::shared_ptr<pdfkit::Page>& dragPage() const { return dragPage_; }
    // The page a press at a view point acts on: the one under it, else the nearest one.
    std::shared_ptr<pdfkit::Page> pageUnder(Point viewPoint) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Point viewPointOf(const QMouseEvent& event) const;
    Point toTopLeft(Point viewPoint) const;
    // The page-space rectangle from the drag's start to the page point.
    Rect dragRect(Point pagePoint) const;
    // Hands a non-empty selection to onTextSelected after the current event.
    void tellTextSelected(Point viewPoint);

    AppContainer* container_ = nullptr;
    std::optional<Point> dragStartPointInPage_;
    std::shared_ptr<pdfkit::Page> dragPage_;
    bool isAltDragging_ = false;
    unsigned selectingGeneration_ = 0;
    bool isClickingAnnotation_ = false;
    // A press the view handles itself, and whether it moved far enough to be a drag.
    bool isPlatformPress_ = false;
    bool platformPressMoved_ = false;
    QPointF platformPressPos_;
    // A drag released before its pages' text was read: its selection is told when it comes.
    std::optional<Point> selectionOwedAt_;
};

} // namespace ombrix::ui
