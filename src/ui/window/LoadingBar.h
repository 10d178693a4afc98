#pragma once

#include <QWidget>

class QVariantAnimation;

namespace ombrix::ui {

// An 80 x 6 capsule: a faint green track with a green segment half its width sliding
// across it, linearly, every 0.8 seconds. Animates only while visible. GUI thread only.
class LoadingBar : public QWidget {
    Q_OBJECT
public:
    explicit LoadingBar(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {80, 6}; }
    bool isAnimating() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QVariantAnimation* animation_;
    qreal phase_ = 0;
};

} // namespace ombrix::ui
