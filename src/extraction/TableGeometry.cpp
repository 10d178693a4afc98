#include "extraction/TableGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <set>
#include <stdexcept>

namespace ombrix {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double slope(GeoPoint a, GeoPoint b) {
    if (a.x == b.x) {
        return kInfinity;
    }
    return (a.y - b.y) / (a.x - b.x);
}

double harmonicMean(double a, double b) {
    return 2 / (1 / a + 1 / b);
}

} // namespace

// ---- GeoLine ----

GeoLine GeoLine::lineThrough(GeoPoint p, double s) {
    return GeoLine{s, p.y - s * p.x};
}

double GeoLine::xForY(double y) const {
    if (m == 0) {
        return kInfinity;
    }
    return (y - c) / m;
}

double GeoLine::yForX(double x) const {
    return m * x + c;
}

double GeoLine::distanceTo(GeoPoint p) const {
    return std::abs(m * p.x - p.y + c) / std::sqrt(m * m + 1);
}

GeoPoint GeoLine::intersection(const GeoLine& other) const {
    const double dm = other.m - m;
    if (dm == 0) {
        return {kInfinity, kInfinity};
    }
    return {(c - other.c) / dm, (other.m * c - other.c * m) / dm};
}

// ---- BBox ----

BBox::BBox(GeoPoint a, GeoPoint b, GeoPoint c, GeoPoint d, std::optional<int> index)
    : p1(a), p2(b), p3(c), p4(d), idx(index), midpoint{(a.x + c.x) / 2, (a.y + c.y) / 2},
      approxOrientation((slope(a, b) + slope(c, d)) / 2),
      averageHeight((std::abs(b.y - c.y) + std::abs(a.y - d.y)) / 2),
      averageWidth((std::abs(a.x - b.x) + std::abs(c.x - d.x)) / 2) {}

double BBox::left() const {
    return std::min(p1.x, p3.x);
}
double BBox::right() const {
    return std::max(p1.x, p3.x);
}

double horizontalOverlapPercent(const BBox& a, const BBox& b) {
    if (a.right() < b.left() || b.right() < a.left()) {
        return 0;
    }
    const double narrower = std::min(a.right() - a.left(), b.right() - b.left());
    if (narrower <= 0) {
        return 0;
    }
    const double overlap =
        std::max(0.0, std::min(a.right(), b.right()) - std::max(a.left(), b.left()));
    return overlap / narrower * 100;
}

bool areStacked(const BBox& a, const BBox& b) {
    return horizontalOverlapPercent(a, b) > 50;
}

// ---- Relationships ----

namespace Relationships {

double roundToHundredths(double v) {
    return std::round(v * 100) / 100;
}

bool polygonContains(const std::vector<GeoPoint>& polygon, GeoPoint p) {
    bool inside = false;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        // Edge from vertex j to vertex i, starting with the closing edge (last → first).
        const GeoPoint& a = polygon[j];
        const GeoPoint& b = polygon[i];
        if ((p.y < a.y) != (p.y < b.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
            inside = !inside;
        }
    }
    return inside;
}

PointMatrix lineIntersections(const BoxList& boxes, const std::vector<GeoPoint>& region) {
    const std::size_t n = boxes.size();
    PointMatrix crossings(n, std::vector<std::optional<GeoPoint>>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const GeoLine li = boxes[i]->line();
        for (std::size_t j = i; j < n; ++j) {
            GeoPoint p = li.intersection(boxes[j]->line());
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
                continue;
            }
            p = {roundToHundredths(p.x), roundToHundredths(p.y)};
            if (!polygonContains(region, p)) {
                continue;
            }
            crossings[i][j] = p;
            crossings[j][i] = p;
        }
    }
    return crossings;
}

