#include "ui/view/RenderWorkers.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/PageRenderer.h"
#include "ui/view/TileCache.h"

#include <QThread>
#include <algorithm>
#include <bit>
#include <cstring>
#include <malloc.h>
#include <mutex>

namespace ombrix::ui {

namespace {

Image renderJob(const RenderJob& job) {
    return job.document->renderer().renderTile(job.key.page, job.displayRect, job.deviceScale,
                                               job.pixels.width(), job.pixels.height(), true,
                                               &job.token);
}

QImage makeThumbnail(const QImage& image) {
    const int side = ThumbnailCache::kLongSide;
    return image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QImage toQImage(const Image& image, double devicePixelRatio) {
    if (image.isNull()) {
        return {};
    }
    auto* keep = new Image(image);
    QImage q(
        keep->data(), keep->width(), keep->height(), keep->stride(),
        QImage::Format_RGBA8888_Premultiplied,
        [](void* pixels) { delete static_cast<Image*>(pixels); }, keep);
    q.setDevicePixelRatio(devicePixelRatio);
    return q;
}

QImage toOpaqueQImage(Image image, double devicePixelRatio) {
    if (image.isNull()) {
        return {};
    }
    // One pass here buys cheap frames: the raster engine copies opaque RGB32 rows straight
    // into the backing store and scales them on fast paths, where RGBA rows are converted
    // and blended per pixel on every paint (about 5 ms against under 1 ms for a full HD
    // frame). Pages are opaque, so no alpha is lost. Swapping red and blue in place, in
    // pixels nobody else holds yet, spares a second image's allocation and page faults.
    static_assert(std::endian::native == std::endian::little);
    auto* keep = new Image(std::move(image));
    auto* pixels = const_cast<std::uint8_t*>(keep->data());
    const std::size_t count = std::size_t(keep->width()) * std::size_t(keep->height());
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t v;
        std::memcpy(&v, pixels + i * 4, 4);
        // RGBA bytes read as a little-endian word are 0xAABBGGRR; RGB32 wants 0xFFRRGGBB.
        v = 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
        std::memcpy(pixels + i * 4, &v, 4);
    }
    QImage q(
        pixels, keep->width(), keep->height(), keep->stride(), QImage::Format_RGB32,
        [](void* kept) { delete static_cast<Image*>(kept); }, keep);
    q.setDevicePixelRatio(devicePixelRatio);
    return q;
}

int RenderWorkers::defaultThreadCount() {
    return std::clamp(QThread::idealThreadCount() - 1, 1, 4);
}

RenderWorkers::RenderWorkers(int threads, Deliver deliver) : deliver_(std::move(deliver)) {
    // Page images are megabytes each and come and go all the time. With glibc's sliding
    // threshold they soon land on the heap, whose freed space the process keeps; a fixed
    // threshold maps each one and hands it back to the system when it is freed.
    static std::once_flag fixedThreshold;
    std::call_once(fixedThreshold, [] { mallopt(M_MMAP_THRESHOLD, 256 * 1024); });
    for (int i = 0; i < std::max(1, threads); ++i) {
        threads_.emplace_back([this] { run(); });
    }
}

RenderWorkers::~RenderWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        for (auto& job : running_) {
            job->cancel();
        }
    }
    wake_.notify_all();
    for (auto& t : threads_) {
        t.join();
    }
}

std::vector<std::shared_ptr<RenderJob>>
RenderWorkers::replaceQueue(std::vector<std::shared_ptr<RenderJob>> jobs) {
    std::vector<std::shared_ptr<RenderJob>> removed;
    {
        std::lock_guard lock(mutex_);
        removed.assign(queue_.begin(), queue_.end());
        queue_.assign(jobs.begin(), jobs.end());
    }
    wake_.notify_all();
    return removed;
}

std::size_t RenderWorkers::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void RenderWorkers::run() {
    for (;;) {
        std::shared_ptr<RenderJob> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
            job->started = true;
            running_.push_back(job);
        }
        RenderResult result{job, {}, {}};
        if (!job->cancelled()) {
            result.image = toOpaqueQImage(renderJob(*job), job->dpr);
            if (job->makeThumbnail && !result.image.isNull() && !job->cancelled()) {
                result.thumbnail = makeThumbnail(result.image);
                result.thumbnail.setDevicePixelRatio(1);
            }
        }
        {
            std::lock_guard lock(mutex_);
            running_.erase(std::find(running_.begin(), running_.end(), job));
        }
        deliver_(std::move(result));
    }
}

} // namespace ombrix::ui
