#include "ui/view/PageGeometry.h"

namespace ombrix::ui {

Size PageGeometry::displaySize() const {
    if (rotation == 90 || rotation == 270) {
        return Size{box.height, box.width};
    }
    return Size{box.width, box.height};
}

Point PageGeometry::pageToDisplay(Point p) const {
    // Unrotated display coordinates first (y down from the box's top), then turned
    // clockwise about the shown page.
    const double dx = p.x - box.x;
    const double dy = box.maxY() - p.y;
    switch (rotation) {
    case 90:
        return Point{box.height - dy, dx};
    case 180:
        return Point{box.width - dx, box.height - dy};
    case 270:
        return Point{dy, box.width - dx};
    default:
        return Point{dx, dy};
    }
}

Point PageGeometry::displayToPage(Point d) const {
    double dx = d.x;
    double dy = d.y;
    switch (rotation) {
    case 90:
        dx = d.y;
        dy = box.height - d.x;
        break;
    case 180:
        dx = box.width - d.x;
        dy = box.height - d.y;
        break;
    case 270:
        dx = box.width - d.y;
        dy = d.x;
        break;
    default:
        break;
    }
    return Point{box.x + dx, box.maxY() - dy};
}

Rect PageGeometry::pageToDisplay(const Rect& r) const {
    const Point a = pageToDisplay(Point{r.minX(), r.minY()});
    const Point b = pageToDisplay(Point{r.maxX(), r.maxY()});
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

Rect PageGeometry::displayToPage(const Rect& r) const {
    const Point a = displayToPage(Point{r.minX(), r.minY()});
    const Point b = displayToPage(Point{r.maxX(), r.maxY()});
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

} // namespace ombrix::ui
