#pragma once

// The raster threads behind the page view: a queue of render jobs that the GUI thread
// replaces wholesale, and workers that draw them through the PDF kit.

#include "core/Geometry.h"
#include "core/Image.h"
#include "pdfkit/CancelToken.h"
#include "ui/view/TileGrid.h"

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ombrix::pdfkit {
class Document;
}

namespace ombrix::ui {

// One image to draw. Built and read by the GUI thread; a worker reads the fixed fields and
// hands `token` to the kit, so cancel() from the GUI thread stops a render in progress.
// `generation` says which view state still wants the result.
struct RenderJob {
    TileKey key;
    std::shared_ptr<pdfkit::Document> document;
    Rect displayRect;       // what of the page, display space
    double deviceScale = 1; // device pixels per point
    QSize pixels;           // the image's exact size
    double dpr = 1;
    bool makeThumbnail = false;
    bool prefetch = false;
    std::uint64_t generation = 0; // GUI thread only
    std::atomic<bool> started{false};
    pdfkit::CancelToken token;

    void cancel() { token.cancel(); }
    bool cancelled() const { return token.isCancelled(); }
};

// What a worker hands back: the image (null when cancelled or failed) and, when asked,
// a thumbnail of it.
struct RenderResult {
    std::shared_ptr<RenderJob> job;
    QImage image;
    QImage thumbnail;
};

// Wraps the kit's RGBA premultiplied pixels as a QImage without copying them; the QImage
// keeps the pixels alive. Null for a null image.
QImage toQImage(const Image& image, double devicePixelRatio);
// Takes over the pixels of an opaque image that nothing else holds and turns them, in
// place, into an RGB32 QImage (the format the raster engine paints fastest). Null for a
// null image.
QImage toOpaqueQImage(Image image, double devicePixelRatio);

class RenderWorkers {
public:
    // `deliver` runs on a worker thread for every job a worker took, cancelled or not.
    using Deliver = std::function<void(RenderResult)>;

    RenderWorkers(int threads, Deliver deliver);
    ~RenderWorkers(); // cancels what runs and joins the threads
    RenderWorkers(const RenderWorkers&) = delete;
    RenderWorkers& operator=(const RenderWorkers&) = delete;

    // Hands back the jobs no worker has started and queues `jobs` in their place.
    std::vector<std::shared_ptr<RenderJob>>
    replaceQueue(std::vector<std::shared_ptr<RenderJob>> jobs);
    std::size_t queued() const;

    static int defaultThreadCount();

private:
    void run();

    Deliver deliver_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<RenderJob>> queue_;
    std::vector<std::shared_ptr<RenderJob>> running_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace ombrix::ui
