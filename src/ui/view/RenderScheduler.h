#pragma once

// Renders the pages of the view on worker threads and paints them from a byte-bounded
// cache. The view tells it once per frame what is on screen; it renders what is visible
// first (whole pages, or tiles at high zoom), then prefetches neighbours once scrolling
// pauses, drops work the view no longer wants, and paints the best image it has for a
// page meanwhile. The API is for the GUI thread only; the images it paints are its own.

#include "core/Geometry.h"
#include "ui/view/RenderWorkers.h"
#include "ui/view/TileCache.h"

#include <QObject>
#include <QRectF>
#include <QSize>
#include <QTimer>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QPainter;

namespace ombrix::pdfkit {
class Document;
}

namespace ombrix::ui {

struct VisiblePage {
    int index = 0;
    QRectF visibleDisplayRect; // display-space points of the page that are on screen
};

// Counters for tests and the benchmark.
struct RenderStats {
    std::size_t queued = 0;    // jobs handed to the workers
    std::size_t rendered = 0;  // images stored
    std::size_t cancelled = 0; // running renders told to stop
    std::size_t aborted = 0;   // stopped renders that came back with nothing
    std::size_t dropped = 0;   // results no longer wanted when they arrived
};

class RenderScheduler : public QObject {
    Q_OBJECT
public:
    using VisiblePage = ui::VisiblePage;

    explicit RenderScheduler(QObject* parent = nullptr);
    // Worker threads: 0 picks clamp(ideal thread count - 1, 1, 4).
    explicit RenderScheduler(int workerThreads, QObject* parent = nullptr);
    ~RenderScheduler() override;

    // Forgets every image of the previous document. `displaySizes` holds each page's size
    // in display space (points).
    void setDocument(std::shared_ptr<pdfkit::Document> document, std::vector<Size> displaySizes);

    // What is on screen now (once per frame). Replaces the queued work wholesale, visible
    // first; stops running renders no longer wanted; waits for a zoom to settle before
    // rendering sharp images at the new scale while old ones can stand in.
    void setViewState(const std::vector<VisiblePage>& visible, std::vector<int> prefetchPages,
                      double scale, qreal devicePixelRatio, QSize viewportDevicePixels);

    // Draws page `index` into `target` (widget logical coordinates of the whole page at the
    // current scale) where the painter's clip needs it. Never leaves it black or empty.
    void paintPage(QPainter& painter, int index, const QRectF& target);

    // An annotation edit: re-renders that page; its old images stay until the new ones come.
    void pageContentChanged(int index);

    // Default 48 MiB: with the toolkit's own ~46 MB, the text of recent pages (~10 MB on
    // dense pages) and the thumbnails (16 MiB), paging through a long document peaks near
    // 135 MB resident; 96 MiB takes that to about 190 MB. See effectiveCacheLimit().
    void setCacheLimit(std::size_t bytes);
    // The setting held to at least three viewports' worth and at most 1/8 of the memory.
    std::size_t effectiveCacheLimit() const { return cache_.limit(); }
    std::size_t cacheBytes() const { return cache_.bytes(); }
    std::size_t peakCacheBytes() const { return cache_.peakBytes(); }
    bool idle() const;
    std::size_t runningRenders() const; // started by a worker, not cancelled, not yet back
    // Every image the current state shows sharply is in the cache.
    bool visibleImagesReady() const;

    const RenderStats& stats() const { return stats_; }
    const TileCache& cache() const { return cache_; }
    // The images that must be on screen for the current state (never evicted).
    const std::set<TileKey>& visibleKeys() const { return visibleKeys_; }
    // Quiet periods, for tests that should not wait long.
    void setSettleDelays(int zoomMs, int prefetchMs);

signals:
    void pageUpdated(int index); // a new image for that page is in the cache

private:
    struct Wanted {
        TileKey key;
        Rect displayRect;
        QSize pixels;
        double deviceScale = 1;
        bool prefetch = false;
    };

    TileKey layerKey(int page, double scale) const;
    PagePlan plan(int page) const;
    void computeWanted();
    void addWanted(int page, const Rect& area, bool prefetch);
    void schedule();
    void accept(RenderResult result);
    EvictionRank rank(const TileKey& key) const;
    int distanceToVisible(int page) const;
    bool hasStandIn(int page) const;
    // A prefetched image may only displace stale images and pages farther from the view.
    bool roomForPrefetch(int page, std::size_t bytes) const;
    void applyCacheLimit();
    void cancelAll();

    std::shared_ptr<pdfkit::Document> document_;
    std::vector<Size> sizes_;
    std::vector<std::uint64_t> revisions_;

    bool hasState_ = false;
    std::vector<VisiblePage> visible_;
    std::vector<int> prefetchPages_;
    double scale_ = 1;
    double dpr_ = 1;
    QSize viewport_;
    std::uint64_t generation_ = 0;
    bool settling_ = false;
    bool prefetchArmed_ = false;
    QTimer settleTimer_;
    QTimer prefetchTimer_;

    std::vector<Wanted> wanted_; // visible first, then prefetch
    std::set<TileKey> visibleKeys_;
    std::set<TileKey> wantedKeys_;
    std::set<int> visiblePages_;

    std::size_t requestedLimit_ = std::size_t(48) << 20;
    TileCache cache_;
    ThumbnailCache thumbnails_;
    std::map<TileKey, std::shared_ptr<RenderJob>> inFlight_;
    std::set<TileKey> failed_;
    RenderStats stats_;
    std::unique_ptr<RenderWorkers> workers_; // last: its threads stop before the rest goes
};

} // namespace ombrix::ui
