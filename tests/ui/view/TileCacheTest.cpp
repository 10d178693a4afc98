#include "ui/view/TileCache.h"

#include <QtTest>
#include <map>

using namespace ombrix;
using ui::EvictionRank;
using ui::TileCache;
using ui::TileKey;

namespace {

TileKey key(int page, int column = -1) {
    TileKey k;
    k.page = page;
    k.scale = 1000000;
    k.dpr = 1000;
    k.column = column;
    k.row = column < 0 ? -1 : 0;
    return k;
}

QImage image() {
    return QImage(256, 256, QImage::Format_RGB32);
} // 256 KiB

constexpr std::size_t kImage = 256 * 256 * 4;

} // namespace

class TileCacheTest : public QObject {
    Q_OBJECT
private slots:
    void evictsStaleThenFarthestThenOffscreenTilesAndNeverVisibleOnes() {
        std::map<TileKey, EvictionRank> ranks{
            {key(10), {EvictionRank::otherPage, 5}},
            {key(11), {EvictionRank::otherPage, 6}},
            {key(3), {EvictionRank::stale, 2}},
            {key(5, 0), {EvictionRank::visible, 0}},
            {key(5, 1), {EvictionRank::offscreenTile, 0}},
            {key(6), {EvictionRank::otherPage, 1}},
        };
        auto rank = [&](const TileKey& k) { return ranks.at(k); };
        TileCache cache;
        cache.setLimit(6 * kImage);
        for (const auto& [k, r] : ranks) {
            cache.insert(k, image(), rank);
        }
        QCOMPARE(cache.bytes(), 6 * kImage);

        std::vector<std::vector<TileKey>> expectedGone{
            {key(3)},
            {key(3), key(11)},
            {key(3), key(11), key(10)},
            {key(3), key(11), key(10), key(6)},
            {key(3), key(11), key(10), key(6), key(5, 1)}};
        for (int round = 0; round < 5; ++round) {
            cache.setLimit(std::size_t(5 - round) * kImage);
            cache.trim(rank);
            for (const TileKey& gone : expectedGone[std::size_t(round)]) {
                QVERIFY2(!cache.contains(gone), qPrintable(QString::number(round)));
            }
            QVERIFY(cache.contains(key(5, 0)));
        }
        // Nothing left to give: the visible tile stays even above the limit.
        cache.setLimit(0);
        cache.trim(rank);
        QVERIFY(cache.contains(key(5, 0)));
        QCOMPARE(cache.bytes(), kImage);
        QCOMPARE(cache.peakBytes(), 6 * kImage);
    }

    void roomIsOnlyMadeFromWhatTheCallerMayEvict() {
        std::map<TileKey, EvictionRank> ranks{{key(1), {EvictionRank::otherPage, 1}},
                                              {key(2), {EvictionRank::stale, 1}}};
        auto rank = [&](const TileKey& k) { return ranks.at(k); };
        TileCache cache;
        cache.setLimit(2 * kImage);
        cache.insert(key(1), image(), rank);
        cache.insert(key(2), image(), rank);
        auto onlyStale = [](const EvictionRank& r) { return r.tier == EvictionRank::stale; };
        QVERIFY(cache.canMakeRoom(kImage, rank, onlyStale));
        QVERIFY(!cache.canMakeRoom(2 * kImage, rank, onlyStale));
        QVERIFY(cache.canMakeRoom(2 * kImage, rank, [](const EvictionRank&) { return true; }));
        QCOMPARE(cache.bytes(), 2 * kImage); // asking evicts nothing

        // The same key stored again replaces the image, counted once.
        cache.insert(key(2), image(), rank);
        QCOMPARE(cache.bytes(), 2 * kImage);
        cache.erasePage(2);
        QCOMPARE(cache.bytes(), kImage);
    }

    void thumbnailsStayWithinTheirOwnBoundLeastRecentlyUsedFirst() {
        ui::ThumbnailCache thumbnails(3 * kImage);
        for (int page = 0; page < 3; ++page) {
            thumbnails.insert(page, image());
        }
        QVERIFY(thumbnails.find(0)); // page 0 used again: page 1 is now the oldest
        thumbnails.insert(3, image());
        QCOMPARE(thumbnails.bytes(), 3 * kImage);
        QVERIFY(thumbnails.find(0) && thumbnails.find(2) && thumbnails.find(3));
        QVERIFY(!thumbnails.find(1));
    }
};

QTEST_GUILESS_MAIN(TileCacheTest)
#include "TileCacheTest.moc"
