#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"

#include <optional>

namespace ombrix::pdfkit {
class Page;
}

// How the formula and crop actions capture the page under a highlight.
namespace ombrix::region {

inline constexpr double kRasterScale = 8;
inline constexpr int kTrimThreshold = 220;

// The highlight bounds inside the media box, grown by 5 % of their shorter side (at
// least 1 point, at most 5) and clipped to the media box again; an empty rectangle when
// the bounds miss the page.
Rect paddedRegion(const Rect& bounds, const Rect& mediaBox);

// The region at 8 pixels per point over white, page content only: the page's annotations
// are left out of the drawing and stay on the page. None when the region holds no pixel.
std::optional<Image> rasterize(const pdfkit::Page& page, const Rect& region);

// The image cut down to its content (pixels darker than `threshold`) and a margin of 5 %
// of the content's longer side, at least 2 pixels. Images without a content box of some
// width and height come back unchanged.
Image trimContent(const Image& image, int threshold = kTrimThreshold);

// The padded, rasterised and trimmed region the formula recogniser is sent.
std::optional<Image> formulaImage(const pdfkit::Page& page, const Rect& bounds);

} // namespace ombrix::region

OMBRIX_API_END
