#include "ui/window/ToolButton.h"

#include "ui/platform/SymbolIcon.h"

#include <QPainter>
#include <QStyleOptionToolButton>

namespace ombrix::ui {

namespace {
constexpr int kSide = 28;
constexpr int kSymbol = 16;
} // namespace

QColor ToolButton::accentBlue() {
    return QColor(0x1f, 0x6f, 0xeb);
}

ToolButton::ToolButton(const QString& symbol, const QString& toolTip, QWidget* parent)
    : QToolButton(parent), symbol_(symbol) {
    setFixedSize(kSide, kSide);
    setToolTip(toolTip);
    setAccessibleName(toolTip);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void ToolButton::setActive(bool active) {
    if (active_ != active) {
        active_ = active;
        update();
    }
}

void ToolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor symbolColor = accentBlue();
    if (active_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? accentBlue().darker(120) : accentBlue());
        painter.drawRoundedRect(box, 6, 6);
        symbolColor = Qt::white;
    } else if (isDown() || underMouse()) {
        painter.setPen(Qt::NoPen);
        QColor hover = accentBlue();
        hover.setAlphaF(isDown() ? 0.25 : 0.12);
        painter.setBrush(hover);
        painter.drawRoundedRect(box, 6, 6);
    }
    if (!isEnabled()) {
        symbolColor.setAlphaF(0.35);
    }
    const QPixmap pixmap = SymbolIcon::tinted(symbol_, symbolColor, kSymbol, devicePixelRatioF());
    const QPoint origin((width() - kSymbol) / 2, (height() - kSymbol) / 2);
    painter.drawPixmap(origin, pixmap);
}

} // namespace ombrix::ui
