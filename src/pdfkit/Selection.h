#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class Page;

// A run of text on one or more pages: for each page the selected characters' boxes,
// merged per line, in reading order.
class Selection {
public:
    struct PagePart {
        std::shared_ptr<Page> page;
        std::vector<Rect> lineRects; // page space
    };

    Selection() = default;
    Selection(std::vector<PagePart> parts, std::optional<std::string> text)
        : parts_(std::move(parts)), text_(std::move(text)) {}

    std::vector<std::shared_ptr<Page>> pages() const;
    Rect bounds(const Page& page) const; // union of the line rectangles; empty when absent
    std::vector<Rect> lineRects(const Page& page) const;
    const std::optional<std::string>& string() const { return text_; }
    const std::vector<PagePart>& parts() const { return parts_; }
    bool isEmpty() const { return parts_.empty(); }

private:
    std::vector<PagePart> parts_;
    std::optional<std::string> text_;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
