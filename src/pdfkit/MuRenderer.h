#pragma once

// Rendering through display lists. Private to pdfkit.

#include "pdfkit/MuContext.h"
#include "pdfkit/PageRenderer.h"

#include <cstdint>
#include <vector>

namespace ombrix::pdfkit {

class MuDocument;
class MuPage;

class MuRenderer final : public PageRenderer {
public:
    explicit MuRenderer(const MuDocument& document) : document_(&document) {}
    ~MuRenderer() override;
    MuRenderer(const MuRenderer&) = delete;
    MuRenderer& operator=(const MuRenderer&) = delete;

    Image render(int pageIndex, int pixelWidth, int pixelHeight, double scale,
                 bool withAnnotations = true) override;
    Image renderRegion(int pageIndex, const Rect& region, double scale,
                       bool withAnnotations) override;

    // For a page whose document is gone: no cache.
    static Image renderPage(const MuPage& page, int pixelWidth, int pixelHeight, double scale,
                            bool withAnnotations, MuRenderer* cache);
    static Image renderPageRegion(const MuPage& page, const Rect& region, double scale,
                                  bool withAnnotations, MuRenderer* cache);

private:
    // A kept display list of the page in its flipped media-box space, or nullptr, and
    // whether it composites transparency. Takes the document's mutex.
    static fz_display_list* capture(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                                    Rect& mediaBox, bool& translucent);

    struct Entry {
        int page = 0;
        bool withAnnotations = false;
        std::uint64_t generation = 0;
        std::uint64_t lastUse = 0;
        fz_display_list* list = nullptr;
        bool translucent = true;
    };
    // Guarded by the document's mutex.
    std::vector<Entry> cache_;
    std::uint64_t clock_ = 0;
    const MuDocument* document_;
};

} // namespace ombrix::pdfkit
