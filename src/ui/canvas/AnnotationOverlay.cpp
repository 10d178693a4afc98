#include "ui/canvas/AnnotationOverlay.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "annotations/MarkupController.h"
#include "annotations/PageMarkupCommand.h"
#include "app/AppContainer.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"
#include "ui/canvas/PDFCanvasView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>

namespace ombrix::ui {

namespace {

// Room around the frame for the handles, which stick out by half their size.
constexpr int kMargin = int(AnnotationOverlay::kHandleSize / 2) + 2;
const QColor kFrameColor(0, 122, 255);

constexpr AnnotationOverlay::Corner kCorners[] = {
    AnnotationOverlay::Corner::topLeft, AnnotationOverlay::Corner::topRight,
    AnnotationOverlay::Corner::bottomLeft, AnnotationOverlay::Corner::bottomRight};

QPointF cornerOf(const QRectF& r, AnnotationOverlay::Corner corner) {
    switch (corner) {
    case AnnotationOverlay::Corner::topLeft:
        return r.topLeft();
    case AnnotationOverlay::Corner::topRight:
        return QPointF(r.right(), r.top());
    case AnnotationOverlay::Corner::bottomLeft:
        return QPointF(r.left(), r.bottom());
    case AnnotationOverlay::Corner::bottomRight:
        return QPointF(r.right(), r.bottom());
    }
    return r.topLeft();
}

QRectF handleRect(QPointF centre) {
    const double half = AnnotationOverlay::kHandleSize / 2;
    return QRectF(centre.x() - half, centre.y() - half, AnnotationOverlay::kHandleSize,
                  AnnotationOverlay::kHandleSize);
}

} // namespace

AnnotationOverlay::AnnotationOverlay(AppContainer& container, std::shared_ptr<TabSession> session,
                                     AnnotationRecord selected, SelectionGeometry& geometry,
                                     PDFCanvasView& canvas, QWidget* parent)
    : QWidget(parent), container_(container), session_(std::move(session)),
      selected_(std::move(selected)), geometry_(geometry), canvas_(canvas) {
    setObjectName("AnnotationOverlay");
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
    follow();
}

Rect AnnotationOverlay::resized(Corner corner, const Rect& initial, double dx, double dy) {
    Rect r = initial;
    switch (corner) {
    case Corner::topLeft:
        r = Rect{initial.x + dx, initial.y + dy, initial.width - dx, initial.height - dy};
        break;
    case Corner::topRight:
        r = Rect{initial.x, initial.y + dy, initial.width + dx, initial.height - dy};
        break;
    case Corner::bottomLeft:
        r = Rect{initial.x + dx, initial.y, initial.width - dx, initial.height + dy};
        break;
    case Corner::bottomRight:
        r = Rect{initial.x, initial.y, initial.width + dx, initial.height + dy};
        break;
    }
    // The origin stays where the drag put it; only the size is held at the minimum.
    if (std::abs(r.width) < kMinimumSide) {
        r.width = kMinimumSide;
    }
    if (std::abs(r.height) < kMinimumSide) {
        r.height = kMinimumSide;
    }
    return r;
}

Rect AnnotationOverlay::resizedBounds(const Rect& initialBounds, const Rect& initialScreen,
                                      const Rect& screen) {
    const double sx = initialBounds.width / initialScreen.width;
    const double sy = initialBounds.height / initialScreen.height;
    const double width = initialBounds.width + sx * (screen.width - initialScreen.width);
    const double height = initialBounds.height + sy * (screen.height - initialScreen.height);
    const double x = initialBounds.minX() + sx * (screen.minX() - initialScreen.minX());
    // Screen y grows downward, page y upward.
    const double y = initialBounds.maxY() - height - sy * (screen.minY() - initialScreen.minY());
    return Rect{x, y, width, height};
}

QRectF AnnotationOverlay::frameInWidget() const {
    const Rect& r = geometry_.screenRect;
    return QRectF(r.x - x(), r.y - y(), r.width, r.height);
}

QPointF AnnotationOverlay::handleCentre(Corner corner) const {
    return cornerOf(frameInWidget(), corner) + QPointF(x(), y());
}

void AnnotationOverlay::follow() {
    const Rect& r = geometry_.screenRect;
    const QRect area(int(std::floor(r.minX())) - kMargin, int(std::floor(r.minY())) - kMargin,
                     int(std::ceil(std::abs(r.width))) + 2 * kMargin + 1,
                     int(std::ceil(std::abs(r.height))) + 2 * kMargin + 1);
    setGeometry(area);
    // The outline and the handles take the mouse; the inside belongs to the page.
    const QRectF frame = frameInWidget().normalized();
    const QRect outer =
        frame.adjusted(-kLineWidth, -kLineWidth, kLineWidth, kLineWidth).toAlignedRect();
    const QRect inner = frame.adjusted(kLineWidth, kLineWidth, -kLineWidth, -kLineWidth).toRect();
    QRegion region = QRegion(outer).subtracted(inner.isValid() ? QRegion(inner) : QRegion());
    for (Corner corner : kCorners) {
        region += handleRect(cornerOf(frameInWidget(), corner)).toAlignedRect();
    }
    setMask(region);
    update();
}

std::optional<AnnotationOverlay::Corner> AnnotationOverlay::cornerAt(QPointF local) const {
    for (Corner corner : kCorners) {
        if (handleRect(cornerOf(frameInWidget(), corner)).adjusted(-1, -1, 1, 1).contains(local)) {
            return corner;
        }
    }
    return std::nullopt;
}

void AnnotationOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = frameInWidget();
    painter.setPen(QPen(kFrameColor, kLineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kFrameColor);
    for (Corner corner : kCorners) {
        painter.drawRect(handleRect(cornerOf(frame, corner)).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void AnnotationOverlay::mousePressEvent(QMouseEvent* event) {
    pressedCorner_ = event->button() == Qt::LeftButton ? cornerAt(event->position()) : std::nullopt;
    pressGlobal_ = event->globalPosition();
    event->accept();
}

void AnnotationOverlay::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedCorner_) {
        return;
    }
    if (!activeCorner_) {
        activeCorner_ = pressedCorner_;
        geometry_.initialScreenRect = geometry_.screenRect;
        geometry_.initialBounds = selected_.bounds;
    }
    const QPointF delta = event->globalPosition() - pressGlobal_;
    geometry_.screenRect =
        resized(*activeCorner_, geometry_.initialScreenRect, delta.x(), delta.y());
    follow();
    if (onFrameChanged) {
        onFrameChanged();
    }
    event->accept();
}

void AnnotationOverlay::mouseReleaseEvent(QMouseEvent* event) {
    const bool dragged = activeCorner_.has_value();
    pressedCorner_.reset();
    event->accept();
    if (dragged) {
        commit();
    }
}

void AnnotationOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && onClear) {
        onClear();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AnnotationOverlay::commit() {
    activeCorner_.reset();
    auto engine = session_ ? PDFKitBridge::engineDocument(*session_->document) : nullptr;
    auto page = engine ? engine->page(selected_.pageIndex) : nullptr;
    const auto& annotation = selected_.pdfAnnotationRef;
    if (!page || !annotation || !isOnPage(*page, annotation)) {
        return;
    }
    const Rect bounds =
        resizedBounds(geometry_.initialBounds, geometry_.initialScreenRect, geometry_.screenRect);
    if (!bounds.isFinite()) {
        return;
    }
    // The annotation itself takes the new bounds, so its kind, colours and contents (a
    // comment, a table or a formula) survive the resize, and undo restores it exactly.
    // The frame showed the new bounds while dragging; the annotation still has the old ones.
    if (!container_.markupController()->resize(session_, annotation, bounds)) {
        return;
    }
    selected_.bounds = annotation->bounds();
    canvas_.setCurrentSelection(annotation, page);
    if (onResized) {
        onResized(selected_);
    }
}

} // namespace ombrix::ui
