#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace ombrix {

struct GeoPoint {
    double x = 0;
    double y = 0;
    bool operator==(const GeoPoint&) const = default;
};

// The line y = m·x + c. Vertical lines cannot be held; divisions by zero give +∞.
struct GeoLine {
    double m = 0;
    double c = 0;

    static GeoLine lineThrough(GeoPoint p, double slope);
    double xForY(double y) const;
    double yForX(double x) const;
    double distanceTo(GeoPoint p) const;
    GeoPoint intersection(const GeoLine& other) const; // (+∞, +∞) for parallel lines
};

// One word box: corners p1 (top-left), p2 (top-right), p3 (bottom-right), p4 (bottom-left).
class BBox {
public:
    BBox(GeoPoint p1, GeoPoint p2, GeoPoint p3, GeoPoint p4, std::optional<int> idx = std::nullopt);

    const GeoPoint p1, p2, p3, p4;
    const std::optional<int> idx;
    const GeoPoint midpoint;
    const double approxOrientation;
    const double averageHeight;
    const double averageWidth;

    GeoLine line() const { return GeoLine::lineThrough(midpoint, approxOrientation); }
    double left() const;
    double right() const;
};

using BoxList = std::vector<std::shared_ptr<const BBox>>;

// Overlap of the two horizontal extents as a percentage of the narrower one.
double horizontalOverlapPercent(const BBox& a, const BBox& b);
bool areStacked(const BBox& a, const BBox& b); // overlap above 50 %

// Shared vocabulary of the geometry code; the engine itself does not use it.
template <typename Key, typename Value> struct MultiValuedMap {
    std::map<Key, std::vector<Value>> map;
};

namespace Relationships {

using BoolMatrix = std::vector<std::vector<bool>>;
using PointMatrix = std::vector<std::vector<std::optional<GeoPoint>>>;

// Even–odd rule over a closed polygon; an empty polygon contains nothing.
bool polygonContains(const std::vector<GeoPoint>& polygon, GeoPoint p);
// Two-decimal rounding, halves away from zero.
double roundToHundredths(double v);

PointMatrix lineIntersections(const BoxList& boxes, const std::vector<GeoPoint>& region);
BoolMatrix sameLineMatrix(const BoxList& boxes);
BoolMatrix linkNearestNeighbours(const BoxList& boxes, const PointMatrix& crossings,
                                 const BoolMatrix& sameLine);

} // namespace Relationships

namespace TableGeometryEngine {

using Group = std::vector<int>;

Group connectedComponent(const Relationships::BoolMatrix& linked, int start);
std::vector<std::pair<int, int>> stackedPairs(const BoxList& boxes, const Group& group);
bool hasStackedPair(const BoxList& boxes, const Group& group);
double seedDistance(const BBox& v, const BBox& seed);
std::vector<Group> splitGroup(const BoxList& boxes, const Group& group);
double rowKey(const BoxList& boxes, const Group& row);

// Word quads (at least four corners each, p1…p4 first) in a region polygon → rows of input
// positions, each row left to right, rows by ascending key (bottom first in page space).
std::vector<std::vector<int>> detectRows(const std::vector<std::vector<GeoPoint>>& quads,
                                         const std::vector<GeoPoint>& region);

} // namespace TableGeometryEngine

} // namespace ombrix

OMBRIX_API_END
