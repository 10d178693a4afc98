#pragma once

// Rendering through display lists. Private to pdfkit.

#include "pdfkit/MuContext.h"
#include "pdfkit/PageRenderer.h"
#include "pdfkit/PageText.h"

#include <cstdint>
#include <functional>
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
                 bool withAnnotations = true, const CancelToken* token = nullptr) override;
    Image renderRegion(int pageIndex, const Rect& region, double scale, bool withAnnotations,
                       const CancelToken* token = nullptr) override;
    Image renderTile(int pageIndex, const Rect& displayRect, double scale, int pixelWidth,
                     int pixelHeight, bool withAnnotations,
                     const CancelToken* token = nullptr) override;

    // A null cache for a page whose document is gone.
    static Image renderPage(const MuPage& page, int pixelWidth, int pixelHeight, double scale,
                            bool withAnnotations, MuRenderer* cache,
                            const CancelToken* token = nullptr);
    static Image renderPageRegion(const MuPage& page, const Rect& region, double scale,
                                  bool withAnnotations, MuRenderer* cache,
                                  const CancelToken* token = nullptr);
    static Image renderPageTile(const MuPage& page, const Rect& displayRect, double scale,
                                int pixelWidth, int pixelHeight, bool withAnnotations,
                                MuRenderer* cache, const CancelToken* token);

    // A kept display list of the page in its flipped media-box space, or nullptr (also when
    // `cookie` aborted it), with the page's frame and whether it composites transparency.
    // Takes the document's mutex for the recording only.
    static fz_display_list* capture(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                                    PageFrame& frame, bool& translucent, fz_cookie* cookie);

    // Captures the page and rasterizes it into `pixelWidth` × `pixelHeight` through the
    // matrix `place` makes from the page's frame; `frame` is filled for the caller.
    static Image drawPlaced(const MuPage& page, bool withAnnotations, MuRenderer* cache,
                            const CancelToken* token, int pixelWidth, int pixelHeight,
                            PageFrame& frame,
                            const std::function<fz_matrix(const PageFrame&)>& place);

    // Lets every kept display list go (the pages were renumbered). The caller holds the
    // document's mutex.
    void forget();

private:
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
