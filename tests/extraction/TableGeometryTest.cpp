#include "extraction/TableGeometry.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace ombrix;
namespace engine = ombrix::TableGeometryEngine;

namespace {

// A word rectangle as the table extractor hands it over: (minX, maxY), (maxX, maxY),
// (maxX, minY), (minX, minY).
std::vector<GeoPoint> rect(double x, double y, double w, double h) {
    return {{x, y + h}, {x + w, y + h}, {x + w, y}, {x, y}};
}

// A box whose top and bottom edges have slope `s`, starting at (x, y).
std::vector<GeoPoint> sloped(double x, double y, double w, double h, double s) {
    return {{x, y + h}, {x + w, y + h + s * w}, {x + w, y + s * w}, {x, y}};
}

const std::vector<GeoPoint> kPage = rect(0, 0, 1000, 1000);

using Rows = std::vector<std::vector<int>>;

} // namespace

TEST(GeoLine, LinesAndCrossings) {
    const GeoLine line = GeoLine::lineThrough({2, 3}, 0.5);
    EXPECT_DOUBLE_EQ(line.c, 2);
    EXPECT_DOUBLE_EQ(line.yForX(4), 4);
    EXPECT_DOUBLE_EQ(line.xForY(4), 4);
    EXPECT_TRUE(std::isinf(GeoLine{0, 1}.xForY(5)));
    EXPECT_DOUBLE_EQ((GeoLine{0, 0}.distanceTo({7, -3})), 3);
    EXPECT_NEAR((GeoLine{1, 0}.distanceTo({0, 2})), std::sqrt(2.0), 1e-12);

    const GeoPoint p = GeoLine{1, 0}.intersection(GeoLine{-1, 4});
    EXPECT_EQ(p, (GeoPoint{2, 2}));
    const GeoPoint parallel = GeoLine{0.3, 1}.intersection(GeoLine{0.3, 5});
    EXPECT_TRUE(std::isinf(parallel.x) && std::isinf(parallel.y));
}

