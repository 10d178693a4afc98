#pragma once

#include "core/Geometry.h"
#include "pdfkit/ViewPort.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ombrix::ui {

// Layout lengths: 1/64 of a logical pixel at the layout's scale. Integers, so a layout is
// exact and cheap to search however long the document.
using LayoutUnit = std::int64_t;
inline constexpr LayoutUnit kUnitsPerPixel = 64;

struct LayoutRect {
    LayoutUnit x = 0;
    LayoutUnit y = 0;
    LayoutUnit width = 0;
    LayoutUnit height = 0;

    LayoutUnit right() const { return x + width; }
    LayoutUnit bottom() const { return y + height; }
    bool contains(LayoutUnit px, LayoutUnit py) const {
        return px >= x && px < right() && py >= y && py < bottom();
    }
    bool operator==(const LayoutRect&) const = default;
};

struct LayoutOptions {
    pdfkit::DisplayMode mode = pdfkit::DisplayMode::singlePageContinuous;
    pdfkit::DisplayDirection direction = pdfkit::DisplayDirection::vertical;
    bool pageBreaks = true;
    double scale = 1.0; // logical pixels per point
};

// Where every page of a document sits for one set of options. Pages are grouped into
// spreads (one page, or two side by side in the two-up modes); spreads follow one another
// down the content (vertical) or across it (horizontal) and are centred on the other
// axis. With page breaks, kGapPixels separate the spreads, the pages of a spread and the
// content's edges; without, pages touch. Whether one spread or all are shown at a time
// is the view's business. Built in one pass over the pages; immutable. Any thread.
class PageLayout {
public:
    static constexpr LayoutUnit kGapPixels = 8;

    PageLayout() = default;
    PageLayout(const std::vector<Size>& displaySizes, const LayoutOptions& options);

    const LayoutOptions& options() const { return options_; }
    bool vertical() const { return options_.direction == pdfkit::DisplayDirection::vertical; }
    int pageCount() const { return static_cast<int>(pages_.size()); }
    int spreadCount() const { return static_cast<int>(spreads_.size()); }
    LayoutUnit gap() const { return gap_; }

    const LayoutRect& pageRect(int page) const { return pages_[std::size_t(page)]; }
    const LayoutRect& spreadRect(int spread) const { return spreads_[std::size_t(spread)].rect; }
    std::pair<int, int> spreadPages(int spread) const; // [first, last)
    int spreadOf(int page) const { return spreadOfPage_[std::size_t(page)]; }

    LayoutUnit contentWidth() const { return contentWidth_; }
    LayoutUnit contentHeight() const { return contentHeight_; }
    // Along the direction of reading: y when vertical, x when horizontal.
    LayoutUnit mainStart(const LayoutRect& r) const { return vertical() ? r.y : r.x; }
    LayoutUnit mainEnd(const LayoutRect& r) const { return vertical() ? r.bottom() : r.right(); }
    LayoutUnit mainContentLength() const { return vertical() ? contentHeight_ : contentWidth_; }

    // The first spread whose far edge lies beyond `position` on the main axis (a position
    // in the gap before a spread means that spread); the last spread when none does; -1
    // without pages.
    int spreadAtMainPosition(LayoutUnit position) const;
    // The page holding the point, else -1; only spreads [firstSpread, lastSpread) count.
    int pageAt(LayoutUnit x, LayoutUnit y, int firstSpread = 0, int lastSpread = -1) const;
    // The page nearest to the point (Euclidean distance to its rectangle), -1 without pages.
    int nearestPage(LayoutUnit x, LayoutUnit y, int firstSpread = 0, int lastSpread = -1) const;
    // The spreads [first, last) that reach into [start, end) on the main axis.
    std::pair<int, int> spreadsBetween(LayoutUnit start, LayoutUnit end) const;

private:
    struct Spread {
        int firstPage = 0;
        int pageCount = 0;
        LayoutRect rect;
    };

    LayoutOptions options_;
    LayoutUnit gap_ = 0;
    std::vector<LayoutRect> pages_;
    std::vector<int> spreadOfPage_;
    std::vector<Spread> spreads_;
    LayoutUnit contentWidth_ = 0;
    LayoutUnit contentHeight_ = 0;
};

} // namespace ombrix::ui
