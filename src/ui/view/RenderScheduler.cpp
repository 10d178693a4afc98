#include "ui/view/RenderScheduler.h"

#include "pdfkit/Document.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace ombrix::ui {

namespace {

constexpr int kZoomSettleMs = 200;
constexpr int kPrefetchDelayMs = 150;
constexpr double kMinStandInRatio = 0.25;
constexpr double kMaxStandInRatio = 20;

std::size_t physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return std::size_t(1) << 32;
    }
    return std::size_t(pages) * std::size_t(pageSize);
}

Rect toRect(const QRectF& r) {
    return Rect{r.x(), r.y(), r.width(), r.height()};
}

std::size_t imageBytes(QSize pixels) {
    return std::size_t(pixels.width()) * pixels.height() * 4;
}

// Draws one cached image (pixels `pixelRect` of its layer, at `layerScale` device pixels
// per point) into the page at `target`. At the painted scale it is placed 1:1 on the
// device pixel grid, else stretched.
void drawLayerImage(QPainter& painter, const QRectF& target, double perPoint, double deviceRatio,
                    const QImage& image, QPoint pixelOrigin, double layerScale) {
    if (std::abs(layerScale / (perPoint * deviceRatio) - 1) < 1e-4 &&
        std::abs(image.devicePixelRatio() - deviceRatio) < 1e-3) {
        const QPointF origin(std::round(target.x() * deviceRatio),
                             std::round(target.y() * deviceRatio));
        painter.drawImage((origin + QPointF(pixelOrigin)) / deviceRatio, image);
        return;
    }
    const double k = perPoint / layerScale;
    const QRectF dest(target.x() + pixelOrigin.x() * k, target.y() + pixelOrigin.y() * k,
                      image.width() * k, image.height() * k);
    painter.drawImage(dest, image, QRectF(image.rect()));
}

} // namespace

RenderScheduler::RenderScheduler(QObject* parent) : RenderScheduler(0, parent) {}

RenderScheduler::RenderScheduler(int workerThreads, QObject* parent) : QObject(parent) {
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kZoomSettleMs);
    prefetchTimer_.setSingleShot(true);
    prefetchTimer_.setInterval(kPrefetchDelayMs);
    connect(&settleTimer_, &QTimer::timeout, this, [this] {
        settling_ = false;
        schedule();
    });
    connect(&prefetchTimer_, &QTimer::timeout, this, [this] {
        prefetchArmed_ = true;
        schedule();
    });
    applyCacheLimit();
    const int threads = workerThreads > 0 ? workerThreads : RenderWorkers::defaultThreadCount();
    workers_ = std::make_unique<RenderWorkers>(threads, [this](RenderResult result) {
        QMetaObject::invokeMethod(
            this, [this, result]() mutable { accept(std::move(result)); }, Qt::QueuedConnection);
    });
}

RenderScheduler::~RenderScheduler() {
    cancelAll();
    workers_.reset();
}

void RenderScheduler::setSettleDelays(int zoomMs, int prefetchMs) {
    settleTimer_.setInterval(zoomMs);
    prefetchTimer_.setInterval(prefetchMs);
}

void RenderScheduler::cancelAll() {
    if (workers_) {
        workers_->replaceQueue({});
    }
    for (auto& [key, job] : inFlight_) {
        job->cancel();
    }
    inFlight_.clear();
}

void RenderScheduler::setDocument(std::shared_ptr<pdfkit::Document> document,
                                  std::vector<Size> displaySizes) {
    cancelAll();
    ++generation_;
    document_ = std::move(document);
    sizes_ = std::move(displaySizes);
    revisions_.assign(sizes_.size(), 0);
    cache_.clear();
    thumbnails_.clear();
    failed_.clear();
    hasState_ = false;
    settling_ = false;
    prefetchArmed_ = false;
    settleTimer_.stop();
    prefetchTimer_.stop();
    visible_.clear();
    prefetchPages_.clear();
    wanted_.clear();
    visibleKeys_.clear();
    wantedKeys_.clear();
    visiblePages_.clear();
}

