#pragma once

#include "core/Geometry.h"
#include "core/Image.h"

namespace ombrix::pdfkit {

// Renders pages of one document from any thread. The page's content is captured under
// the document's lock, then rasterised outside it on a context of the calling thread,
// so renders never race main-thread edits and never block them for long.
class PageRenderer {
public:
    virtual ~PageRenderer() = default;

    // As Page::draw; empty when the page does not exist or rendering fails.
    virtual Image render(int pageIndex, int pixelWidth, int pixelHeight, double scale,
                         bool withAnnotations = true) = 0;
    virtual Image renderRegion(int pageIndex, const Rect& region, double scale,
                               bool withAnnotations) = 0;
};

} // namespace ombrix::pdfkit
