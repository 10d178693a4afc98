#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/MarkedDocument.h"
#include "core/Image.h"
#include "core/Signal.h"
#include "core/Uuid.h"
#include "document/PDFDocument.h"
#include "search/LayoutMode.h"
#include "search/SearchResult.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// One open document and everything the viewer shows about it: the document and its
// annotation records as markup sees them, and the view's state. Main thread only; every
// published field notifies its observers on each assignment.
class TabSession : public MarkedDocument {
public:
    // Throws std::invalid_argument for no document.
    explicit TabSession(std::shared_ptr<PDFDocument> document);

    const Uuid id;

    Observable<int> currentPage{0};
    Observable<double> zoom{1.0};
    Observable<std::optional<Image>> renderedImage;
    Observable<std::optional<std::string>> errorMessage;
    Observable<LayoutMode> layout{LayoutMode::continuous};
    Observable<std::vector<SearchResult>> searchResults;
    Observable<bool> isPageLoading{false};

    static constexpr double minZoom = 0.25;
    static constexpr double maxZoom = 4.0;

    void zoomIn();
    void zoomOut();
    void zoomToFit();
};

} // namespace ombrix

OMBRIX_API_END