void RenderScheduler::setViewState(const std::vector<VisiblePage>& visible,
                                   std::vector<int> prefetchPages, double scale,
                                   qreal devicePixelRatio, QSize viewportDevicePixels) {
    if (!(scale > 0) || !std::isfinite(scale) || !(devicePixelRatio > 0)) {
        return;
    }
    const bool zoomed = hasState_ && (scaleKey(scale) != scaleKey(scale_) ||
                                      dprKey(devicePixelRatio) != dprKey(dpr_));
    const bool same =
        hasState_ && !zoomed && viewportDevicePixels == viewport_ &&
        prefetchPages == prefetchPages_ && visible.size() == visible_.size() &&
        std::equal(visible.begin(), visible.end(), visible_.begin(),
                   [](const VisiblePage& a, const VisiblePage& b) {
                       return a.index == b.index && a.visibleDisplayRect == b.visibleDisplayRect;
                   });
    if (same) {
        return;
    }
    ++generation_;
    visible_ = visible;
    prefetchPages_ = std::move(prefetchPages);
    scale_ = scale;
    dpr_ = devicePixelRatio;
    viewport_ = viewportDevicePixels;
    hasState_ = true;
    applyCacheLimit();
    computeWanted();
    if (zoomed) {
        // Old images stand in until the zoom stops; with none, render at once.
        const bool standIns = std::any_of(visiblePages_.begin(), visiblePages_.end(),
                                          [&](int page) { return hasStandIn(page); });
        settling_ = standIns;
        if (standIns) {
            settleTimer_.start();
        } else {
            settleTimer_.stop();
        }
    }
    prefetchArmed_ = false;
    prefetchTimer_.start();
    schedule();
}

void RenderScheduler::pageContentChanged(int index) {
    if (index < 0 || index >= int(revisions_.size())) {
        return;
    }
    ++revisions_[index];
    ++generation_;
    if (hasState_) {
        computeWanted();
        schedule();
    }
}

void RenderScheduler::setCacheLimit(std::size_t bytes) {
    requestedLimit_ = bytes;
    applyCacheLimit();
}

void RenderScheduler::applyCacheLimit() {
    const std::size_t viewportBytes = imageBytes(viewport_);
    const std::size_t most = physicalMemory() / 8;
    const std::size_t limit = std::min(std::max(requestedLimit_, 3 * viewportBytes), most);
    if (limit != cache_.limit()) {
        cache_.setLimit(limit);
        cache_.trim([this](const TileKey& k) { return rank(k); });
    }
}

bool RenderScheduler::idle() const {
    return inFlight_.empty() && !(settling_ && settleTimer_.isActive()) &&
           !prefetchTimer_.isActive();
}

std::size_t RenderScheduler::runningRenders() const {
    return std::size_t(std::count_if(inFlight_.begin(), inFlight_.end(), [](const auto& entry) {
        return entry.second->started && !entry.second->cancelled();
    }));
}

bool RenderScheduler::visibleImagesReady() const {
    return hasState_ &&
           std::all_of(visibleKeys_.begin(), visibleKeys_.end(), [this](const TileKey& key) {
               return cache_.contains(key) || failed_.count(key);
           });
}

TileKey RenderScheduler::layerKey(int page, double scale) const {
    TileKey key;
    key.page = page;
    key.scale = scaleKey(scale);
    key.dpr = dprKey(dpr_);
    key.revision = revisions_[page];
    return key;
}

PagePlan RenderScheduler::plan(int page) const {
    return planPage(sizes_[page], scale_, dpr_, viewport_);
}

void RenderScheduler::computeWanted() {
    wanted_.clear();
    visibleKeys_.clear();
    wantedKeys_.clear();
    visiblePages_.clear();
    const int count = int(sizes_.size());
    for (const VisiblePage& v : visible_) {
        if (v.index >= 0 && v.index < count && visiblePages_.insert(v.index).second) {
            addWanted(v.index, toRect(v.visibleDisplayRect), false);
        }
    }
    for (int page : prefetchPages_) {
        if (page >= 0 && page < count && !visiblePages_.count(page) &&
            std::none_of(wanted_.begin(), wanted_.end(),
                         [&](const Wanted& w) { return w.key.page == page; })) {
            addWanted(page, Rect{0, 0, sizes_[page].width, sizes_[page].height}, true);
        }
    }
}

void RenderScheduler::addWanted(int page, const Rect& area, bool prefetch) {
    const PagePlan p = plan(page);
    const Rect whole{0, 0, p.displaySize.width, p.displaySize.height};
    auto add = [&](Wanted w) {
        w.prefetch = prefetch;
        if (!prefetch) {
            visibleKeys_.insert(w.key);
        }
        wantedKeys_.insert(w.key);
        wanted_.push_back(w);
    };
    if (!p.tiled) {
        add(Wanted{layerKey(page, scale_), whole, p.pixels, p.deviceScale()});
        return;
    }
    const double baseDeviceScale = p.baseScale * p.dpr;
    add(Wanted{layerKey(page, p.baseScale), whole, pagePixels(p.displaySize, baseDeviceScale),
               baseDeviceScale});
    if (prefetch) {
        return;
    }
    const TileKey layer = layerKey(page, scale_);
    for (QPoint t : p.tilesIn(area)) {
        const QRect pixels = p.tilePixels(t.x(), t.y());
        add(Wanted{layer.withTile(t.x(), t.y()), p.displayRect(pixels), pixels.size(),
                   p.deviceScale()});
    }
}