TEST(BBox, DerivedFieldsAndOverlap) {
    const auto q = sloped(10, 20, 40, 10, 0.1);
    const BBox box(q[0], q[1], q[2], q[3], 0);
    EXPECT_NEAR(box.approxOrientation, 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(box.averageHeight, 10);
    EXPECT_DOUBLE_EQ(box.averageWidth, 40);
    EXPECT_EQ(box.midpoint, (GeoPoint{30, 27}));

    const auto v = std::vector<GeoPoint>{{0, 10}, {0, 12}, {5, 0}, {5, 2}};
    EXPECT_TRUE(std::isinf(BBox(v[0], v[1], v[2], v[3]).approxOrientation));

    auto make = [](double x, double w) {
        auto r = rect(x, 0, w, 10);
        return BBox(r[0], r[1], r[2], r[3]);
    };
    EXPECT_DOUBLE_EQ(horizontalOverlapPercent(make(0, 10), make(5, 20)), 50);
    EXPECT_FALSE(areStacked(make(0, 10), make(5, 20)));
    EXPECT_TRUE(areStacked(make(0, 10), make(4, 20)));
    EXPECT_DOUBLE_EQ(horizontalOverlapPercent(make(0, 10), make(11, 5)), 0);
    EXPECT_DOUBLE_EQ(horizontalOverlapPercent(make(0, 0), make(0, 5)), 0); // no width
}

TEST(Relationships, RoundingAndPolygon) {
    EXPECT_DOUBLE_EQ(Relationships::roundToHundredths(1.005000001), 1.01);
    EXPECT_DOUBLE_EQ(Relationships::roundToHundredths(-2.125), -2.13);
    const auto square = rect(0, 0, 10, 10);
    EXPECT_TRUE(Relationships::polygonContains(square, {5, 5}));
    EXPECT_FALSE(Relationships::polygonContains(square, {15, 5}));
    EXPECT_FALSE(Relationships::polygonContains(square, {5, -1}));
    EXPECT_FALSE(Relationships::polygonContains({}, {0, 0}));
    // A concave polygon: the notch is outside.
    const std::vector<GeoPoint> u{{0, 0},   {30, 0},  {30, 30}, {20, 30},
                                  {20, 10}, {10, 10}, {10, 30}, {0, 30}};
    EXPECT_FALSE(Relationships::polygonContains(u, {15, 20}));
    EXPECT_TRUE(Relationships::polygonContains(u, {5, 20}));
}

TEST(DetectRows, TrivialInputs) {
    EXPECT_TRUE(engine::detectRows({}, kPage).empty());
    EXPECT_EQ(engine::detectRows({rect(5, 5, 10, 10)}, kPage), (Rows{{0}}));
    EXPECT_THROW(engine::detectRows({{{0, 0}, {1, 1}, {2, 2}}}, kPage), std::invalid_argument);
}

TEST(DetectRows, OneLineOrderedLeftToRightWhateverTheInputOrder) {
    const Rows rows = engine::detectRows(
        {rect(300, 100, 50, 10), rect(100, 102, 50, 10), rect(200, 97, 50, 10)}, kPage);
    EXPECT_EQ(rows, (Rows{{1, 2, 0}}));
}

TEST(DetectRows, LinesComeBottomFirst) {
    // 6 apart with height 10: beyond half of either height.
    const Rows rows = engine::detectRows({rect(0, 106, 50, 10), rect(100, 100, 50, 10)}, kPage);
    EXPECT_EQ(rows, (Rows{{1}, {0}}));
    // Exactly half a height apart is still one line.
    EXPECT_EQ(engine::detectRows({rect(0, 105, 50, 10), rect(100, 100, 50, 10)}, kPage),
              (Rows{{0, 1}}));
}

TEST(DetectRows, OrientationThresholdIsThreeDegrees) {
    // Two boxes with the same midpoint line height but slopes 0.05 apart (2.86°) join;
    // 0.06 apart (3.44°) do not, though they are as close vertically.
    auto pairFor = [](double slopeDifference) {
        return std::vector<std::vector<GeoPoint>>{sloped(100, 100, 40, 10, 0),
                                                  sloped(150, 100, 40, 10, slopeDifference)};
    };
    // Crossings of the two box lines lie outside a narrow region, so only the same-line test
    // decides.
    const auto region = rect(100, 100, 1, 1);
    const auto near = engine::detectRows(pairFor(0.05), region);
    EXPECT_EQ(near.size(), 1u);
    const auto far = engine::detectRows(pairFor(0.06), region);
    EXPECT_EQ(far.size(), 2u);

    // A vertical edge gives an infinite slope: never on a line with anything.
    const std::vector<GeoPoint> vertical{{160, 110}, {160, 110}, {190, 100}, {190, 100}};
    EXPECT_EQ(engine::detectRows({rect(100, 100, 40, 10), vertical}, kPage).size(), 2u);
}

TEST(DetectRows, CrossingLinksOnlyInsideTheRegion) {
    // Two sloped words on different lines whose base lines cross near the boxes: inside the
    // region the crossing links them into one row, outside it they stay apart.
    const auto a = sloped(100, 100, 40, 10, 0.02);
    const auto b = sloped(150, 130, 40, 10, -0.02);
    const BBox ba(a[0], a[1], a[2], a[3]), bb(b[0], b[1], b[2], b[3]);
    const GeoPoint crossing = ba.line().intersection(bb.line());
    ASSERT_TRUE(std::isfinite(crossing.x));

    const auto inside = rect(crossing.x - 5, crossing.y - 5, 10, 10);
    EXPECT_EQ(engine::detectRows({a, b}, inside).size(), 1u);
    const auto elsewhere = rect(crossing.x + 50, crossing.y + 50, 10, 10);
    EXPECT_EQ(engine::detectRows({a, b}, elsewhere).size(), 2u);
    EXPECT_EQ(engine::detectRows({a, b}, {}).size(), 2u);
    // Parallel lines cross at infinity: no link even across the whole plane.
    const auto c = sloped(150, 130, 40, 10, 0.02);
    EXPECT_EQ(engine::detectRows({a, c}, rect(-1e6, -1e6, 2e6, 2e6)).size(), 2u);
}

TEST(DetectRows, StackedPairInOneGroupIsSplit) {
    // 0 and 2 overlap horizontally (stacked) and lie 4 apart; 1, tall, sits beside them and
    // is on a line with both, so all three form one group that must split.
    const Rows rows = engine::detectRows(
        {rect(100, 100, 40, 10), rect(200, 98, 40, 18), rect(110, 104, 40, 10)}, kPage);
    ASSERT_EQ(rows.size(), 2u);
    auto rowOf = [&](int position) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (std::count(rows[r].begin(), rows[r].end(), position)) {
                return int(r);
            }
        }
        return -1;
    };
    EXPECT_NE(rowOf(0), rowOf(2));
    EXPECT_EQ(rowOf(0), 0); // lower line first
    EXPECT_EQ(rowOf(1),
              rowOf(2)); // 1 is exactly as far from both lines: ties go to the second seed
}

