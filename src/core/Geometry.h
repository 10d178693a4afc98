#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <algorithm>
#include <cmath>
#include <functional>

namespace ombrix {

// Lengths are PDF points. Page space has its origin at the lower left, y up.
struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

// An origin and a size, like the rectangles of the PDF framework: a negative width or
// height is allowed and standardized() turns it round.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;

    double minX() const { return std::min(x, x + width); }
    double maxX() const { return std::max(x, x + width); }
    double minY() const { return std::min(y, y + height); }
    double maxY() const { return std::max(y, y + height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }

    static Rect fromEdges(double x0, double y0, double x1, double y1) {
        return Rect{std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0)};
    }
    Rect standardized() const { return fromEdges(x, y, x + width, y + height); }
    bool isEmpty() const { return width == 0 || height == 0; }
    bool isNull() const { return std::isinf(x) || std::isinf(y); }
    bool isFinite() const {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(width) &&
               std::isfinite(height);
    }

    bool contains(Point p) const {
        return p.x >= minX() && p.x <= maxX() && p.y >= minY() && p.y <= maxY();
    }
    bool contains(const Rect& r) const {
        return r.minX() >= minX() && r.maxX() <= maxX() && r.minY() >= minY() && r.maxY() <= maxY();
    }
    // Strict overlap: rectangles that only touch along an edge do not intersect.
    bool intersects(const Rect& r) const {
        return r.minX() < maxX() && r.maxX() > minX() && r.minY() < maxY() && r.maxY() > minY();
    }
    Rect intersection(const Rect& r) const {
        double x0 = std::max(minX(), r.minX()), y0 = std::max(minY(), r.minY());
        double x1 = std::min(maxX(), r.maxX()), y1 = std::min(maxY(), r.maxY());
        if (x1 < x0 || y1 < y0) {
            return Rect{};
        }
        return fromEdges(x0, y0, x1, y1);
    }
    Rect united(const Rect& r) const {
        return fromEdges(std::min(minX(), r.minX()), std::min(minY(), r.minY()),
                         std::max(maxX(), r.maxX()), std::max(maxY(), r.maxY()));
    }
    Rect insetBy(double dx, double dy) const {
        Rect s = standardized();
        return Rect{s.x + dx, s.y + dy, s.width - 2 * dx, s.height - 2 * dy};
    }
};

} // namespace ombrix

template <> struct std::hash<ombrix::Rect> {
    std::size_t operator()(const ombrix::Rect& r) const noexcept {
        std::hash<double> h;
        std::size_t seed = h(r.x);
        for (double v : {r.y, r.width, r.height}) {
            seed ^= h(v) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        }
        return seed;
    }
};

OMBRIX_API_END
