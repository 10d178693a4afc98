#include "pdfkit/TextLayout.h"

#include "pdfkit/PageText.h"

#include <cmath>
#include <limits>

namespace ombrix::pdfkit {

namespace {

Point point(fz_point p) {
    return Point{p.x, p.y};
}

double distance(const Rect& r, Point p) {
    const double dx = p.x < r.minX() ? r.minX() - p.x : (p.x > r.maxX() ? p.x - r.maxX() : 0);
    const double dy = p.y < r.minY() ? r.minY() - p.y : (p.y > r.maxY() ? p.y - r.maxY() : 0);
    return std::hypot(dx, dy);
}

} // namespace

double LayoutLine::across(Point p) const {
    const double v = vertical ? p.x : p.y;
    const double lo = vertical ? bounds.minX() : bounds.minY();
    const double hi = vertical ? bounds.maxX() : bounds.maxY();
    return v < lo ? lo - v : (v > hi ? v - hi : 0);
}

double LayoutLine::along(Point p) const {
    const double v = vertical ? p.y : p.x;
    return reversed ? -v : v;
}

TextLayout::TextLayout(std::shared_ptr<const PageText> text) : text_(std::move(text)) {}

TextLayout::~TextLayout() = default;

bool TextLayout::contentDamaged() const {
    return text_ && text_->contentDamaged();
}

int TextLayout::charCount() const {
    return text_ ? int(text_->chars().size()) : 0;
}

LayoutChar TextLayout::character(int index) const {
    const TextChar& c = text_->chars()[std::size_t(index)];
    return LayoutChar{c.code,
                      Quad{point(c.quad.ul), point(c.quad.ur), point(c.quad.ll), point(c.quad.lr)},
                      c.box};
}

const std::vector<LayoutLine>& TextLayout::lines() const {
    static const std::vector<LayoutLine> none;
    return text_ ? text_->lines() : none;
}

const Rect& TextLayout::bounds(int index) const {
    return text_->chars()[std::size_t(index)].box;
}

char32_t TextLayout::code(int index) const {
    return text_->chars()[std::size_t(index)].code;
}

int TextLayout::charAt(Point p, bool nearest) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        return -1;
    }
    const int count = charCount();
    for (int i = 0; i < count; ++i) {
        if (bounds(i).contains(p)) {
            return i;
        }
    }
    const std::vector<LayoutLine>& lines = this->lines();
    if (!nearest || lines.empty()) {
        return -1;
    }
    // The nearest line (distance across lines first), then its nearest character.
    int bestLine = 0;
    double bestDy = std::numeric_limits<double>::infinity();
    double bestD = bestDy;
    for (int l = 0; l < int(lines.size()); ++l) {
        const Rect& b = lines[l].bounds;
        const double dy = lines[l].across(p);
        const double d = distance(b, p);
        if (dy < bestDy || (dy == bestDy && d < bestD)) {
            bestLine = l;
            bestDy = dy;
            bestD = d;
        }
    }
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int i = lines[bestLine].begin; i < lines[bestLine].end; ++i) {
        const double d = distance(bounds(i), p);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

std::pair<int, int> TextLayout::lineAround(int charIndex) const {
    const int line = text_ ? text_->lineOf(charIndex) : -1;
    if (line < 0) {
        return {-1, -1};
    }
    const LayoutLine& l = lines()[std::size_t(line)];
    return {l.begin, l.end};
}

std::pair<int, int> TextLayout::wordAround(int charIndex) const {
    auto [begin, end] = lineAround(charIndex);
    if (begin < 0) {
        return {-1, -1};
    }
    // A space stands for itself: a double click between words selects nothing more.
    if (isWhitespace(code(charIndex))) {
        return {charIndex, charIndex + 1};
    }
    int first = charIndex, last = charIndex + 1;
    while (first > begin && !isWhitespace(code(first - 1))) {
        --first;
    }
    while (last < end && !isWhitespace(code(last))) {
        ++last;
    }
    return {first, last};
}

std::pair<int, int> TextLayout::rangeBetween(Point from, Point to) const {
    if (!text_ || !std::isfinite(from.x) || !std::isfinite(from.y) || !std::isfinite(to.x) ||
        !std::isfinite(to.y)) {
        return {0, 0};
    }
    auto range = text_->rangeBetween(from, to);
    if (!range) {
        return {0, 0};
    }
    return *range;
}

namespace {

std::vector<int> indices(int first, int last, int count) {
    std::vector<int> out;
    first = std::max(first, 0);
    last = std::min(last, count);
    for (int i = first; i < last; ++i) {
        out.push_back(i);
    }
    return out;
}

} // namespace

std::string TextLayout::text(int first, int last) const {
    std::string out;
    if (text_) {
        std::vector<Rect> rects;
        text_->describe(indices(first, last, charCount()), rects, out);
    }
    return out;
}

std::vector<Rect> TextLayout::lineRects(int first, int last) const {
    std::vector<Rect> rects;
    if (text_) {
        std::string ignored;
        text_->describe(indices(first, last, charCount()), rects, ignored);
    }
    return rects;
}

} // namespace ombrix::pdfkit