TEST(SplitGroup, SeedIsTheStackedPairClosestInY) {
    BoxList boxes;
    for (const auto& q : {rect(0, 100, 40, 10), rect(5, 130, 40, 10), rect(10, 103, 40, 10)}) {
        boxes.push_back(std::make_shared<const BBox>(q[0], q[1], q[2], q[3], int(boxes.size())));
    }
    // Every pair is stacked; (0, 2) differ least in y, so 0 and 2 end apart and 1 follows
    // the nearer seed.
    const auto groups = engine::splitGroup(boxes, {0, 1, 2});
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(engine::stackedPairs(boxes, {0, 1, 2}).size(), 3u);
    for (const auto& g : groups) {
        EXPECT_EQ(g.size(), 1u);
    }
}

TEST(RowKey, MeanMidpointForAxisParallelRows) {
    BoxList boxes;
    for (const auto& q : {rect(0, 100, 10, 10), rect(20, 110, 10, 10)}) {
        boxes.push_back(std::make_shared<const BBox>(q[0], q[1], q[2], q[3], int(boxes.size())));
    }
    EXPECT_DOUBLE_EQ(engine::rowKey(boxes, {0, 1}), 110);
    EXPECT_DOUBLE_EQ(engine::rowKey(boxes, {}), 0);
}

TEST(DetectRows, RandomAxisParallelBoxesFormAPartitionOfOrderedRows) {
    std::mt19937 random(20241209);
    std::uniform_real_distribution<double> coordinate(0, 600);
    std::uniform_real_distribution<double> width(5, 80);
    std::uniform_real_distribution<double> height(4, 20);
    for (int round = 0; round < 30; ++round) {
        std::vector<std::vector<GeoPoint>> quads;
        const int n = 1 + round * 3;
        for (int i = 0; i < n; ++i) {
            quads.push_back(
                rect(coordinate(random), coordinate(random), width(random), height(random)));
        }
        const Rows rows = engine::detectRows(quads, kPage);

        std::vector<int> seen(std::size_t(n), 0);
        double previousKey = -1e300;
        for (const auto& row : rows) {
            ASSERT_FALSE(row.empty());
            double ySum = 0;
            for (std::size_t k = 0; k < row.size(); ++k) {
                ++seen.at(std::size_t(row[k]));
                const auto& q = quads[std::size_t(row[k])];
                ySum += (q[0].y + q[2].y) / 2;
                if (k > 0) {
                    const auto& p = quads[std::size_t(row[k - 1])];
                    EXPECT_LE(p[0].x + p[2].x, q[0].x + q[2].x) << "row not left to right";
                }
            }
            const double key = ySum / double(row.size());
            EXPECT_LE(previousKey, key + 1e-9) << "rows not ordered by mean midpoint y";
            previousKey = key;
        }
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(seen[std::size_t(i)], 1) << "position " << i << " in round " << round;
        }
    }
}
