#include "document/PDFRenderService.h"

#include <functional>

namespace ombrix {

std::size_t PDFRenderService::KeyHash::operator()(const CacheKey& key) const noexcept {
    std::size_t seed = std::hash<Uuid>{}(key.docID);
    auto mix = [&seed](std::size_t h) {
        seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    };
    mix(std::hash<int>{}(key.pageIndex));
    mix(std::hash<double>{}(key.sizeW));
    mix(std::hash<double>{}(key.sizeH));
    return seed;
}

PDFRenderService::PDFRenderService(std::shared_ptr<PDFBridge> bridge)
    : bridge_(std::move(bridge)) {}

Image PDFRenderService::renderPage(const PDFDocument& document, int pageIndex, Size targetSize) {
    const CacheKey key{document.id, pageIndex, targetSize.width, targetSize.height};
    {
        std::lock_guard guard(lock_);
        if (auto it = cache_.find(key); it != cache_.end()) {
            return it->second;
        }
    }
    // Outside the lock: hits for other keys never wait behind a render. Two misses for
    // one key may both render; the later insertion wins.
    Image image = bridge_->renderPage(document, pageIndex, targetSize);
    {
        std::lock_guard guard(lock_);
        cache_.insert_or_assign(key, image);
    }
    return image;
}

void PDFRenderService::clearCache() {
    std::lock_guard guard(lock_);
    cache_.clear();
}

void PDFRenderService::removeDocument(const Uuid& docID) {
    std::lock_guard guard(lock_);
    std::erase_if(cache_, [&](const auto& entry) { return entry.first.docID == docID; });
}

std::size_t PDFRenderService::cachedCount() const {
    std::lock_guard guard(lock_);
    return cache_.size();
}

} // namespace ombrix
