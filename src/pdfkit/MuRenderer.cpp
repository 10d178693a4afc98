#include "pdfkit/MuRenderer.h"

#include "pdfkit/MuDocument.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace ombrix::pdfkit {

namespace {

// A few pages' lists let zooming and re-rendering skip the interpreter.
constexpr std::size_t kCachedLists = 8;
constexpr long long kMaxPixels = 1LL << 27;
constexpr int kMaxSide = 1 << 16;

bool validSize(long long w, long long h) {
    return w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// Finds what can leave pixels short of opaque when drawn on an opaque page: MuPDF's
// compositing of transparency groups (blend modes, a page with transparent annotations)
// rounds some alpha values to 254. Masks and tiles are counted too, to be safe.
struct TransparencyProbe {
    fz_device super;
    fz_cookie* cookie;
    bool found;
};

void probeFound(fz_device* device) {
    auto* probe = reinterpret_cast<TransparencyProbe*>(device);
    probe->found = true;
    probe->cookie->abort = 1; // one is enough
}
void probeGroup(fz_context*, fz_device* d, fz_rect, fz_colorspace*, int, int, int, float) {
    probeFound(d);
}
void probeMask(fz_context*, fz_device* d, fz_rect, int, fz_colorspace*, const float*,
               fz_color_params) {
    probeFound(d);
}
int probeTile(fz_context*, fz_device* d, fz_rect, fz_rect, float, float, fz_matrix, int) {
    probeFound(d);
    return 1;
}

bool usesTransparency(fz_context* ctx, fz_display_list* list) {
    TransparencyProbe* probe = nullptr;
    fz_cookie cookie{};
    bool found = true; // when in doubt, make sure
    mu::attempt(ctx, [&] {
        probe = fz_new_derived_device(ctx, TransparencyProbe);
        probe->cookie = &cookie;
        probe->found = false;
        probe->super.begin_group = probeGroup;
        probe->super.begin_mask = probeMask;
        probe->super.begin_tile = probeTile;
        fz_run_display_list(ctx, list, &probe->super, fz_identity, fz_infinite_rect, &cookie);
        fz_close_device(ctx, &probe->super);
        found = probe->found;
    });
    fz_drop_device(ctx, probe ? &probe->super : nullptr);
    return found;
}

// Rasterises the list on opaque white straight into the image's buffer. Where the list
// composites transparency groups, the alpha bytes are set afterwards: the page is opaque.
// (That pass costs as much as the drawing of a text page, so it is skipped elsewhere.)
Image rasterize(fz_context* ctx, fz_display_list* list, bool translucent, int w, int h,
                fz_matrix ctm, fz_cookie* cookie) {
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    std::vector<std::uint8_t> rgba(pixels * 4, 255);
    unsigned char* samples = rgba.data();
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    const fz_rect area = fz_make_rect(0, 0, float(w), float(h));
    bool ok = mu::attempt(ctx, [&] {
        pixmap = fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), w, h, nullptr, 1, w * 4, samples);
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        fz_run_display_list(ctx, list, device, ctm, area, cookie);
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    fz_drop_pixmap(ctx, pixmap);
    if (!ok || (cookie && cookie->abort)) {
        return {};
    }
    if (translucent) {
        static_assert(std::endian::native == std::endian::little);
        std::uint8_t* p = rgba.data();
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint32_t v;
            std::memcpy(&v, p + i * 4, 4);
            v |= 0xFF000000u;
            std::memcpy(p + i * 4, &v, 4);
        }
    }
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

void MuRenderer::forget() {
    fz_context* ctx = mu::context();
    for (Entry& e : cache_) {
        fz_drop_display_list(ctx, e.list);
    }
    cache_.clear();
}

fz_display_list* MuRenderer::capture(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                                     PageFrame& pageFrame, bool& translucent, fz_cookie* cookie) {
    std::lock_guard lock(page.core()->mutex);
    fz_context* ctx = mu::context();
    pdf_page* live = page.livePage(ctx);
    const PageFrame& frame = page.frame(ctx);
    pageFrame = frame;
    if (!live || (cookie && cookie->abort)) {
        return nullptr;
    }
    const std::uint64_t generation = withAnnotations ? page.generation() : 0;
    if (cache) {
        for (Entry& e : cache->cache_) {
            if (e.page == page.index() && e.withAnnotations == withAnnotations &&
                e.generation == generation) {
                e.lastUse = ++cache->clock_;
                translucent = e.translucent;
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
        fz_run_page_contents(ctx, fzPage, device, ctm, cookie);
        if (withAnnotations) {
            fz_run_page_annots(ctx, fzPage, device, ctm, cookie);
            fz_run_page_widgets(ctx, fzPage, device, ctm, cookie);
        }
        fz_close_device(ctx, device);
    });
    fz_drop_device(ctx, device);
    // An aborted recording is incomplete: never kept.
    if (!ok || (cookie && cookie->abort)) {
        fz_drop_display_list(ctx, list);
        return nullptr;
    }
    translucent = usesTransparency(ctx, list);

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
                                fz_keep_display_list(ctx, list), translucent});
    }
    return list;
}

Image MuRenderer::renderPage(const MuPage& page, int pixelWidth, int pixelHeight, double scale,
                             bool withAnnotations, MuRenderer* cache, const CancelToken* token) {
    if (!validSize(pixelWidth, pixelHeight) || !std::isfinite(scale) || scale <= 0 ||
        mu::CookieAccess::cancelled(token)) {
        return {};
    }
    PageFrame frame;
    // The media box's lower left on the bitmap's lower left.
    return drawPlaced(page, withAnnotations, cache, token, pixelWidth, pixelHeight, frame,
                      [&](const PageFrame& f) {
                          const float s = float(scale);
                          return fz_concat(
                              fz_scale(s, s),
                              fz_translate(0, float(pixelHeight - f.mediaBox.height * scale)));
                      });
}

