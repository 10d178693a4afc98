#include "tabs/TabSession.h"

#include <algorithm>
#include <stdexcept>

namespace ombrix {

TabSession::TabSession(std::shared_ptr<PDFDocument> doc)
    : MarkedDocument(std::move(doc)), id(Uuid::random()) {}

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
