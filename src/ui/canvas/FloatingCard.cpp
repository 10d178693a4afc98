#include "ui/canvas/FloatingCard.h"

#include <QPainter>

namespace ombrix::ui {

FloatingCard::FloatingCard(double radius, QWidget* parent) : QFrame(parent), radius_(radius) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void FloatingCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 45));
    painter.drawRoundedRect(area.translated(0, 2), radius_, radius_);
    painter.setBrush(palette().color(QPalette::Window));
    painter.setPen(QPen(palette().color(QPalette::Mid), 0.8));
    painter.drawRoundedRect(area, radius_, radius_);
}

} // namespace ombrix::ui
