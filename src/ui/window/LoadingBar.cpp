#include "ui/window/LoadingBar.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace ombrix::ui {

namespace {
const QColor kGreen(0x34, 0xc7, 0x59);
}

LoadingBar::LoadingBar(QWidget* parent) : QWidget(parent), animation_(new QVariantAnimation(this)) {
    setFixedSize(80, 6);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(800);
    animation_->setLoopCount(-1);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        phase_ = value.toReal();
        update();
    });
}

bool LoadingBar::isAnimating() const {
    return animation_->state() == QAbstractAnimation::Running;
}

void LoadingBar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    animation_->start();
}

void LoadingBar::hideEvent(QHideEvent* event) {
    animation_->stop();
    QWidget::hideEvent(event);
}

void LoadingBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = rect();
    QPainterPath capsule;
    capsule.addRoundedRect(track, track.height() / 2, track.height() / 2);
    painter.setClipPath(capsule);
    QColor faint = kGreen;
    faint.setAlphaF(0.2);
    painter.fillRect(track, faint);
    // The segment enters from the left edge and leaves by the right one.
    const qreal segment = track.width() / 2;
    const qreal x = -segment + phase_ * (track.width() + segment);
    painter.fillRect(QRectF(x, 0, segment, track.height()), kGreen);
}

} // namespace ombrix::ui
