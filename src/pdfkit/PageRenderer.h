#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"
#include "pdfkit/CancelToken.h"

namespace ombrix::pdfkit {

// Renders pages of one document from any thread. The page's content is captured under
// the document's lock, then rasterised outside it on a context of the calling thread,
// so renders never race main-thread edits and never block them for long.
class PageRenderer {
public:
    virtual ~PageRenderer() = default;

    // As Page::draw; empty when the page does not exist, rendering fails or `token` was
    // cancelled.
    virtual Image render(int pageIndex, int pixelWidth, int pixelHeight, double scale,
                         bool withAnnotations = true, const CancelToken* token = nullptr) = 0;
    virtual Image renderRegion(int pageIndex, const Rect& region, double scale,
                               bool withAnnotations, const CancelToken* token = nullptr) = 0;
    // The display-space rectangle `displayRect` at `scale` pixels per point into an image of
    // exactly pixelWidth × pixelHeight, white underneath and wherever the tile reaches past
    // the page. Null when the page does not exist, rendering fails or `token` was
    // cancelled; an aborted render returns soon after cancel().
    virtual Image renderTile(int pageIndex, const Rect& displayRect, double scale, int pixelWidth,
                             int pixelHeight, bool withAnnotations,
                             const CancelToken* token = nullptr) = 0;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
