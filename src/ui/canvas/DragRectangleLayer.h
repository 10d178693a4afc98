#pragma once

#include "core/Color.h"
#include "core/Geometry.h"

#include <QWidget>
#include <optional>

namespace ombrix::ui {

// The live rectangles of an Alt drag (in the tool's colour; a clear outline for no tool)
// and of a shape drag (red), each a 2-point outline over a fill at opacity 0.1, in the
// wrapper's space (origin top left). Lies over the page and lets every mouse event
// through. GUI thread only.
class DragRectangleLayer : public QWidget {
    Q_OBJECT
public:
    explicit DragRectangleLayer(QWidget* parent = nullptr);

    // All zero: not drawn.
    void setOptionRect(const Rect& rect, std::optional<Color> colour);
    void setShapeRect(const Rect& rect);
    const Rect& optionRect() const { return optionRect_; }
    const Rect& shapeRect() const { return shapeRect_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Rect optionRect_;
    std::optional<Color> optionColour_;
    Rect shapeRect_;
};

} // namespace ombrix::ui
