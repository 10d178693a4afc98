#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <memory>

namespace ombrix {

namespace pdfkit {
class ViewPort;
}

// The canvas on screen as the core sees it: the PDF view it made (none before it made
// one) and a request to redraw itself.
class CanvasTarget {
public:
    virtual ~CanvasTarget() = default;
    virtual std::shared_ptr<pdfkit::ViewPort> pdfView() const = 0;
    virtual void setNeedsDisplay() = 0;
};

// What is on screen right now. The canvas sets both when it creates its view; the
// container owns the one instance and the layout and text handlers read it.
struct ActiveViews {
    std::shared_ptr<pdfkit::ViewPort> pdfView;
    std::shared_ptr<CanvasTarget> canvas;
};

} // namespace ombrix

OMBRIX_API_END
