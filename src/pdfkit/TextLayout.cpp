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

TextLayout::TextLayout(std::shared_ptr<const PageText> text) : text_(std::move(text)) {
    if (!text_) {
        return;
    }
    chars_.reserve(text_->chars().size());
    for (const TextChar& c : text_->chars()) {
        chars_.push_back(LayoutChar{
            c.code, Quad{point(c.quad.ul), point(c.quad.ur), point(c.quad.ll), point(c.quad.lr)},
            c.box});
    }
    lines_.reserve(text_->lines().size());
    for (const TextLine& l : text_->lines()) {
        lines_.push_back(LayoutLine{l.begin, l.end, l.bounds});
    }
}

TextLayout::~TextLayout() = default;

int TextLayout::charAt(Point p, bool nearest) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        return -1;
    }
    for (int i = 0; i < int(chars_.size()); ++i) {
        if (chars_[i].bounds.contains(p)) {
            return i;
        }
    }
    if (!nearest || lines_.empty()) {
        return -1;
    }
    // The nearest line (vertical distance first), then its nearest character.
    int bestLine = 0;
    double bestDy = std::numeric_limits<double>::infinity();
    double bestD = bestDy;
    for (int l = 0; l < int(lines_.size()); ++l) {
        const Rect& b = lines_[l].bounds;
        const double dy = p.y < b.minY() ? b.minY() - p.y : (p.y > b.maxY() ? p.y - b.maxY() : 0);
        const double d = distance(b, p);
        if (dy < bestDy || (dy == bestDy && d < bestD)) {
            bestLine = l;
            bestDy = dy;
            bestD = d;
        }
    }
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int i = lines_[bestLine].begin; i < lines_[bestLine].end; ++i) {
        const double d = distance(chars_[i].bounds, p);
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
    return {lines_[line].begin, lines_[line].end};
}

std::pair<int, int> TextLayout::wordAround(int charIndex) const {
    auto [begin, end] = lineAround(charIndex);
    if (begin < 0) {
        return {-1, -1};
    }
    // A space stands for itself: a double click between words selects nothing more.
    if (isWhitespace(chars_[charIndex].code)) {
        return {charIndex, charIndex + 1};
    }
    int first = charIndex, last = charIndex + 1;
    while (first > begin && !isWhitespace(chars_[first - 1].code)) {
        --first;
    }
    while (last < end && !isWhitespace(chars_[last].code)) {
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
        text_->describe(indices(first, last, int(chars_.size())), rects, out);
    }
    return out;
}

std::vector<Rect> TextLayout::lineRects(int first, int last) const {
    std::vector<Rect> rects;
    if (text_) {
        std::string ignored;
        text_->describe(indices(first, last, int(chars_.size())), rects, ignored);
    }
    return rects;
}

} // namespace ombrix::pdfkit
