#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "search/LayoutMode.h"

namespace ombrix {

namespace pdfkit {
class ViewPort;
} // namespace pdfkit

// Turns a page layout into the view's display mode, direction and page breaks. Stateless.
class LayoutEngine {
public:
    void apply(LayoutMode mode, pdfkit::ViewPort& view) const;
};

} // namespace ombrix

OMBRIX_API_END