BoolMatrix sameLineMatrix(const BoxList& boxes) {
    const std::size_t n = boxes.size();
    BoolMatrix related(n, std::vector<bool>(n, false));
    for (std::size_t i = 0; i < n; ++i) {
        related[i][i] = true;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const BBox& a = *boxes[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            const BBox& b = *boxes[j];
            // The slope difference is read as radians; a non-finite one fails.
            const double degrees =
                std::abs(a.approxOrientation - b.approxOrientation) * 180 / std::numbers::pi;
            if (!(degrees < 3)) {
                continue;
            }
            if (b.line().distanceTo(a.midpoint) <= a.averageHeight * 0.5 ||
                a.line().distanceTo(b.midpoint) <= b.averageHeight * 0.5) {
                related[i][j] = true;
                related[j][i] = true;
            }
        }
    }
    return related;
}

BoolMatrix linkNearestNeighbours(const BoxList& boxes, const PointMatrix& crossings,
                                 const BoolMatrix& sameLine) {
    BoolMatrix linked = sameLine;
    const std::size_t n = boxes.size();
    for (std::size_t i = 0; i < n; ++i) {
        double best = kInfinity;
        std::size_t k = 0;
        for (std::size_t j = 0; j < n; ++j) {
            double d = kInfinity;
            const auto& crossing = crossings[i][j];
            if (crossing && boxes[i]->idx != boxes[j]->idx) {
                const double yi = boxes[i]->midpoint.y;
                const double yj = boxes[j]->midpoint.y;
                const double yc = crossing->y;
                if (yi == yj) {
                    d = 0;
                } else {
                    const double v = (std::abs(yi - yc) + std::abs(yj - yc)) / 2;
                    d = v == 0 ? 0 : harmonicMean(std::abs(yi - yj), v);
                }
            }
            if (j == 0 || d < best) {
                best = d;
                k = j;
            }
        }
        if (std::isfinite(best) && !areStacked(*boxes[i], *boxes[k])) {
            linked[i][k] = true;
            linked[k][i] = true;
        }
    }
    return linked;
}

} // namespace Relationships

// ---- Engine ----

