#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"
#include "core/Uuid.h"
#include "document/PDFBridge.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ombrix {

// Renders pages through the bridge and remembers every image, so the same page of the
// same opened document at the same size is rendered once. Safe from any thread: the
// lock covers the map only, never a render.
class PDFRenderService {
public:
    // Sizes are the exact values asked for: 1600 and 1600.4 are different keys.
    struct CacheKey {
        Uuid docID;
        int pageIndex = 0;
        double sizeW = 0;
        double sizeH = 0;
        bool operator==(const CacheKey&) const = default;
    };

    explicit PDFRenderService(std::shared_ptr<PDFBridge> bridge);

    // Throws the bridge's errors; a failed render is not remembered.
    Image renderPage(const PDFDocument& document, int pageIndex, Size targetSize);
    void clearCache();
    // Forgets the images of one opened document, for when nothing shows it any more.
    void removeDocument(const Uuid& docID);
    std::size_t cachedCount() const;

    const std::shared_ptr<PDFBridge>& bridge() const { return bridge_; }

private:
    struct KeyHash {
        std::size_t operator()(const CacheKey& key) const noexcept;
    };

    std::shared_ptr<PDFBridge> bridge_;
    std::unordered_map<CacheKey, Image, KeyHash> cache_;
    mutable std::mutex lock_;
};

} // namespace ombrix

OMBRIX_API_END
