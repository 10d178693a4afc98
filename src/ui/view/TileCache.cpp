#include "ui/view/TileCache.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace ombrix::ui {

namespace {

std::size_t imageBytes(const QImage& image) {
    return std::size_t(image.sizeInBytes());
}

} // namespace

void TileCache::setLimit(std::size_t bytes) {
    limit_ = bytes;
}

const QImage* TileCache::find(const TileKey& key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        return nullptr;
    }
    lastUse_[key] = ++clock_;
    return &it->second;
}

std::pair<TileCache::Entries::const_iterator, TileCache::Entries::const_iterator>
TileCache::pageEntries(int page) const {
    TileKey low;
    low.page = page;
    low.scale = std::numeric_limits<std::int64_t>::min();
    TileKey high;
    high.page = page + 1;
    high.scale = std::numeric_limits<std::int64_t>::min();
    return {entries_.lower_bound(low), entries_.lower_bound(high)};
}

std::vector<TileCache::Entries::const_iterator> TileCache::evictionOrder(const Ranker& rank) const {
    struct Candidate {
        Entries::const_iterator it;
        EvictionRank rank;
        std::uint64_t lastUse;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(entries_.size());
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        const EvictionRank r = rank(it->first);
        if (r.tier == EvictionRank::visible) {
            continue;
        }
        auto use = lastUse_.find(it->first);
        candidates.push_back({it, r, use == lastUse_.end() ? 0 : use->second});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tuple(int(a.rank.tier), -a.rank.distance, a.lastUse) <
               std::tuple(int(b.rank.tier), -b.rank.distance, b.lastUse);
    });
    std::vector<Entries::const_iterator> order;
    order.reserve(candidates.size());
    for (const Candidate& c : candidates) {
        order.push_back(c.it);
    }
    return order;
}

bool TileCache::canMakeRoom(std::size_t incoming, const Ranker& rank,
                            const std::function<bool(const EvictionRank&)>& mayEvict) const {
    if (bytes_ + incoming <= limit_) {
        return true;
    }
    std::size_t freed = 0;
    for (auto it : evictionOrder(rank)) {
        if (!mayEvict(rank(it->first))) {
            return false;
        }
        freed += imageBytes(it->second);
        if (bytes_ + incoming - freed <= limit_) {
            return true;
        }
    }
    return false;
}

void TileCache::makeRoom(std::size_t incoming, const Ranker& rank) {
    if (bytes_ + incoming <= limit_) {
        return;
    }
    for (auto it : evictionOrder(rank)) {
        bytes_ -= imageBytes(it->second);
        lastUse_.erase(it->first);
        entries_.erase(it);
        if (bytes_ + incoming <= limit_) {
            return;
        }
    }
}

void TileCache::insert(const TileKey& key, QImage image, const Ranker& rank) {
    auto old = entries_.find(key);
    if (old != entries_.end()) {
        bytes_ -= imageBytes(old->second);
        entries_.erase(old);
    }
    const std::size_t size = imageBytes(image);
    makeRoom(size, rank);
    entries_.emplace(key, std::move(image));
    lastUse_[key] = ++clock_;
    bytes_ += size;
    peak_ = std::max(peak_, bytes_);
}

void TileCache::trim(const Ranker& rank) {
    makeRoom(0, rank);
}

void TileCache::erasePage(int page) {
    auto [first, last] = pageEntries(page);
    for (auto it = first; it != last;) {
        bytes_ -= imageBytes(it->second);
        lastUse_.erase(it->first);
        it = entries_.erase(it);
    }
}

void TileCache::clear() {
    entries_.clear();
    lastUse_.clear();
    bytes_ = 0;
}

const QImage* ThumbnailCache::find(int page) {
    auto it = entries_.find(page);
    if (it == entries_.end()) {
        return nullptr;
    }
    it->second.lastUse = ++clock_;
    return &it->second.image;
}

void ThumbnailCache::insert(int page, QImage thumbnail) {
    auto old = entries_.find(page);
    if (old != entries_.end()) {
        bytes_ -= imageBytes(old->second.image);
        entries_.erase(old);
    }
    const std::size_t size = imageBytes(thumbnail);
    while (!entries_.empty() && bytes_ + size > limit_) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        bytes_ -= imageBytes(oldest->second.image);
        entries_.erase(oldest);
    }
    entries_[page] = Entry{std::move(thumbnail), ++clock_};
    bytes_ += size;
}

void ThumbnailCache::clear() {
    entries_.clear();
    bytes_ = 0;
}

} // namespace ombrix::ui
