#pragma once

// The page images the view has drawn, bounded in bytes, and the small thumbnails kept
// apart from them so that a page once seen is never shown blank. GUI thread only.

#include "ui/view/TileGrid.h"

#include <QImage>
#include <cstddef>
#include <functional>
#include <map>

namespace ombrix::ui {

// Where an image stands in the eviction order; lower tiers go first, and within a tier
// the farthest page, then the least recently used.
struct EvictionRank {
    enum Tier { stale, otherPage, offscreenTile, visible };
    Tier tier = stale;
    int distance = 0; // pages from the nearest visible one
};

class TileCache {
public:
    using Ranker = std::function<EvictionRank(const TileKey&)>;
    using Entries = std::map<TileKey, QImage>;

    void setLimit(std::size_t bytes);
    std::size_t limit() const { return limit_; }
    std::size_t bytes() const { return bytes_; }
    std::size_t peakBytes() const { return peak_; }

    const QImage* find(const TileKey& key);
    bool contains(const TileKey& key) const { return entries_.count(key) != 0; }
    // Every image of a page, in key order (layer by layer).
    std::pair<Entries::const_iterator, Entries::const_iterator> pageEntries(int page) const;
    const Entries& entries() const { return entries_; }

    // Whether `bytes` more would fit after evicting only what `mayEvict` allows.
    bool canMakeRoom(std::size_t bytes, const Ranker& rank,
                     const std::function<bool(const EvictionRank&)>& mayEvict) const;
    // Evicts in order until the image fits (visible images stay even when it does not),
    // then stores it.
    void insert(const TileKey& key, QImage image, const Ranker& rank);
    void trim(const Ranker& rank); // back under the limit
    void erasePage(int page);
    void clear();

private:
    std::vector<Entries::const_iterator> evictionOrder(const Ranker& rank) const;
    void makeRoom(std::size_t incoming, const Ranker& rank);

    Entries entries_;
    std::map<TileKey, std::uint64_t> lastUse_;
    std::uint64_t clock_ = 0;
    std::size_t bytes_ = 0;
    std::size_t peak_ = 0;
    std::size_t limit_ = std::size_t(48) << 20;
};

// One small image per page (least recently used go first), made from a whole-page render.
class ThumbnailCache {
public:
    static constexpr int kLongSide = 160;
    explicit ThumbnailCache(std::size_t limit = std::size_t(16) << 20) : limit_(limit) {}

    const QImage* find(int page);
    void insert(int page, QImage thumbnail);
    void clear();
    std::size_t bytes() const { return bytes_; }

private:
    struct Entry {
        QImage image;
        std::uint64_t lastUse = 0;
    };
    std::map<int, Entry> entries_;
    std::uint64_t clock_ = 0;
    std::size_t bytes_ = 0;
    std::size_t limit_;
};

} // namespace ombrix::ui
