#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

// A place in the document: a page and, when the file names one, a page-space point on it.
struct Destination {
    int page = -1;
    std::optional<Point> point;

    bool operator==(const Destination&) const = default;
};

// A link area of a page: either an internal destination or an external URI.
struct Link {
    Rect bounds; // page space
    std::optional<Destination> destination;
    std::string uri; // empty for internal links
};

// One entry of the document outline (bookmarks), with its children in order.
struct OutlineItem {
    std::string title;
    std::optional<Destination> destination;
    std::string uri;
    std::vector<OutlineItem> children;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
