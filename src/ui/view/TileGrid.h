#pragma once

// How a page is cut into images at one scale, and the key each cached image carries.
// Plain values; any thread.

#include "core/Geometry.h"

#include <QRect>
#include <QSize>
#include <compare>
#include <cstdint>
#include <vector>

namespace ombrix::ui {

inline constexpr int kTileSize = 1024; // device pixels along each side of a tile

// Which pixels an image holds: the page, the scale and device pixel ratio it was drawn
// at, the view's rotation (quarter turns), the tile (column -1: the whole page) and the
// page's annotation revision. Scales are kept as integers so that equal zooms compare equal.
struct TileKey {
    int page = 0;
    std::int64_t scale = 0; // logical pixels per point, in millionths
    std::int32_t dpr = 0;   // device pixel ratio, in thousandths
    int rotation = 0;
    int column = -1;
    int row = -1;
    std::uint64_t revision = 0;

    auto operator<=>(const TileKey&) const = default;

    bool isWholePage() const { return column < 0; }
    double deviceScale() const { return double(scale) * 1e-6 * double(dpr) * 1e-3; }
    // Same page, scale, ratio, rotation and revision: images that fit together.
    bool sameLayer(const TileKey& other) const {
        return page == other.page && scale == other.scale && dpr == other.dpr &&
               rotation == other.rotation && revision == other.revision;
    }
    TileKey withTile(int c, int r) const {
        TileKey k = *this;
        k.column = c;
        k.row = r;
        return k;
    }
};

std::int64_t scaleKey(double scale);
std::int32_t dprKey(double devicePixelRatio);

// The images that show one page sharply at one scale: a single whole-page image while its
// device pixels are at most twice the viewport's, else a grid of tiles over a base image
// (the whole page at a low scale, for what is not drawn yet).
struct PagePlan {
    Size displaySize; // points
    double scale = 1; // logical pixels per point
    double dpr = 1;
    QSize pixels; // the whole page at full sharpness, device pixels
    bool tiled = false;
    int columns = 1;
    int rows = 1;
    double baseScale = 0; // logical scale of the base image; 0 when not tiled

    double deviceScale() const { return scale * dpr; }
    QRect tilePixels(int column, int row) const; // device pixels of the page
    Rect displayRect(const QRect& pixelRect) const;
    // The tiles meeting a display-space rectangle, nearest its centre first.
    std::vector<QPoint> tilesIn(const Rect& displayRect) const;
};

PagePlan planPage(Size displaySize, double scale, double dpr, QSize viewportDevicePixels);

// Device pixels of the whole page at a device scale (at least one each way).
QSize pagePixels(Size displaySize, double deviceScale);

} // namespace ombrix::ui
