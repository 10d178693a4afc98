#pragma once

#include "core/Geometry.h"

namespace ombrix::ui {

// One page's place between page space (PDF user space, y up) and display space (the page
// as shown: the visible box turned by the page's rotation, points, origin top left, y
// down). A plain value copied out of the PDF kit once per document, so the GUI thread can
// convert points on every mouse move without touching the document.
struct PageGeometry {
    Rect box;         // the shown box, page space, standardized
    int rotation = 0; // 0, 90, 180 or 270, clockwise

    Size displaySize() const;
    Point pageToDisplay(Point pagePoint) const;
    Point displayToPage(Point displayPoint) const;
    Rect pageToDisplay(const Rect& pageRect) const; // bounding rect, standardized
    Rect displayToPage(const Rect& displayRect) const;
};

} // namespace ombrix::ui
