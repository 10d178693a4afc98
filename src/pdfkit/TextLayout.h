#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::pdfkit {

class PageText;

struct Quad {
    Point ul, ur, ll, lr; // page space
};

struct LayoutChar {
    char32_t code = 0;
    Quad quad;
    Rect bounds; // page space
};

struct LayoutLine {
    int begin = 0; // chars [begin, end)
    int end = 0;
    Rect bounds;
    // Which way the line runs in page space: along x (left to right, or right to left
    // when `reversed`) or, on a turned page or for turned text, along y (upwards unless
    // `reversed`). Hit-testing measures across and along a line by it.
    bool vertical = false;
    bool reversed = false;

    // How far a point lies across the line (0 inside its band) and where along it.
    double across(Point p) const;
    double along(Point p) const;
};

// A page's structured text for hit-testing and selection, in reading order. Immutable
// once made, so it is shared freely between threads. A view over the page's extracted
// text, not a copy of it: a dense page's characters are kept once.
class TextLayout {
public:
    explicit TextLayout(std::shared_ptr<const PageText> text);
    ~TextLayout();

    int charCount() const;
    // Whether some of the page's content could not be read, so the page's text (and what
    // the page shows) may be incomplete.
    bool contentDamaged() const;
    // Character `index` (0 <= index < charCount()), made on the fly.
    LayoutChar character(int index) const;
    const std::vector<LayoutLine>& lines() const;

    // The character under a page-space point; with `nearest`, the closest character of
    // the nearest line when none is under it. -1 when none.
    int charAt(Point pagePoint, bool nearest) const;
    // The word (run of non-whitespace) or the line around a character, as [first, last);
    // {-1, -1} for an index out of range.
    std::pair<int, int> wordAround(int charIndex) const;
    std::pair<int, int> lineAround(int charIndex) const;
    // What a drag from one point to the other selects, in reading order; empty (first ==
    // last) when it covers nothing.
    std::pair<int, int> rangeBetween(Point fromPage, Point toPage) const;
    std::string text(int first, int last) const;            // lines joined with "\n"
    std::vector<Rect> lineRects(int first, int last) const; // page space, one per line

private:
    const Rect& bounds(int index) const;
    char32_t code(int index) const;

    std::shared_ptr<const PageText> text_;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