int RenderScheduler::distanceToVisible(int page) const {
    if (visiblePages_.empty()) {
        return int(sizes_.size());
    }
    auto after = visiblePages_.lower_bound(page);
    int best = int(sizes_.size());
    if (after != visiblePages_.end()) {
        best = *after - page;
    }
    if (after != visiblePages_.begin()) {
        best = std::min(best, page - *std::prev(after));
    }
    return best;
}

EvictionRank RenderScheduler::rank(const TileKey& key) const {
    const int distance = distanceToVisible(key.page);
    if (!hasState_ || key.page >= int(sizes_.size())) {
        return {EvictionRank::stale, distance};
    }
    const PagePlan p = plan(key.page);
    const bool current = key.dpr == dprKey(dpr_) && key.rotation == 0 &&
                         key.revision == revisions_[key.page] &&
                         (key.scale == scaleKey(scale_) ||
                          (p.tiled && key.isWholePage() && key.scale == scaleKey(p.baseScale)));
    if (!current) {
        return {EvictionRank::stale, distance};
    }
    if (!visiblePages_.count(key.page)) {
        return {EvictionRank::otherPage, distance};
    }
    if (!visibleKeys_.count(key)) {
        return {EvictionRank::offscreenTile, 0};
    }
    return {EvictionRank::visible, 0};
}

bool RenderScheduler::hasStandIn(int page) const {
    auto [first, last] = cache_.pageEntries(page);
    return first != last;
}

bool RenderScheduler::roomForPrefetch(int page, std::size_t bytes) const {
    const int distance = distanceToVisible(page);
    return cache_.canMakeRoom(
        bytes, [this](const TileKey& k) { return rank(k); },
        [distance](const EvictionRank& r) {
            return r.tier == EvictionRank::stale ||
                   (r.tier == EvictionRank::otherPage && r.distance > distance);
        });
}

void RenderScheduler::schedule() {
    if (!workers_ || !document_) {
        return;
    }
    for (const auto& job : workers_->replaceQueue({})) {
        auto it = inFlight_.find(job->key);
        if (it != inFlight_.end() && it->second == job) {
            inFlight_.erase(it);
        }
    }
    // What runs now either still serves this state or is stopped.
    for (auto& [key, job] : inFlight_) {
        if (job->cancelled()) {
            continue;
        }
        if (wantedKeys_.count(key) && !(settling_ && !visibleKeys_.count(key))) {
            job->generation = generation_;
        } else {
            job->cancel();
            ++stats_.cancelled;
        }
    }
    std::vector<std::shared_ptr<RenderJob>> jobs;
    if (!settling_) {
        for (const Wanted& w : wanted_) {
            if (w.prefetch && !prefetchArmed_) {
                continue;
            }
            auto running = inFlight_.find(w.key);
            if (cache_.contains(w.key) || failed_.count(w.key) ||
                (running != inFlight_.end() && !running->second->cancelled())) {
                continue;
            }
            if (w.prefetch && !roomForPrefetch(w.key.page, imageBytes(w.pixels))) {
                continue;
            }
            auto job = std::make_shared<RenderJob>();
            job->key = w.key;
            job->document = document_;
            job->displayRect = w.displayRect;
            job->deviceScale = w.deviceScale;
            job->pixels = w.pixels;
            job->dpr = dpr_;
            job->makeThumbnail = w.key.isWholePage();
            job->prefetch = w.prefetch;
            job->generation = generation_;
            inFlight_[w.key] = job;
            jobs.push_back(std::move(job));
        }
    }
    stats_.queued += jobs.size();
    workers_->replaceQueue(std::move(jobs));
}

void RenderScheduler::accept(RenderResult result) {
    const std::shared_ptr<RenderJob>& job = result.job;
    const TileKey& key = job->key;
    auto it = inFlight_.find(key);
    if (it != inFlight_.end() && it->second == job) {
        inFlight_.erase(it);
    }
    const bool current = !job->cancelled() && job->generation == generation_ &&
                         job->document == document_ && key.page < int(revisions_.size()) &&
                         key.revision == revisions_[key.page];
    if (job->cancelled() && result.image.isNull()) {
        ++stats_.aborted;
    }
    if (!current) {
        ++stats_.dropped;
        return;
    }
    if (result.image.isNull()) {
        failed_.insert(key); // a page that cannot be drawn is not asked for again each frame
        return;
    }
    // Something nearer the view may have arrived since this was queued.
    if (job->prefetch && !roomForPrefetch(key.page, std::size_t(result.image.sizeInBytes()))) {
        ++stats_.dropped;
        return;
    }
    cache_.insert(key, std::move(result.image), [this](const TileKey& k) { return rank(k); });
    if (!result.thumbnail.isNull()) {
        thumbnails_.insert(key.page, std::move(result.thumbnail));
    }
    ++stats_.rendered;
    Q_EMIT pageUpdated(key.page);
}

