#include "ui/canvas/DragRectangleLayer.h"

#include "ui/platform/QtColor.h"

#include <QPainter>

namespace ombrix::ui {

namespace {

void drawLive(QPainter& painter, const Rect& r, const Color& c) {
    const QColor colour = toQColor(c);
    QColor fill = colour;
    fill.setAlphaF(colour.alphaF() * 0.1f);
    painter.setPen(QPen(colour, 2));
    painter.setBrush(fill);
    painter.drawRect(QRectF(r.minX(), r.minY(), std::abs(r.width), std::abs(r.height)));
}

} // namespace

DragRectangleLayer::DragRectangleLayer(QWidget* parent) : QWidget(parent) {
    setObjectName("DragRectangleLayer");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void DragRectangleLayer::setOptionRect(const Rect& rect, std::optional<Color> colour) {
    optionRect_ = rect;
    optionColour_ = colour;
    update();
}

void DragRectangleLayer::setShapeRect(const Rect& rect) {
    shapeRect_ = rect;
    update();
}

void DragRectangleLayer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (optionRect_ != Rect{}) {
        // No tool: the rectangle is there, but drawn clear.
        drawLive(painter, optionRect_, optionColour_.value_or(SystemColors::clear));
    }
    if (shapeRect_ != Rect{}) {
        drawLive(painter, shapeRect_, SystemColors::red);
    }
}

} // namespace ombrix::ui
