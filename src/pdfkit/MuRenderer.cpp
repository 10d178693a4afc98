#include "pdfkit/MuRenderer.h"

#include "pdfkit/MuDocument.h"

#include <cmath>

namespace ombrix::pdfkit {

namespace {

// A few pages' lists let zooming and re-rendering skip the interpreter.
constexpr std::size_t kCachedLists = 8;
constexpr long long kMaxPixels = 1LL << 27;
constexpr int kMaxSide = 1 << 16;

bool validSize(long long w, long long h) {
    return w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// Rasterises the list on opaque white. Drawing into a pixmap without alpha keeps every
// pixel opaque (with an alpha channel MuPDF's glyph blending leaves some at 254); the one
// copy into the image adds the alpha bytes.
Image rasterize(fz_context* ctx, fz_display_list* list, int w, int h, fz_matrix ctm) {
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    const fz_rect area = fz_make_rect(0, 0, float(w), float(h));
    bool ok = mu::attempt(ctx, [&] {
        pixmap = fz_new_pixmap(ctx, fz_device_rgb(ctx), w, h, nullptr, 0);
        fz_clear_pixmap_with_value(ctx, pixmap, 255);
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        fz_run_display_list(ctx, list, device, ctm, area, nullptr);
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    if (!ok) {
        fz_drop_pixmap(ctx, pixmap);
        return {};
    }
    std::vector<std::uint8_t> rgba(std::size_t(w) * std::size_t(h) * 4);
    const unsigned char* samples = fz_pixmap_samples(ctx, pixmap);
    const std::ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
    for (int y = 0; y < h; ++y) {
        const unsigned char* s = samples + y * stride;
        std::uint8_t* d = rgba.data() + std::size_t(y) * std::size_t(w) * 4;
        for (int x = 0; x < w; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }
    fz_drop_pixmap(ctx, pixmap);
    return Image(w, h, std::move(rgba));
}

} // namespace

MuRenderer::~MuRenderer() {
    if (cache_.empty()) {
        return;
    }
    fz_context* ctx = mu::context();
    for (Entry& e : cache_) {
        fz_drop_display_list(ctx, e.list);
    }
}

fz_display_list* MuRenderer::capture(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                                     Rect& mediaBox) {
    std::lock_guard lock(page.core()->mutex);
    fz_context* ctx = mu::context();
    pdf_page* live = page.livePage(ctx);
    const PageFrame& frame = page.frame(ctx);
    mediaBox = frame.mediaBox;
    if (!live) {
        return nullptr;
    }
    const std::uint64_t generation = withAnnotations ? page.generation() : 0;
    if (cache) {
        for (Entry& e : cache->cache_) {
            if (e.page == page.index() && e.withAnnotations == withAnnotations &&
                e.generation == generation) {
                e.lastUse = ++cache->clock_;
                return fz_keep_display_list(ctx, e.list);
            }
        }
    }

    fz_display_list* list = nullptr;
    fz_device* device = nullptr;
    const fz_matrix ctm = frame.runMatrix();
    const fz_rect box =
        fz_make_rect(0, 0, float(frame.mediaBox.width), float(frame.mediaBox.height));
    fz_page* fzPage = &live->super;
    bool ok = mu::attempt(ctx, [&] {
        list = fz_new_display_list(ctx, box);
        device = fz_new_list_device(ctx, list);
        fz_run_page_contents(ctx, fzPage, device, ctm, nullptr);
        if (withAnnotations) {
            fz_run_page_annots(ctx, fzPage, device, ctm, nullptr);
            fz_run_page_widgets(ctx, fzPage, device, ctm, nullptr);
        }
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    if (!ok) {
        fz_drop_display_list(ctx, list);
        return nullptr;
    }

    if (cache) {
        auto& entries = cache->cache_;
        // An older list of the same page and kind can never be asked for again.
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->page == page.index() && it->withAnnotations == withAnnotations) {
                fz_drop_display_list(ctx, it->list);
                it = entries.erase(it);
            } else {
                ++it;
            }
        }
        if (entries.size() >= kCachedLists) {
            auto oldest = entries.begin();
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (it->lastUse < oldest->lastUse) {
                    oldest = it;
                }
            }
            fz_drop_display_list(ctx, oldest->list);
            entries.erase(oldest);
        }
        entries.push_back(Entry{page.index(), withAnnotations, generation, ++cache->clock_,
                                fz_keep_display_list(ctx, list)});
    }
    return list;
}

Image MuRenderer::renderPage(const MuPage& page, int pixelWidth, int pixelHeight, double scale,
                             bool withAnnotations, MuRenderer* cache) {
    if (!validSize(pixelWidth, pixelHeight) || !std::isfinite(scale) || scale <= 0) {
        return {};
    }
    Rect box;
    fz_display_list* list = capture(page, withAnnotations, cache, box);
    if (!list) {
        return {};
    }
    // The media box's lower left on the bitmap's lower left.
    const float s = float(scale);
    const fz_matrix ctm =
        fz_concat(fz_scale(s, s), fz_translate(0, float(pixelHeight - box.height * scale)));
    fz_context* ctx = mu::context();
    Image image = rasterize(ctx, list, pixelWidth, pixelHeight, ctm);
    fz_drop_display_list(ctx, list);
    return image;
}

Image MuRenderer::renderPageRegion(const MuPage& page, const Rect& requested, double scale,
                                   bool withAnnotations, MuRenderer* cache) {
    if (!requested.isFinite() || !std::isfinite(scale) || scale <= 0) {
        return {};
    }
    const Rect region = requested.standardized();
    const double w = std::round(region.width * scale);
    const double h = std::round(region.height * scale);
    if (!(w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide) ||
        !validSize((long long)w, (long long)h)) {
        return {};
    }
    Rect box;
    fz_display_list* list = capture(page, withAnnotations, cache, box);
    if (!list) {
        return {};
    }
    const float s = float(scale);
    const fz_matrix ctm = fz_concat(
        fz_translate(float(box.minX() - region.minX()), float(region.maxY() - box.maxY())),
        fz_scale(s, s));
    fz_context* ctx = mu::context();
    Image image = rasterize(ctx, list, int(w), int(h), ctm);
    fz_drop_display_list(ctx, list);
    return image;
}

Image MuRenderer::render(int pageIndex, int pixelWidth, int pixelHeight, double scale,
                         bool withAnnotations) {
    if (pageIndex < 0 || pageIndex >= document_->pageCount()) {
        return {};
    }
    return renderPage(*document_->muPage(pageIndex), pixelWidth, pixelHeight, scale,
                      withAnnotations, this);
}

Image MuRenderer::renderRegion(int pageIndex, const Rect& region, double scale,
                               bool withAnnotations) {
    if (pageIndex < 0 || pageIndex >= document_->pageCount()) {
        return {};
    }
    return renderPageRegion(*document_->muPage(pageIndex), region, scale, withAnnotations, this);
}

} // namespace ombrix::pdfkit
