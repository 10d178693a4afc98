#include "extraction/RegionCapture.h"

#include "pdfkit/Page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace ombrix::region {

Rect paddedRegion(const Rect& bounds, const Rect& mediaBox) {
    const Rect box = mediaBox.standardized();
    const Rect b = bounds.standardized();
    if (!b.isFinite() || !box.isFinite() || b.maxX() < box.minX() || b.minX() > box.maxX() ||
        b.maxY() < box.minY() || b.minY() > box.maxY()) {
        return Rect{}; // nothing of the highlight is on the page
    }
    const Rect inside = b.intersection(box);
    const double p = 0.05 * std::min(inside.width, inside.height);
    const double pad = p < 1 ? 1 : (p < 5 ? p : 5);
    return inside.insetBy(-pad, -pad).intersection(box);
}

std::optional<Image> rasterize(const pdfkit::Page& page, const Rect& region) {
    const Rect r = region.standardized();
    if (r.isEmpty() || !r.isFinite()) {
        return std::nullopt;
    }
    Image image = page.drawRegion(r, kRasterScale, false);
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

Image trimContent(const Image& image, int threshold) {
    const int width = image.width();
    const int height = image.height();
    if (width < 5 || height < 5) {
        return image;
    }
    const std::size_t bytesPerRow = std::size_t(image.stride());
    const std::size_t size = image.byteCount();
    const std::uint8_t* data = image.data();
    if (!data || size < bytesPerRow * std::size_t(height)) {
        return image;
    }
    constexpr std::size_t b = 4;
    int minRow = height, maxRow = -1, minColumn = width, maxColumn = -1;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* line = data + std::size_t(row) * bytesPerRow;
        for (int column = 0; column < width; ++column) {
            const std::uint8_t* p = line + std::size_t(column) * b;
            const int brightness = (int(p[0]) + int(p[1]) + int(p[2])) / 3;
            if (brightness < threshold) {
                minRow = std::min(minRow, row);
                maxRow = std::max(maxRow, row);
                minColumn = std::min(minColumn, column);
                maxColumn = std::max(maxColumn, column);
            }
        }
    }
    if (maxRow <= minRow || maxColumn <= minColumn) {
        return image;
    }
    const int contentWidth = maxColumn - minColumn;
    const int contentHeight = maxRow - minRow;
    int margin = int(0.05 * std::max(contentWidth, contentHeight));
    if (margin <= 2) {
        margin = 2;
    }
    // The crop box may reach past the right or bottom edge; only the part on the image counts.
    const int x = std::max(0, minColumn - margin);
    const int y = std::max(0, minRow - margin);
    const int right = std::min(width, x + std::min(contentWidth + 2 * margin, width));
    const int bottom = std::min(height, y + std::min(contentHeight + 2 * margin, height));
    const int w = right - x;
    const int h = bottom - y;
    if (w <= 0 || h <= 0) {
        return image;
    }
    std::vector<std::uint8_t> pixels(std::size_t(w) * std::size_t(h) * 4);
    for (int row = 0; row < h; ++row) {
        std::memcpy(pixels.data() + std::size_t(row) * std::size_t(w) * 4,
                    data + std::size_t(y + row) * bytesPerRow + std::size_t(x) * 4,
                    std::size_t(w) * 4);
    }
    return Image(w, h, std::move(pixels));
}

std::optional<Image> formulaImage(const pdfkit::Page& page, const Rect& bounds) {
    auto raster = rasterize(page, paddedRegion(bounds, page.mediaBox()));
    if (!raster) {
        return std::nullopt;
    }
    return trimContent(*raster);
}

} // namespace ombrix::region
