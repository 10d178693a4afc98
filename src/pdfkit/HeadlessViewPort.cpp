#include "pdfkit/HeadlessViewPort.h"

#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ombrix::pdfkit {

HeadlessViewPort::HeadlessViewPort(Size size) : bounds_{0, 0, size.width, size.height} {}

void HeadlessViewPort::setDocument(std::shared_ptr<Document> document) {
    const auto before = currentPage();
    document_ = std::move(document);
    origin_ = Point{};
    if (autoScales_) {
        fitWidth();
    }
    const bool hadSelection = selection_.has_value();
    selection_.reset();
    notifyIfPageChanged(before);
    if (hadSelection) {
        selectionChanged_.emit();
    }
}

void HeadlessViewPort::setScaleFactor(double scale) {
    if (!std::isfinite(scale) || scale <= 0) {
        return;
    }
    autoScales_ = false;
    rescale(scale);
}

void HeadlessViewPort::setAutoScales(bool on) {
    autoScales_ = on;
    if (on) {
        fitWidth();
    }
}

void HeadlessViewPort::fitWidth() {
    if (!document_) {
        return;
    }
    double widest = 0;
    for (int i = 0; i < document_->pageCount(); ++i) {
        if (auto page = document_->page(i)) {
            widest = std::max(widest, page->mediaBox().standardized().width);
        }
    }
    const double room = bounds_.standardized().width - 2 * kPageGap;
    if (widest > 0 && room > 0) {
        rescale(room / widest);
    }
}

void HeadlessViewPort::rescale(double scale) {
    const auto before = currentPage();
    const Layout old = layout();
    const int anchorPage = pageIndexAt(old, origin_.y);
    if (anchorPage < 0) {
        scale_ = scale;
        origin_ = clamped(layout(), origin_);
        return;
    }
    const Point anchor = scrollToPage(old, anchorPage, origin_);
    scale_ = scale;
    const Layout now = layout();
    origin_ = clamped(now, pageToScroll(now, anchorPage, anchor));
    notifyIfPageChanged(before);
}

HeadlessViewPort::Layout HeadlessViewPort::layout() const {
    Layout result;
    if (!document_) {
        return result;
    }
    const int count = document_->pageCount();
    result.frames.reserve(static_cast<std::size_t>(std::max(count, 0)));
    result.boxes.reserve(static_cast<std::size_t>(std::max(count, 0)));
    double top = kPageGap;
    double widest = 0;
    for (int i = 0; i < count; ++i) {
        const auto page = document_->page(i);
        const Rect box = page ? page->mediaBox().standardized() : Rect{};
        const Rect frame{kPageGap, top, box.width * scale_, box.height * scale_};
        result.frames.push_back(frame);
        result.boxes.push_back(box);
        top += frame.height + kPageGap;
        widest = std::max(widest, frame.width);
    }
    result.content = Size{widest + 2 * kPageGap, count > 0 ? top : 0};
    return result;
}

int HeadlessViewPort::pageIndexAt(const Layout& layout, double scrollY) const {
    // The first page whose bottom lies below the top of the visible area, so an origin
    // in the gap above a page means that page.
    for (std::size_t i = 0; i < layout.frames.size(); ++i) {
        if (scrollY < layout.frames[i].y + layout.frames[i].height) {
            return static_cast<int>(i);
        }
    }
    return layout.frames.empty() ? -1 : static_cast<int>(layout.frames.size()) - 1;
}

int HeadlessViewPort::indexFor(const Page& page) const {
    if (!document_) {
        return -1;
    }
    const auto index = document_->indexOf(page);
    return index ? *index : -1;
}

Point HeadlessViewPort::clamped(const Layout& layout, Point origin) const {
    const Rect view = bounds_.standardized();
    double maxX = std::max(0.0, layout.content.width - view.width);
    double maxY = std::max(0.0, layout.content.height - view.height);
    // Let the last page reach the top of the view, as goToPage promises.
    if (!layout.frames.empty()) {
        maxY = std::max(maxY, layout.frames.back().y);
    }
    auto clamp = [](double v, double hi) {
        return std::isfinite(v) ? std::clamp(v, 0.0, hi) : 0.0;
    };
    return Point{clamp(origin.x, maxX), clamp(origin.y, maxY)};
}

void HeadlessViewPort::notifyIfPageChanged(const std::shared_ptr<Page>& before) {
    if (currentPage() != before) {
        pageChanged_.emit();
    }
}

std::shared_ptr<Page> HeadlessViewPort::currentPage() const {
    if (!document_) {
        return nullptr;
    }
    const int index = pageIndexAt(layout(), origin_.y);
    return index < 0 ? nullptr : document_->page(index);
}

void HeadlessViewPort::goToPage(const std::shared_ptr<Page>& page) {
    if (!page) {
        return;
    }
    const int index = indexFor(*page);
    if (index < 0) {
        return;
    }
    const auto before = currentPage();
    const Layout now = layout();
    origin_ = clamped(now, Point{origin_.x, now.frames[static_cast<std::size_t>(index)].y});
    notifyIfPageChanged(before);
}