void RenderScheduler::paintPage(QPainter& painter, int index, const QRectF& target) {
    if (target.isEmpty()) {
        return;
    }
    QRectF need = target;
    if (painter.hasClipping()) {
        need = need.intersected(painter.clipBoundingRect());
    }
    if (need.isEmpty()) {
        return;
    }
    auto blank = [&] {
        painter.save();
        painter.fillRect(need, Qt::white);
        painter.setPen(QPen(QColor(0, 0, 0, 72), 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(target.adjusted(0.5, 0.5, -0.5, -0.5));
        painter.restore();
    };
    if (index < 0 || index >= int(sizes_.size()) || !(sizes_[index].width > 0)) {
        blank();
        return;
    }
    const Size size = sizes_[index];
    const double perPoint = target.width() / size.width;
    const double deviceRatio = painter.device() ? painter.device()->devicePixelRatioF() : dpr_;
    const Rect needDisplay{(need.x() - target.x()) / perPoint, (need.y() - target.y()) / perPoint,
                           need.width() / perPoint, need.height() / perPoint};

    // Sharp images of the current state.
    std::vector<std::pair<QPoint, const QImage*>> sharp;
    double sharpScale = 0;
    if (hasState_) {
        const PagePlan p = plan(index);
        const TileKey layer = layerKey(index, scale_);
        sharpScale = p.deviceScale();
        if (!p.tiled) {
            if (const QImage* image = cache_.find(layer)) {
                drawLayerImage(painter, target, perPoint, deviceRatio, *image, {}, sharpScale);
                return;
            }
        } else {
            bool complete = true;
            for (QPoint t : p.tilesIn(needDisplay)) {
                if (const QImage* image = cache_.find(layer.withTile(t.x(), t.y()))) {
                    sharp.emplace_back(p.tilePixels(t.x(), t.y()).topLeft(), image);
                } else {
                    complete = false;
                }
            }
            if (complete && !sharp.empty()) {
                for (auto& [origin, image] : sharp) {
                    drawLayerImage(painter, target, perPoint, deviceRatio, *image, origin,
                                   sharpScale);
                }
                return;
            }
        }
    }

    // Stand-ins: the cached whole-page image nearest in scale, then the tiles of the layer
    // nearest in scale, then the thumbnail, then a white page.
    const double wanted = perPoint * deviceRatio;
    auto distance = [&](const TileKey& k) {
        const double ratio = k.deviceScale() / wanted;
        if (ratio < kMinStandInRatio || ratio > kMaxStandInRatio) {
            return HUGE_VAL;
        }
        // The current revision wins a tie: an annotation edit shows as soon as it can.
        return std::abs(std::log(ratio)) + (k.revision == revisions_[index] ? 0 : 1e-3);
    };
    auto [first, last] = cache_.pageEntries(index);
    const TileKey* wholeKey = nullptr;
    const QImage* whole = nullptr;
    const TileKey* tileLayer = nullptr;
    double wholeDistance = HUGE_VAL, tileDistance = HUGE_VAL;
    for (auto it = first; it != last; ++it) {
        const double d = distance(it->first);
        if (it->first.isWholePage() && d < wholeDistance) {
            wholeDistance = d;
            wholeKey = &it->first;
            whole = &it->second;
        } else if (!it->first.isWholePage() && d < tileDistance) {
            tileDistance = d;
            tileLayer = &it->first;
        }
    }
    if (whole) {
        drawLayerImage(painter, target, perPoint, deviceRatio, *whole, {}, wholeKey->deviceScale());
    } else if (const QImage* thumbnail = thumbnails_.find(index)) {
        painter.drawImage(target, *thumbnail, QRectF(thumbnail->rect()));
    } else {
        blank();
    }
    if (tileLayer && tileDistance < wholeDistance) {
        const TileKey layer = *tileLayer;
        const double layerScale = layer.deviceScale();
        for (auto it = first; it != last; ++it) {
            if (it->first.isWholePage() || !it->first.sameLayer(layer)) {
                continue;
            }
            const QPoint origin(it->first.column * kTileSize, it->first.row * kTileSize);
            const Rect shown{origin.x() / layerScale, origin.y() / layerScale,
                             it->second.width() / layerScale, it->second.height() / layerScale};
            if (shown.intersects(needDisplay)) {
                drawLayerImage(painter, target, perPoint, deviceRatio, it->second, origin,
                               layerScale);
            }
        }
    }
    for (auto& [origin, image] : sharp) {
        drawLayerImage(painter, target, perPoint, deviceRatio, *image, origin, sharpScale);
    }
}

} // namespace ombrix::ui