namespace TableGeometryEngine {

Group connectedComponent(const Relationships::BoolMatrix& linked, int start) {
    Group members;
    std::vector<bool> seen(linked.size(), false);
    std::vector<int> stack{start};
    seen[std::size_t(start)] = true;
    while (!stack.empty()) {
        const int v = stack.back();
        stack.pop_back();
        members.push_back(v);
        const auto& row = linked[std::size_t(v)];
        for (std::size_t w = 0; w < row.size(); ++w) {
            if (row[w] && !seen[w]) {
                seen[w] = true;
                stack.push_back(int(w));
            }
        }
    }
    return members;
}

std::vector<std::pair<int, int>> stackedPairs(const BoxList& boxes, const Group& group) {
    std::vector<std::pair<int, int>> pairs;
    for (std::size_t a = 0; a < group.size(); ++a) {
        for (std::size_t b = a + 1; b < group.size(); ++b) {
            if (areStacked(*boxes[std::size_t(group[a])], *boxes[std::size_t(group[b])])) {
                pairs.emplace_back(group[a], group[b]);
            }
        }
    }
    return pairs;
}

bool hasStackedPair(const BoxList& boxes, const Group& group) {
    for (std::size_t a = 0; a < group.size(); ++a) {
        for (std::size_t b = a + 1; b < group.size(); ++b) {
            if (areStacked(*boxes[std::size_t(group[a])], *boxes[std::size_t(group[b])])) {
                return true;
            }
        }
    }
    return false;
}

double seedDistance(const BBox& v, const BBox& seed) {
    const double dy = std::abs(seed.midpoint.y - v.midpoint.y);
    const double dl = seed.line().distanceTo(v.midpoint);
    if (dy == 0 || dl == 0) {
        return 0;
    }
    return harmonicMean(dy, dl);
}

std::vector<Group> splitGroup(const BoxList& boxes, const Group& group) {
    const auto pairs = stackedPairs(boxes, group);
    if (pairs.empty()) {
        return {group};
    }
    auto box = [&](int position) -> const BBox& { return *boxes[std::size_t(position)]; };
    std::pair<int, int> seed = pairs.front();
    double bestGap = kInfinity;
    for (const auto& pair : pairs) {
        const double gap = std::abs(box(pair.first).midpoint.y - box(pair.second).midpoint.y);
        if (gap < bestGap) {
            bestGap = gap;
            seed = pair;
        }
    }
    Group a{seed.first};
    Group b{seed.second};
    for (int v : group) {
        if (v == seed.first || v == seed.second) {
            continue;
        }
        const double toA = seedDistance(box(v), box(seed.first));
        const double toB = seedDistance(box(v), box(seed.second));
        if (toB != 0 && toA < toB) {
            a.push_back(v);
        } else {
            b.push_back(v);
        }
    }
    std::vector<Group> result = splitGroup(boxes, a);
    for (auto& sub : splitGroup(boxes, b)) {
        result.push_back(std::move(sub));
    }
    return result;
}

double rowKey(const BoxList& boxes, const Group& row) {
    if (row.empty()) {
        return 0;
    }
    double slopeSum = 0, xSum = 0, ySum = 0;
    for (int position : row) {
        const BBox& b = *boxes[std::size_t(position)];
        slopeSum += b.approxOrientation;
        xSum += b.midpoint.x;
        ySum += b.midpoint.y;
    }
    const double k = double(row.size());
    const double meanSlope = slopeSum / k;
    const double meanX = xSum / k;
    const double meanY = ySum / k;
    const double intercept = meanY - meanSlope * meanX;
    return (meanY + intercept) / 2;
}

std::vector<std::vector<int>> detectRows(const std::vector<std::vector<GeoPoint>>& quads,
                                         const std::vector<GeoPoint>& region) {
    BoxList boxes;
    boxes.reserve(quads.size());
    for (std::size_t i = 0; i < quads.size(); ++i) {
        const auto& q = quads[i];
        if (q.size() < 4) {
            throw std::invalid_argument("a word quad needs four corners");
        }
        boxes.push_back(std::make_shared<const BBox>(q[0], q[1], q[2], q[3], int(i)));
    }
    const std::size_t n = boxes.size();
    const auto crossings = Relationships::lineIntersections(boxes, region);
    const auto sameLine = Relationships::sameLineMatrix(boxes);
    const auto linked = Relationships::linkNearestNeighbours(boxes, crossings, sameLine);

    std::vector<Group> rows;
    std::vector<bool> visited(n, false);
    std::size_t visitedCount = 0;
    std::size_t next = 0;
    while (visitedCount < n) {
        while (visited[next]) {
            ++next;
        }
        Group group = connectedComponent(linked, int(next));
        for (int v : group) {
            visited[std::size_t(v)] = true;
        }
        visitedCount += group.size();
        if (hasStackedPair(boxes, group)) {
            for (auto& sub : splitGroup(boxes, group)) {
                rows.push_back(std::move(sub));
            }
        } else {
            rows.push_back(std::move(group));
        }
    }

    for (auto& row : rows) {
        std::stable_sort(row.begin(), row.end(), [&](int a, int b) {
            return boxes[std::size_t(a)]->midpoint.x < boxes[std::size_t(b)]->midpoint.x;
        });
    }
    std::vector<std::pair<double, std::size_t>> keyed;
    keyed.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        keyed.emplace_back(rowKey(boxes, rows[r]), r);
    }
    // A box with a vertical edge has an infinite slope and can give its row a NaN key;
    // such rows go last so the ordering stays a strict weak order.
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const bool nanA = std::isnan(a.first), nanB = std::isnan(b.first);
        if (nanA || nanB) {
            return !nanA && nanB;
        }
        return a.first < b.first;
    });
    std::vector<std::vector<int>> ordered;
    ordered.reserve(rows.size());
    for (const auto& [key, r] : keyed) {
        ordered.push_back(std::move(rows[r]));
    }
    return ordered;
}

} // namespace TableGeometryEngine

} // namespace ombrix
