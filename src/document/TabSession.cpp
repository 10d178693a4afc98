#include "document/TabSession.h"

#include <algorithm>
#include <stdexcept>

namespace ombrix {

TabSession::TabSession(std::shared_ptr<PDFDocument> doc)
    : id(Uuid::random()), document(std::move(doc)) {
    // Every user of a tab reads its document without checking; refuse a tab of nothing.
    if (!document) {
        throw std::invalid_argument("TabSession needs a document");
    }
}

void TabSession::zoomIn() {
    zoom = std::min(zoom.get() + 0.25, maxZoom);
}

void TabSession::zoomOut() {
    zoom = std::max(zoom.get() - 0.25, minZoom);
}

void TabSession::zoomToFit() {
    zoom = 1.0;
}

} // namespace ombrix
