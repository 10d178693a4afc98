#include "ui/view/PageLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ombrix::ui {

namespace {

LayoutUnit toUnits(double points, double scale) {
    const double units = points * scale * double(kUnitsPerPixel);
    if (!std::isfinite(units) || units < 1) {
        return 1;
    }
    return std::llround(std::min(units, 1e15));
}

// Spreads and pages start on whole logical pixels, so scroll positions (whole pixels)
// can put a page's edge exactly at the viewport's edge.
LayoutUnit wholePixels(LayoutUnit units) {
    return (units + kUnitsPerPixel - 1) / kUnitsPerPixel * kUnitsPerPixel;
}

bool twoUp(pdfkit::DisplayMode mode) {
    return mode == pdfkit::DisplayMode::twoUp || mode == pdfkit::DisplayMode::twoUpContinuous;
}

} // namespace

PageLayout::PageLayout(const std::vector<Size>& displaySizes, const LayoutOptions& options)
    : options_(options), gap_(options.pageBreaks ? kGapPixels * kUnitsPerPixel : 0) {
    const std::size_t count = displaySizes.size();
    pages_.resize(count);
    spreadOfPage_.resize(count);
    const int perSpread = twoUp(options.mode) ? 2 : 1;
    spreads_.reserve((count + std::size_t(perSpread) - 1) / std::size_t(perSpread));

    // Sizes and spreads first; pages within a spread sit side by side, centred across it.
    LayoutUnit widest = 0;
    LayoutUnit tallest = 0;
    for (std::size_t first = 0; first < count; first += std::size_t(perSpread)) {
        Spread spread;
        spread.firstPage = int(first);
        spread.pageCount = int(std::min<std::size_t>(std::size_t(perSpread), count - first));
        for (int k = 0; k < spread.pageCount; ++k) {
            const std::size_t i = first + std::size_t(k);
            LayoutRect& r = pages_[i];
            r.width = toUnits(displaySizes[i].width, options.scale);
            r.height = toUnits(displaySizes[i].height, options.scale);
            spread.rect.width += r.width + (k > 0 ? gap_ : 0);
            spread.rect.height = std::max(spread.rect.height, r.height);
            spreadOfPage_[i] = int(spreads_.size());
        }
        widest = std::max(widest, spread.rect.width);
        tallest = std::max(tallest, spread.rect.height);
        spreads_.push_back(spread);
    }

    // Then positions along the main axis, centred on the cross axis.
    LayoutUnit along = gap_;
    LayoutUnit right = 0;
    LayoutUnit bottom = 0;
    for (Spread& spread : spreads_) {
        spread.rect.x = vertical() ? gap_ + wholePixels((widest - spread.rect.width) / 2) : along;
        spread.rect.y = vertical() ? along : gap_ + wholePixels((tallest - spread.rect.height) / 2);
        LayoutUnit x = spread.rect.x;
        for (int k = 0; k < spread.pageCount; ++k) {
            LayoutRect& r = pages_[std::size_t(spread.firstPage + k)];
            if (k > 0) {
                x = wholePixels(x + gap_);
            }
            r.x = x;
            r.y = spread.rect.y + wholePixels((spread.rect.height - r.height) / 2);
            x += r.width;
        }
        // Snapping can push a second page a pixel on: the spread ends where it does.
        spread.rect.width = x - spread.rect.x;
        along = wholePixels(along + (vertical() ? spread.rect.height : spread.rect.width) + gap_);
        right = std::max(right, spread.rect.right());
        bottom = std::max(bottom, spread.rect.bottom());
    }
    if (!spreads_.empty()) {
        contentWidth_ = vertical() ? right + gap_ : along;
        contentHeight_ = vertical() ? along : bottom + gap_;
    }
}

std::pair<int, int> PageLayout::spreadPages(int spread) const {
    const Spread& s = spreads_[std::size_t(spread)];
    return {s.firstPage, s.firstPage + s.pageCount};
}

int PageLayout::spreadAtMainPosition(LayoutUnit position) const {
    if (spreads_.empty()) {
        return -1;
    }
    const auto it =
        std::upper_bound(spreads_.begin(), spreads_.end(), position,
                         [this](LayoutUnit pos, const Spread& s) { return pos < mainEnd(s.rect); });
    if (it == spreads_.end()) {
        return spreadCount() - 1;
    }
    return int(it - spreads_.begin());
}

std::pair<int, int> PageLayout::spreadsBetween(LayoutUnit start, LayoutUnit end) const {
    if (spreads_.empty() || end <= start) {
        return {0, 0};
    }
    const auto first =
        std::upper_bound(spreads_.begin(), spreads_.end(), start,
                         [this](LayoutUnit pos, const Spread& s) { return pos < mainEnd(s.rect); });
    auto last = first;
    while (last != spreads_.end() && mainStart(last->rect) < end) {
        ++last;
    }
    return {int(first - spreads_.begin()), int(last - spreads_.begin())};
}

int PageLayout::pageAt(LayoutUnit x, LayoutUnit y, int firstSpread, int lastSpread) const {
    if (lastSpread < 0) {
        lastSpread = spreadCount();
    }
    const int s = spreadAtMainPosition(vertical() ? y : x);
    if (s < firstSpread || s >= lastSpread) {
        return -1;
    }
    const auto [first, last] = spreadPages(s);
    for (int i = first; i < last; ++i) {
        if (pages_[std::size_t(i)].contains(x, y)) {
            return i;
        }
    }
    return -1;
}

int PageLayout::nearestPage(LayoutUnit x, LayoutUnit y, int firstSpread, int lastSpread) const {
    if (lastSpread < 0) {
        lastSpread = spreadCount();
    }
    firstSpread = std::max(firstSpread, 0);
    lastSpread = std::min(lastSpread, spreadCount());
    if (firstSpread >= lastSpread) {
        return -1;
    }
    // The nearest spread is the one at the position or its predecessor; look at both.
    const int s = std::clamp(spreadAtMainPosition(vertical() ? y : x), firstSpread, lastSpread - 1);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int candidate : {s - 1, s}) {
        if (candidate < firstSpread || candidate >= lastSpread) {
            continue;
        }
        const auto [first, last] = spreadPages(candidate);
        for (int i = first; i < last; ++i) {
            const LayoutRect& r = pages_[std::size_t(i)];
            const double dx = double(std::max({r.x - x, LayoutUnit(0), x - r.right()}));
            const double dy = double(std::max({r.y - y, LayoutUnit(0), y - r.bottom()}));
            const double distance = dx * dx + dy * dy;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
    }
    return best;
}

} // namespace ombrix::ui
