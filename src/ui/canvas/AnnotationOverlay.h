#pragma once

#include "annotations/AnnotationRecord.h"
#include "core/Geometry.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace ombrix {
class AppContainer;
class TabSession;
} // namespace ombrix

namespace ombrix::ui {

class PDFCanvasView;

// Where the selected annotation is: page bounds and on-screen rectangle (the wrapper's
// points, origin top left), as now and as when the current resize began. Owned by the
// wrapper; the overlay reads and writes it.
struct SelectionGeometry {
    Rect screenRect;
    Rect initialBounds;     // page space
    Rect initialScreenRect; // on screen, at the same moment
};

// The frame over the selected annotation with a square handle on each corner. Dragging a
// handle resizes the frame (never below 10 points a side); letting go resizes the
// annotation itself, recorded for undo, keeping its kind, colours and contents. Only the
// frame's outline and the handles take the mouse: a press anywhere else reaches the page.
// A child of the wrapper, placed over its own frame. GUI thread only.
class AnnotationOverlay : public QWidget {
    Q_OBJECT
public:
    enum class Corner { topLeft, topRight, bottomLeft, bottomRight };

    static constexpr double kHandleSize = 14;
    static constexpr double kLineWidth = 2;
    static constexpr double kMinimumSide = 10;

    AnnotationOverlay(AppContainer& container, std::shared_ptr<TabSession> session,
                      AnnotationRecord selected, SelectionGeometry& geometry, PDFCanvasView& canvas,
                      QWidget* parent);

    const AnnotationRecord& selected() const { return selected_; }
    std::optional<Corner> activeCorner() const { return activeCorner_; }

    // Places the overlay over geometry.screenRect.
    void follow();

    // The frame after dragging `corner` by (dx, dy) screen points from `initial`.
    static Rect resized(Corner corner, const Rect& initial, double dx, double dy);
    // The page bounds a resize from `initialScreen` to `screen` gives, from `initialBounds`.
    static Rect resizedBounds(const Rect& initialBounds, const Rect& initialScreen,
                              const Rect& screen);
    // The handle's centre in the wrapper's space.
    QPointF handleCentre(Corner corner) const;

    // Called after every change of the frame, and with the annotation's new record when a
    // resize was committed.
    std::function<void()> onFrameChanged;
    std::function<void(const AnnotationRecord&)> onResized;
    // Clears the selection, hides the palette and the popover (Escape on the overlay).
    std::function<void()> onClear;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::optional<Corner> cornerAt(QPointF local) const;
    QRectF frameInWidget() const;
    void commit();

    AppContainer& container_;
    std::shared_ptr<TabSession> session_;
    AnnotationRecord selected_;
    SelectionGeometry& geometry_;
    PDFCanvasView& canvas_;
    std::optional<Corner> activeCorner_;
    std::optional<Corner> pressedCorner_;
    QPointF pressGlobal_;
};

} // namespace ombrix::ui