Image MuRenderer::renderPageRegion(const MuPage& page, const Rect& requested, double scale,
                                   bool withAnnotations, MuRenderer* cache,
                                   const CancelToken* token) {
    if (!requested.isFinite() || !std::isfinite(scale) || scale <= 0 ||
        mu::CookieAccess::cancelled(token)) {
        return {};
    }
    const Rect region = requested.standardized();
    // Whole pixels only, as many as fit; the tolerance keeps 12.5 × 8 from becoming 99.
    const double w = std::floor(region.width * scale + 1e-6);
    const double h = std::floor(region.height * scale + 1e-6);
    if (!(w >= 1 && h >= 1 && w <= kMaxSide && h <= kMaxSide) ||
        !validSize((long long)w, (long long)h)) {
        return {};
    }
    PageFrame frame;
    return drawPlaced(page, withAnnotations, cache, token, int(w), int(h), frame,
                      [&](const PageFrame& f) {
                          const Rect& box = f.mediaBox;
                          const float s = float(scale);
                          return fz_concat(fz_translate(float(box.minX() - region.minX()),
                                                        float(region.maxY() - box.maxY())),
                                           fz_scale(s, s));
                      });
}

namespace {

// Paints white over the columns and rows of a tile that lie outside the page (display
// space [0, size]), where the display list may still hold content beyond the crop box.
Image whitenOutside(const Image& tile, const Rect& displayRect, double scale, Size size) {
    const int w = tile.width(), h = tile.height();
    auto edge = [&](double v, double origin, int limit) {
        return int(std::clamp(std::lround((v - origin) * scale), 0L, long(limit)));
    };
    const int x0 = edge(0, displayRect.minX(), w), x1 = edge(size.width, displayRect.minX(), w);
    const int y0 = edge(0, displayRect.minY(), h), y1 = edge(size.height, displayRect.minY(), h);
    if (x0 == 0 && y0 == 0 && x1 == w && y1 == h) {
        return tile;
    }
    std::vector<std::uint8_t> rgba(tile.data(), tile.data() + tile.byteCount());
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = rgba.data() + std::size_t(y) * std::size_t(w) * 4;
        if (y < y0 || y >= y1) {
            std::memset(row, 255, std::size_t(w) * 4);
            continue;
        }
        std::memset(row, 255, std::size_t(x0) * 4);
        std::memset(row + std::size_t(x1) * 4, 255, std::size_t(w - x1) * 4);
    }
    return Image(w, h, std::move(rgba));
}

} // namespace

Image MuRenderer::renderPageTile(const MuPage& page, const Rect& requested, double scale,
                                 int pixelWidth, int pixelHeight, bool withAnnotations,
                                 MuRenderer* cache, const CancelToken* token) {
    if (!validSize(pixelWidth, pixelHeight) || !requested.isFinite() || !std::isfinite(scale) ||
        scale <= 0 || mu::CookieAccess::cancelled(token)) {
        return {};
    }
    const Rect displayRect = requested.standardized();
    PageFrame frame;
    // The list's flipped media-box space -> user space -> display space -> the tile.
    Image image = drawPlaced(page, withAnnotations, cache, token, pixelWidth, pixelHeight, frame,
                             [&](const PageFrame& f) {
                                 const float s = float(scale);
                                 fz_matrix ctm =
                                     fz_concat(fz_invert_matrix(f.userToFlipped()), f.pageCtm);
                                 ctm = fz_concat(ctm, fz_translate(float(-displayRect.minX()),
                                                                   float(-displayRect.minY())));
                                 return fz_concat(ctm, fz_scale(s, s));
                             });
    if (image.isNull()) {
        return image;
    }
    return whitenOutside(image, displayRect, scale, frame.displaySize);
}

Image MuRenderer::drawPlaced(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                             const CancelToken* token, int pixelWidth, int pixelHeight,
                             PageFrame& frame,
                             const std::function<fz_matrix(const PageFrame&)>& place) {
    fz_cookie* cookie = mu::CookieAccess::cookie(token);
    bool translucent = true;
    fz_display_list* list = capture(page, withAnnotations, cache, frame, translucent, cookie);
    if (!list) {
        return {};
    }
    const fz_matrix ctm = place(frame);
    fz_context* ctx = mu::context();
    Image image = rasterize(ctx, list, translucent, pixelWidth, pixelHeight, ctm, cookie);
    fz_drop_display_list(ctx, list);
    return image;
}

Image MuRenderer::render(int pageIndex, int pixelWidth, int pixelHeight, double scale,
                         bool withAnnotations, const CancelToken* token) {
    if (pageIndex < 0 || pageIndex >= document_->pageCount()) {
        return {};
    }
    return renderPage(*document_->muPage(pageIndex), pixelWidth, pixelHeight, scale,
                      withAnnotations, this, token);
}

Image MuRenderer::renderRegion(int pageIndex, const Rect& region, double scale,
                               bool withAnnotations, const CancelToken* token) {
    if (pageIndex < 0 || pageIndex >= document_->pageCount()) {
        return {};
    }
    return renderPageRegion(*document_->muPage(pageIndex), region, scale, withAnnotations, this,
                            token);
}

Image MuRenderer::renderTile(int pageIndex, const Rect& displayRect, double scale, int pixelWidth,
                             int pixelHeight, bool withAnnotations, const CancelToken* token) {
    if (pageIndex < 0 || pageIndex >= document_->pageCount()) {
        return {};
    }
    return renderPageTile(*document_->muPage(pageIndex), displayRect, scale, pixelWidth,
                          pixelHeight, withAnnotations, this, token);
}

} // namespace ombrix::pdfkit
