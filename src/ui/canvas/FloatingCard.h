#pragma once

#include <QFrame>

namespace ombrix::ui {

// A rounded card with a soft shadow on the window colour: how the palette and the popover
// float over the page so they read over any content. GUI thread only.
class FloatingCard : public QFrame {
    Q_OBJECT
public:
    explicit FloatingCard(double radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_;
};

} // namespace ombrix::ui
