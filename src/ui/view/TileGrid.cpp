#include "ui/view/TileGrid.h"

#include <algorithm>
#include <cmath>

namespace ombrix::ui {

std::int64_t scaleKey(double scale) {
    return std::llround(scale * 1e6);
}
std::int32_t dprKey(double devicePixelRatio) {
    return std::int32_t(std::lround(devicePixelRatio * 1e3));
}

QSize pagePixels(Size displaySize, double deviceScale) {
    auto side = [&](double points) {
        return int(std::clamp(std::lround(points * deviceScale), 1L, 1L << 20));
    };
    return {side(displaySize.width), side(displaySize.height)};
}

PagePlan planPage(Size displaySize, double scale, double dpr, QSize viewportDevicePixels) {
    PagePlan plan;
    plan.displaySize = displaySize;
    plan.scale = scale;
    plan.dpr = dpr;
    plan.pixels = pagePixels(displaySize, scale * dpr);
    const double pagePixelCount = double(plan.pixels.width()) * plan.pixels.height();
    const double viewportPixels =
        std::max(1.0, double(viewportDevicePixels.width()) * viewportDevicePixels.height());
    if (pagePixelCount <= 2 * viewportPixels) {
        return plan;
    }
    plan.tiled = true;
    plan.columns = (plan.pixels.width() + kTileSize - 1) / kTileSize;
    plan.rows = (plan.pixels.height() + kTileSize - 1) / kTileSize;
    // A quarter of the viewport's pixels: cheap to render, sharp enough to scroll over.
    plan.baseScale = scale * std::sqrt(viewportPixels / 4 / pagePixelCount);
    return plan;
}

QRect PagePlan::tilePixels(int column, int row) const {
    if (!tiled) {
        return QRect(QPoint(0, 0), pixels);
    }
    const int x = column * kTileSize;
    const int y = row * kTileSize;
    return QRect(x, y, std::min(kTileSize, pixels.width() - x),
                 std::min(kTileSize, pixels.height() - y));
}

Rect PagePlan::displayRect(const QRect& r) const {
    const double s = deviceScale();
    return Rect{r.x() / s, r.y() / s, r.width() / s, r.height() / s};
}

std::vector<QPoint> PagePlan::tilesIn(const Rect& area) const {
    std::vector<QPoint> tiles;
    if (!tiled || area.isEmpty()) {
        return tiles;
    }
    const double s = deviceScale();
    const auto index = [&](double points, int count) {
        return std::clamp(int(std::floor(points * s / kTileSize)), 0, count - 1);
    };
    const Rect a = area.standardized();
    const int c0 = index(a.minX(), columns), c1 = index(a.maxX(), columns);
    const int r0 = index(a.minY(), rows), r1 = index(a.maxY(), rows);
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            if (displayRect(tilePixels(c, r)).intersects(a)) {
                tiles.push_back({c, r});
            }
        }
    }
    const double cx = a.midX() * s, cy = a.midY() * s;
    auto distance = [&](QPoint t) {
        const QRectF p = tilePixels(t.x(), t.y());
        return std::hypot(p.center().x() - cx, p.center().y() - cy);
    };
    std::stable_sort(tiles.begin(), tiles.end(),
                     [&](QPoint a, QPoint b) { return distance(a) < distance(b); });
    return tiles;
}

} // namespace ombrix::ui