void HeadlessViewPort::goToDestination(const std::shared_ptr<Page>& page, Point point) {
    if (!page) {
        return;
    }
    const int index = indexFor(*page);
    if (index < 0) {
        return;
    }
    const auto before = currentPage();
    const Layout now = layout();
    origin_ = clamped(now, pageToScroll(now, index, point));
    notifyIfPageChanged(before);
}

void HeadlessViewPort::setCurrentSelection(std::optional<Selection> selection, bool) {
    selection_ = std::move(selection);
    selectionChanged_.emit();
}

void HeadlessViewPort::clearSelection() {
    selection_.reset();
    selectionChanged_.emit();
}

Point HeadlessViewPort::viewToScroll(Point viewPoint) const {
    const Rect view = bounds_.standardized();
    return Point{origin_.x + (viewPoint.x - view.x), origin_.y + (view.maxY() - viewPoint.y)};
}

Point HeadlessViewPort::scrollToView(Point scrollPoint) const {
    const Rect view = bounds_.standardized();
    return Point{view.x + (scrollPoint.x - origin_.x), view.maxY() - (scrollPoint.y - origin_.y)};
}

Point HeadlessViewPort::pageToScroll(const Layout& layout, int index, Point pagePoint) const {
    const Rect& frame = layout.frames[static_cast<std::size_t>(index)];
    const Rect& box = layout.boxes[static_cast<std::size_t>(index)];
    return Point{frame.x + (pagePoint.x - box.x) * scale_,
                 frame.y + (box.maxY() - pagePoint.y) * scale_};
}

Point HeadlessViewPort::scrollToPage(const Layout& layout, int index, Point scrollPoint) const {
    const Rect& frame = layout.frames[static_cast<std::size_t>(index)];
    const Rect& box = layout.boxes[static_cast<std::size_t>(index)];
    return Point{box.x + (scrollPoint.x - frame.x) / scale_,
                 box.maxY() - (scrollPoint.y - frame.y) / scale_};
}

Point HeadlessViewPort::convertPointToPage(Point viewPoint, const Page& page) const {
    const int index = indexFor(page);
    if (index < 0) {
        return viewPoint;
    }
    return scrollToPage(layout(), index, viewToScroll(viewPoint));
}

Point HeadlessViewPort::convertPointFromPage(Point pagePoint, const Page& page) const {
    const int index = indexFor(page);
    if (index < 0) {
        return pagePoint;
    }
    return scrollToView(pageToScroll(layout(), index, pagePoint));
}

Rect HeadlessViewPort::convertRectToPage(const Rect& viewRect, const Page& page) const {
    const Point a = convertPointToPage(Point{viewRect.x, viewRect.y}, page);
    const Point b =
        convertPointToPage(Point{viewRect.x + viewRect.width, viewRect.y + viewRect.height}, page);
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

Rect HeadlessViewPort::convertRectFromPage(const Rect& pageRect, const Page& page) const {
    const Point a = convertPointFromPage(Point{pageRect.x, pageRect.y}, page);
    const Point b = convertPointFromPage(
        Point{pageRect.x + pageRect.width, pageRect.y + pageRect.height}, page);
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

std::shared_ptr<Page> HeadlessViewPort::pageForPoint(Point viewPoint, bool nearest) const {
    const Layout now = layout();
    if (now.frames.empty()) {
        return nullptr;
    }
    const Point p = viewToScroll(viewPoint);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < now.frames.size(); ++i) {
        const Rect& f = now.frames[i];
        if (f.contains(p)) {
            return document_->page(static_cast<int>(i));
        }
        const double dx = std::max({f.minX() - p.x, 0.0, p.x - f.maxX()});
        const double dy = std::max({f.minY() - p.y, 0.0, p.y - f.maxY()});
        const double distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return nearest && best >= 0 ? document_->page(best) : nullptr;
}

void HeadlessViewPort::setBounds(const Rect& bounds) {
    const auto before = currentPage();
    bounds_ = bounds;
    if (autoScales_) {
        fitWidth();
    }
    origin_ = clamped(layout(), origin_);
    notifyIfPageChanged(before);
}

void HeadlessViewPort::scrollTo(Point origin) {
    const auto before = currentPage();
    origin_ = clamped(layout(), origin);
    notifyIfPageChanged(before);
}

Cancellable HeadlessViewPort::onPageChanged(std::function<void()> observer) {
    return pageChanged_.connect(std::move(observer));
}

Cancellable HeadlessViewPort::onSelectionChanged(std::function<void()> observer) {
    return selectionChanged_.connect(std::move(observer));
}

Rect HeadlessViewPort::pageFrame(int index) const {
    const Layout now = layout();
    if (index < 0 || index >= static_cast<int>(now.frames.size())) {
        return Rect{};
    }
    return now.frames[static_cast<std::size_t>(index)];
}

Size HeadlessViewPort::contentSize() const {
    return layout().content;
}

} // namespace ombrix::pdfkit
