#include "ui/view/PDFView.h"

#include "core/UserInteraction.h"
#include "pdfkit/Page.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace ombrix::ui {

namespace {

const QColor kBackground(82, 86, 91);
const QColor kPageEdge(0, 0, 0, 70);
const QColor kDamagedNotice(255, 236, 179); // a warning's amber, light enough to read on
const QColor kDamagedNoticeText(94, 64, 0);
const QColor kSelection(140, 185, 245);
constexpr double kScrollStep = 20;      // logical pixels per key press or wheel line
constexpr double kPageOverlap = 0.1;    // of a viewport kept in view by Page Up/Down
constexpr double kHitTolerance = 3;     // logical pixels around annotation bounds
constexpr double kZoomPerNotch = 1.2;   // Ctrl+wheel
constexpr double kScrollBarSlack = 0.5; // overflow below this is not worth a scroll bar

double px(LayoutUnit units) {
    return double(units) / double(kUnitsPerPixel);
}

LayoutUnit units(double pixels) {
    return std::llround(pixels * double(kUnitsPerPixel));
}

} // namespace

PDFView::PDFView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    horizontalScrollBar()->setSingleStep(int(kScrollStep));
    verticalScrollBar()->setSingleStep(int(kScrollStep));
    connect(&scheduler_, &RenderScheduler::pageUpdated, this, [this](int index) {
        const QRectF r = pageRectInWidget(index);
        if (r.intersects(QRectF(viewport()->rect()))) {
            viewport()->update(r.toAlignedRect());
        }
    });
    connect(&text_, &PageTextCache::pageReady, this, &PDFView::pageTextReady);
    // A selection dragged past the viewport's edge scrolls on while the pointer stays out.
    autoScroll_.setInterval(30);
    connect(&autoScroll_, &QTimer::timeout, this, [this] {
        const QRectF area(viewport()->rect());
        if (!selecting_ || area.contains(dragPos_)) {
            autoScroll_.stop();
            return;
        }
        auto beyond = [](double v, double lo, double hi) {
            return v < lo ? v - lo : (v > hi ? v - hi : 0.0);
        };
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() +
                                        int(beyond(dragPos_.x(), 0, area.width()) / 2));
        verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                      int(beyond(dragPos_.y(), 0, area.height()) / 2));
        focus_ = textPointAt(dragPos_);
        updateDragSelection();
    });
    relayout();
}

PDFView::~PDFView() = default;

// ---- layout and scrolling ----

bool PDFView::continuous() const {
    return options_.mode == pdfkit::DisplayMode::singlePageContinuous ||
           options_.mode == pdfkit::DisplayMode::twoUpContinuous;
}

void PDFView::relayout() {
    layout_ = PageLayout(displaySizes_, options_);
    shownSpread_ = std::clamp(shownSpread_, 0, std::max(layout_.spreadCount() - 1, 0));
    const bool vertical = layout_.vertical();
    // The bar along the reading direction is always there, so fitting the other axis
    // never makes it come and go.
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn);
    updateScrollBars();
}

PDFView::Axis PDFView::axis(bool horizontal) const {
    if (layout_.spreadCount() == 0) {
        return {};
    }
    const bool main = horizontal != layout_.vertical();
    if (!main) {
        return {0, px(horizontal ? layout_.contentWidth() : layout_.contentHeight())};
    }
    if (!continuous()) {
        const LayoutRect& r = layout_.spreadRect(shownSpread_);
        return {px(layout_.mainStart(r) - layout_.gap()),
                px(layout_.mainEnd(r) - layout_.mainStart(r) + 2 * layout_.gap())};
    }
    double length = px(layout_.mainContentLength());
    const double viewportLength = horizontal ? viewport()->width() : viewport()->height();
    if (length > viewportLength) {
        // Room for the last spread to reach the top, so going to it makes it current.
        const LayoutRect& last = layout_.spreadRect(layout_.spreadCount() - 1);
        length = std::max(length, px(layout_.mainStart(last)) + viewportLength);
    }
    return {0, length};
}

double PDFView::centringOffset(bool horizontal) const {
    const double viewportLength = horizontal ? viewport()->width() : viewport()->height();
    return std::max(0.0, (viewportLength - axis(horizontal).length) / 2);
}

void PDFView::updateScrollBars() {
    const bool wasAdjusting = std::exchange(adjusting_, true);
    for (bool horizontal : {true, false}) {
        QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
        const int viewportLength = horizontal ? viewport()->width() : viewport()->height();
        const double overflow = axis(horizontal).length - viewportLength;
        bar->setRange(0, overflow > kScrollBarSlack ? int(std::ceil(overflow)) : 0);
        bar->setPageStep(std::max(1, int(viewportLength * (1 - kPageOverlap))));
    }
    adjusting_ = wasAdjusting;
}

QPointF PDFView::scrollPosition() const {
    const Axis h = axis(true);
    const Axis v = axis(false);
    return QPointF(h.start + horizontalScrollBar()->value() - centringOffset(true),
                   v.start + verticalScrollBar()->value() - centringOffset(false));
}

void PDFView::setScrollPosition(QPointF position) {
    const bool wasAdjusting = std::exchange(adjusting_, true);
    const Axis h = axis(true);
    const Axis v = axis(false);
    if (std::isfinite(position.x())) {
        horizontalScrollBar()->setValue(int(std::lround(position.x() - h.start)));
    }
    if (std::isfinite(position.y())) {
        verticalScrollBar()->setValue(int(std::lround(position.y() - v.start)));
    }
    adjusting_ = wasAdjusting;
}

QPointF PDFView::contentToWidget(double x, double y) const {
    return QPointF(x, y) - scrollPosition();
}

QPointF PDFView::widgetToContent(QPointF widgetPoint) const {
    return widgetPoint + scrollPosition();
}

std::pair<int, int> PDFView::shownSpreads() const {
    if (layout_.spreadCount() == 0) {
        return {0, 0};
    }
    if (!continuous()) {
        return {shownSpread_, shownSpread_ + 1};
    }
    return {0, layout_.spreadCount()};
}

void PDFView::showSpread(int spread) {
    if (layout_.spreadCount() == 0) {
        return;
    }
    shownSpread_ = std::clamp(spread, 0, layout_.spreadCount() - 1);
    if (!continuous()) {
        updateScrollBars();
    }
}

void PDFView::viewChanged() {
    viewStateDirty_ = true;
    viewport()->update();
    Q_EMIT scrolled();
    notifyIfPageChanged();
}

void PDFView::notifyIfPageChanged() {
    const int index = currentPageIndex();
    if (index != lastNotifiedPage_) {
        lastNotifiedPage_ = index;
        Q_EMIT pageChanged(index);
        notifier_.pageChanged();
    }
}

void PDFView::scrollContentsBy(int, int) {
    if (!adjusting_) {
        viewChanged();
    }
}

void PDFView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    if (autoScales_ && document_) {
        zoomAbout(fitScale(), QPointF(0, 0));
    }
    viewChanged();
}

void PDFView::scrollMain(double delta, bool) {
    QScrollBar* bar = layout_.vertical() ? verticalScrollBar() : horizontalScrollBar();
    if (!continuous() && layout_.spreadCount() > 0) {
        if (delta > 0 && bar->value() >= bar->maximum() &&
            shownSpread_ + 1 < layout_.spreadCount()) {
            showSpread(shownSpread_ + 1);
            const bool wasAdjusting = std::exchange(adjusting_, true);
            bar->setValue(0);
            adjusting_ = wasAdjusting;
            viewChanged();
            return;
        }
        if (delta < 0 && bar->value() <= bar->minimum() && shownSpread_ > 0) {
            showSpread(shownSpread_ - 1);
            const bool wasAdjusting = std::exchange(adjusting_, true);
            bar->setValue(bar->maximum());
            adjusting_ = wasAdjusting;
            viewChanged();
            return;
        }
    }
    bar->setValue(bar->value() + int(std::lround(delta)));
}

void PDFView::scrollCross(double delta) {
    QScrollBar* bar = layout_.vertical() ? horizontalScrollBar() : verticalScrollBar();
    bar->setValue(bar->value() + int(std::lround(delta)));
}

// ---- document and options ----

void PDFView::setDocument(std::shared_ptr<pdfkit::Document> document) {
    const bool hadSelection = selection_.has_value();
    document_ = std::move(document);
    geometry_.clear();
    displaySizes_.clear();
    annotationBounds_.clear();
    selection_.reset();
    shownSpread_ = 0;
    if (document_) {
        // Reads every page's geometry in one pass; the pages answer from it afterwards.
        displaySizes_ = document_->displaySizes();
        const int count = int(displaySizes_.size());
        geometry_.reserve(std::size_t(count));
        for (int i = 0; i < count; ++i) {
            PageGeometry g;
            if (const auto page = document_->page(i)) {
                g.box = page->cropBox().standardized();
                g.rotation = page->rotation();
            }
            geometry_.push_back(g);
        }
        annotationBounds_.resize(std::size_t(count));
    }
    scheduler_.setDocument(document_, displaySizes_);
    text_.setDocument(document_);
    selecting_ = false;
    dragWaitsForText_ = false;
    pressedLink_.reset();
    pendingUnit_.reset();
    selectedRanges_.clear();
    if (autoScales_ && document_) {
        options_.scale = fitScale();
    }
    relayout();
    setScrollPosition(QPointF(0, 0));
    lastNotifiedPage_ = -2; // a new document's first page is a new current page
    Q_EMIT documentChanged();
    if (hadSelection) {
        Q_EMIT selectionChanged();
        notifier_.selectionChanged();
    }
    viewChanged();
}

namespace {

// A content point pinned to a widget point while the layout changes under it.
struct Anchor {
    int page = -1;
    Point display;
};

} // namespace

void PDFView::setDisplayMode(pdfkit::DisplayMode mode) {
    if (mode != options_.mode) {
        changeOptions([&] { options_.mode = mode; });
    }
}

void PDFView::setDisplayDirection(pdfkit::DisplayDirection direction) {
    if (direction != options_.direction) {
        changeOptions([&] { options_.direction = direction; });
    }
}

void PDFView::setDisplaysPageBreaks(bool shown) {
    if (shown != options_.pageBreaks) {
        changeOptions([&] { options_.pageBreaks = shown; });
    }
}

void PDFView::changeOptions(const std::function<void()>& change) {
    // The point at the top left of the view stays there, on the same page.
    const int page = currentPageIndex();
    const Point display = page >= 0 ? widgetToDisplay(page, QPointF(0, 0)) : Point{};
    const double scale = options_.scale;
    change();
    if (autoScales_ && document_) {
        options_.scale = fitScale();
    }
    relayout();
    if (page >= 0) {
        showSpread(layout_.spreadOf(page));
        const LayoutRect& r = layout_.pageRect(page);
        setScrollPosition(
            QPointF(px(r.x) + display.x * options_.scale, px(r.y) + display.y * options_.scale));
    }
    if (options_.scale != scale) {
        Q_EMIT scaleChanged(options_.scale);
    }
    viewChanged();
}

double PDFView::fitScale() const {
    const bool vertical = options_.direction == pdfkit::DisplayDirection::vertical;
    const double gap = options_.pageBreaks ? double(PageLayout::kGapPixels) : 0.0;
    const double room = (vertical ? viewport()->width() : viewport()->height()) - 2 * gap;
    const int perSpread = options_.mode == pdfkit::DisplayMode::twoUp ||
                                  options_.mode == pdfkit::DisplayMode::twoUpContinuous
                              ? 2
                              : 1;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t first = 0; first < displaySizes_.size(); first += std::size_t(perSpread)) {
        const std::size_t last = std::min(displaySizes_.size(), first + std::size_t(perSpread));
        double points = 0;
        for (std::size_t i = first; i < last; ++i) {
            points = vertical ? points + displaySizes_[i].width
                              : std::max(points, displaySizes_[i].height);
        }
        const double fixed = vertical ? gap * double(last - first - 1) : 0.0;
        if (points > 0) {
            best = std::min(best, (room - fixed) / points);
        }
    }
    if (!std::isfinite(best) || best <= 0) {
        return options_.scale;
    }
    return std::clamp(best, kMinimumScale, kMaximumScale);
}

void PDFView::setScaleFactor(double scale) {
    if (!std::isfinite(scale) || scale <= 0) {
        return;
    }
    autoScales_ = false;
    zoomAbout(scale, QPointF(0, 0));
}

void PDFView::setAutoScales(bool on) {
    autoScales_ = on;
    if (on && document_) {
        zoomAbout(fitScale(), QPointF(0, 0));
    }
}

void PDFView::zoomAbout(double scale, QPointF widgetAnchor) {
    scale = std::clamp(scale, kMinimumScale, kMaximumScale);
    if (std::abs(scale - options_.scale) < 1e-12) {
        return;
    }
    Anchor anchor;
    if (const auto [first, last] = shownSpreads(); first < last) {
        const QPointF c = widgetToContent(widgetAnchor);
        anchor.page = layout_.nearestPage(units(c.x()), units(c.y()), first, last);
        if (anchor.page >= 0) {
            anchor.display = widgetToDisplay(anchor.page, widgetAnchor);
        }
    }
    options_.scale = scale;
    relayout();
    if (anchor.page >= 0) {
        const LayoutRect& r = layout_.pageRect(anchor.page);
        const QPointF content(px(r.x) + anchor.display.x * scale,
                              px(r.y) + anchor.display.y * scale);
        setScrollPosition(content - widgetAnchor);
    }
    Q_EMIT scaleChanged(scale);
    viewChanged();
}

// ---- current page and navigation ----

int PDFView::currentPageIndex() const {
    if (!document_ || layout_.spreadCount() == 0) {
        return -1;
    }
    if (!continuous()) {
        return layout_.spreadPages(shownSpread_).first;
    }
    const QPointF top = scrollPosition();
    const int spread = layout_.spreadAtMainPosition(units(layout_.vertical() ? top.y() : top.x()));
    return layout_.spreadPages(spread).first;
}

std::shared_ptr<pdfkit::Page> PDFView::currentPage() const {
    const int index = currentPageIndex();
    return index < 0 ? nullptr : document_->page(index);
}

int PDFView::indexFor(const pdfkit::Page& page) const {
    if (!document_) {
        return -1;
    }
    const auto index = document_->indexOf(page);
    return index && *index < int(geometry_.size()) ? *index : -1;
}

void PDFView::goToPageIndex(int index) {
    if (index < 0 || index >= layout_.pageCount()) {
        return;
    }
    showSpread(layout_.spreadOf(index));
    const LayoutRect& r = layout_.pageRect(index);
    const QPointF now = scrollPosition();
    setScrollPosition(layout_.vertical() ? QPointF(now.x(), px(r.y)) : QPointF(px(r.x), now.y()));
    viewChanged();
}

void PDFView::goToPage(const std::shared_ptr<pdfkit::Page>& page) {
    if (page) {
        goToPageIndex(indexFor(*page));
    }
}

void PDFView::goToDestination(const std::shared_ptr<pdfkit::Page>& page, Point point) {
    const int index = page ? indexFor(*page) : -1;
    if (index < 0) {
        return;
    }
    showSpread(layout_.spreadOf(index));
    const Point d = geometry_[std::size_t(index)].pageToDisplay(point);
    const LayoutRect& r = layout_.pageRect(index);
    setScrollPosition(QPointF(px(r.x) + d.x * options_.scale, px(r.y) + d.y * options_.scale));
    viewChanged();
}

Point PDFView::scrollOrigin() const {
    const QPointF p = scrollPosition();
    return Point{p.x(), p.y()};
}

void PDFView::scrollTo(Point origin) {
    if (!continuous() && layout_.spreadCount() > 0) {
        showSpread(layout_.spreadAtMainPosition(units(layout_.vertical() ? origin.y : origin.x)));
    }
    setScrollPosition(QPointF(origin.x, origin.y));
    viewChanged();
}

void PDFView::setNeedsDisplay() {
    viewport()->update();
}

Rect PDFView::bounds() const {
    return Rect{0, 0, double(viewport()->width()), double(viewport()->height())};
}

// ---- conversions ----

QPointF PDFView::viewToWidget(Point viewPoint) const {
    return QPointF(viewPoint.x, viewport()->height() - viewPoint.y);
}

Point PDFView::widgetToView(QPointF widgetPoint) const {
    return Point{widgetPoint.x(), viewport()->height() - widgetPoint.y()};
}

QRectF PDFView::pageRectInWidget(int index) const {
    if (index < 0 || index >= layout_.pageCount()) {
        return {};
    }
    const LayoutRect& r = layout_.pageRect(index);
    const QPointF topLeft = contentToWidget(px(r.x), px(r.y));
    const qreal dpr = devicePixelRatio_ > 0 ? devicePixelRatio_ : 1;
    auto snap = [dpr](double v) { return std::round(v * dpr) / dpr; };
    return QRectF(snap(topLeft.x()), snap(topLeft.y()), snap(px(r.width)), snap(px(r.height)));
}

QPointF PDFView::displayToWidget(int pageIndex, Point displayPoint) const {
    return pageRectInWidget(pageIndex).topLeft() +
           QPointF(displayPoint.x * options_.scale, displayPoint.y * options_.scale);
}

Point PDFView::widgetToDisplay(int pageIndex, QPointF widgetPoint) const {
    const QPointF d = (widgetPoint - pageRectInWidget(pageIndex).topLeft()) / options_.scale;
    return Point{d.x(), d.y()};
}

Point PDFView::convertPointToPage(Point viewPoint, const pdfkit::Page& page) const {
    const int index = indexFor(page);
    if (index < 0) {
        return viewPoint;
    }
    const Point display = widgetToDisplay(index, viewToWidget(viewPoint));
    return geometry_[std::size_t(index)].displayToPage(display);
}

Point PDFView::convertPointFromPage(Point pagePoint, const pdfkit::Page& page) const {
    const int index = indexFor(page);
    if (index < 0) {
        return pagePoint;
    }
    const Point display = geometry_[std::size_t(index)].pageToDisplay(pagePoint);
    return widgetToView(displayToWidget(index, display));
}

Rect PDFView::convertRectToPage(const Rect& viewRect, const pdfkit::Page& page) const {
    const Point a = convertPointToPage(Point{viewRect.minX(), viewRect.minY()}, page);
    const Point b = convertPointToPage(Point{viewRect.maxX(), viewRect.maxY()}, page);
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

Rect PDFView::convertRectFromPage(const Rect& pageRect, const pdfkit::Page& page) const {
    const Point a = convertPointFromPage(Point{pageRect.minX(), pageRect.minY()}, page);
    const Point b = convertPointFromPage(Point{pageRect.maxX(), pageRect.maxY()}, page);
    return Rect::fromEdges(a.x, a.y, b.x, b.y);
}

std::optional<int> PDFView::pageIndexAt(QPointF widgetPos) const {
    const auto [first, last] = shownSpreads();
    const QPointF c = widgetToContent(widgetPos);
    const int index = layout_.pageAt(units(c.x()), units(c.y()), first, last);
    return index >= 0 ? std::optional<int>(index) : std::nullopt;
}

std::shared_ptr<pdfkit::Page> PDFView::pageForPoint(Point viewPoint, bool nearest) const {
    if (!document_) {
        return nullptr;
    }
    const QPointF w = viewToWidget(viewPoint);
    if (const auto index = pageIndexAt(w)) {
        return document_->page(*index);
    }
    if (!nearest) {
        return nullptr;
    }
    const auto [first, last] = shownSpreads();
    const QPointF c = widgetToContent(w);
    const int index = layout_.nearestPage(units(c.x()), units(c.y()), first, last);
    return index >= 0 ? document_->page(index) : nullptr;
}

// ---- selection ----

void PDFView::setCurrentSelection(std::optional<pdfkit::Selection> selection, bool) {
    selectedRanges_.clear(); // setTextRanges sets them again after this
    selection_ = std::move(selection);
    viewport()->update();
    Q_EMIT selectionChanged();
    notifier_.selectionChanged();
}

void PDFView::clearSelection() {
    setCurrentSelection(std::nullopt);
}

Cancellable PDFView::onPageChanged(std::function<void()> observer) {
    return notifier_.onPageChanged(std::move(observer));
}

Cancellable PDFView::onSelectionChanged(std::function<void()> observer) {
    return notifier_.onSelectionChanged(std::move(observer));
}

// ---- annotations ----

void PDFView::copyAnnotationBounds(int pageIndex) const {
    auto& slot = annotationBounds_[std::size_t(pageIndex)];
    slot.emplace();
    if (const auto page = document_->page(pageIndex)) {
        for (const auto& annotation : page->annotations()) {
            slot->push_back({annotation, annotation->bounds().standardized()});
        }
    }
}

std::shared_ptr<pdfkit::Annotation> PDFView::annotationAt(int pageIndex, Point pagePoint) const {
    if (!document_ || pageIndex < 0 || pageIndex >= int(annotationBounds_.size())) {
        return nullptr;
    }
    if (!annotationBounds_[std::size_t(pageIndex)]) {
        copyAnnotationBounds(pageIndex);
    }
    const auto& entries = *annotationBounds_[std::size_t(pageIndex)];
    for (const auto& entry : entries) {
        if (entry.bounds.contains(pagePoint)) {
            if (auto annotation = entry.annotation.lock()) {
                return annotation;
            }
        }
    }
    const double slack = kHitTolerance / options_.scale;
    for (const auto& entry : entries) {
        if (entry.bounds.insetBy(-slack, -slack).contains(pagePoint)) {
            if (auto annotation = entry.annotation.lock()) {
                return annotation;
            }
        }
    }
    return nullptr;
}

void PDFView::annotationsChanged(int pageIndex) {
    if (pageIndex < 0 || pageIndex >= int(annotationBounds_.size())) {
        return;
    }
    annotationBounds_[std::size_t(pageIndex)].reset();
    scheduler_.pageContentChanged(pageIndex);
    viewport()->update();
}

// ---- painting ----

void PDFView::pushViewState() {
    viewStateDirty_ = false;
    std::vector<RenderScheduler::VisiblePage> visible;
    std::vector<int> prefetch;
    const QRectF area(viewport()->rect());
    const auto [first, last] = shownSpreads();
    if (first < last) {
        const QPointF top = scrollPosition();
        const double start = layout_.vertical() ? top.y() : top.x();
        const double length = layout_.vertical() ? area.height() : area.width();
        auto [a, b] = layout_.spreadsBetween(units(start), units(start + length));
        a = std::max(a, first);
        b = std::min(b, last);
        for (int s = a; s < b; ++s) {
            const auto [p, q] = layout_.spreadPages(s);
            for (int i = p; i < q; ++i) {
                const QRectF r = pageRectInWidget(i);
                const QRectF on = r.intersected(area);
                if (on.isEmpty()) {
                    continue;
                }
                const double scale = options_.scale;
                visible.push_back(
                    {i, QRectF((on.topLeft() - r.topLeft()) / scale, on.size() / scale)});
            }
        }
        // A spread each side of what is shown: the next one scrolled or paged to.
        for (int s : {b < last || !continuous() ? b : -1, a - 1}) {
            if (s >= 0 && s < layout_.spreadCount() && (s < a || s >= b)) {
                const auto [p, q] = layout_.spreadPages(s);
                for (int i = p; i < q; ++i) {
                    prefetch.push_back(i);
                }
            }
        }
    }
    const qreal dpr = devicePixelRatio_;
    scheduler_.setViewState(
        visible, std::move(prefetch), options_.scale, dpr,
        QSize(int(std::ceil(area.width() * dpr)), int(std::ceil(area.height() * dpr))));
    if (document_) {
        // Text and links of what is shown, fetched off this thread for hit-testing.
        std::vector<int> pages;
        for (const auto& page : visible) {
            pages.push_back(page.index);
        }
        text_.request(pages);
        // Annotation bounds of what is shown, copied now rather than on a mouse move.
        for (const auto& page : visible) {
            if (!annotationBounds_[std::size_t(page.index)]) {
                copyAnnotationBounds(page.index);
            }
        }
    }
}

void PDFView::paintEvent(QPaintEvent* event) {
    const qreal dpr = viewport()->devicePixelRatioF();
    if (dpr != devicePixelRatio_) {
        devicePixelRatio_ = dpr;
        viewStateDirty_ = true;
    }
    if (viewStateDirty_) {
        pushViewState();
    }
    QPainter painter(viewport());
    const QRectF clip(event->rect());
    const auto [first, last] = shownSpreads();
    if (first >= last) {
        painter.fillRect(clip, kBackground);
        return;
    }
    const QPointF top = scrollPosition();
    const double start = layout_.vertical() ? top.y() : top.x();
    const double length = layout_.vertical() ? viewport()->height() : viewport()->width();
    auto [a, b] = layout_.spreadsBetween(units(start), units(start + length));
    a = std::max(a, first);
    b = std::min(b, last);
    // The background only around the pages (and a pixel into them, which the page's
    // image covers when it is a pixel short), so a frame writes its pixels about once.
    QRegion gaps(event->region());
    for (int s = a; s < b; ++s) {
        const auto [p, q] = layout_.spreadPages(s);
        for (int i = p; i < q; ++i) {
            const QRectF r = pageRectInWidget(i);
            gaps -= QRect(QPoint(int(std::ceil(r.left())) + 1, int(std::ceil(r.top())) + 1),
                          QPoint(int(std::floor(r.right())) - 2, int(std::floor(r.bottom())) - 2));
        }
    }
    for (const QRect& gap : gaps) {
        painter.fillRect(gap, kBackground);
    }
    for (int s = a; s < b; ++s) {
        const auto [p, q] = layout_.spreadPages(s);
        for (int i = p; i < q; ++i) {
            const QRectF r = pageRectInWidget(i);
            if (!r.adjusted(-1, -1, 1, 1).intersects(clip)) {
                continue;
            }
            if (options_.pageBreaks) {
                // The frame only: a translucent fill under the page would blend every
                // pixel of it on each frame.
                const QRectF outer = r.adjusted(-1, -1, 1, 1);
                painter.fillRect(QRectF(outer.left(), outer.top(), outer.width(), 1), kPageEdge);
                painter.fillRect(QRectF(outer.left(), r.bottom(), outer.width(), 1), kPageEdge);
                painter.fillRect(QRectF(outer.left(), r.top(), 1, r.height()), kPageEdge);
                painter.fillRect(QRectF(r.right(), r.top(), 1, r.height()), kPageEdge);
            }
            painter.save();
            painter.setClipRect(r.intersected(clip));
            scheduler_.paintPage(painter, i, r);
            if (text_.isCached(i)) {
                if (const auto layout = text_.textLayout(i); layout && layout->contentDamaged()) {
                    drawDamagedNotice(painter, r);
                }
            }
            painter.restore();
        }
    }
    drawSelection(painter);
}

void PDFView::drawDamagedNotice(QPainter& painter, const QRectF& page) const {
    static const QString text = tr("Part of this page could not be read: it may be incomplete.");
    const QFontMetricsF metrics(font());
    const double height = std::min(page.height(), std::ceil(metrics.height() * 1.6));
    const QRectF strip(page.left(), page.top(), page.width(), height);
    painter.fillRect(strip, kDamagedNotice);
    painter.fillRect(QRectF(strip.left(), strip.bottom() - 1, strip.width(), 1), kPageEdge);
    painter.setPen(kDamagedNoticeText);
    painter.setFont(font());
    painter.drawText(strip.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(text, Qt::ElideRight, strip.width() - 16));
}

void PDFView::drawSelection(QPainter& painter) {
    if (!selection_ || !document_) {
        return;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSelection);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& part : selection_->parts()) {
        const int index = part.page ? indexFor(*part.page) : -1;
        if (index < 0) {
            continue;
        }
        const PageGeometry& g = geometry_[std::size_t(index)];
        for (const Rect& rect : part.lineRects) {
            QPolygonF quad;
            for (Point corner :
                 {Point{rect.minX(), rect.maxY()}, Point{rect.maxX(), rect.maxY()},
                  Point{rect.maxX(), rect.minY()}, Point{rect.minX(), rect.minY()}}) {
                quad << displayToWidget(index, g.pageToDisplay(corner));
            }
            painter.drawPolygon(quad);
        }
    }
    painter.restore();
}

bool PDFView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal) {
        viewStateDirty_ = true;
        viewport()->update();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---- input ----

void PDFView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        double notches = event->angleDelta().y() / 120.0;
        if (notches == 0 && !event->pixelDelta().isNull()) {
            notches = event->pixelDelta().y() / 60.0;
        }
        if (notches != 0 && document_) {
            autoScales_ = false;
            zoomAbout(options_.scale * std::pow(kZoomPerNotch, notches), event->position());
        }
        event->accept();
        return;
    }
    QPointF delta = event->pixelDelta();
    if (delta.isNull()) {
        delta =
            QPointF(event->angleDelta()) / 120.0 * QApplication::wheelScrollLines() * kScrollStep;
    }
    if ((event->modifiers() & Qt::ShiftModifier) && delta.x() == 0) {
        delta = QPointF(delta.y(), 0);
    }
    // Momentum after a flick scrolls but never turns a page in the paged modes.
    const bool momentum = event->phase() == Qt::ScrollMomentum;
    const double along = layout_.vertical() ? delta.y() : delta.x();
    double across = layout_.vertical() ? delta.x() : delta.y();
    double main = along;
    if (!layout_.vertical() && verticalScrollBar()->maximum() == 0) {
        main += across; // an ordinary wheel scrolls a horizontal document
        across = 0;
    }
    if (main != 0) {
        QScrollBar* bar = layout_.vertical() ? verticalScrollBar() : horizontalScrollBar();
        if (momentum) {
            bar->setValue(bar->value() - int(std::lround(main)));
        } else {
            scrollMain(-main, false);
        }
    }
    if (across != 0) {
        scrollCross(-across);
    }
    event->accept();
}

void PDFView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (selection_ && selection_->string() && !selection_->string()->empty()) {
            QGuiApplication::clipboard()->setText(QString::fromStdString(*selection_->string()));
        }
        event->accept();
        return;
    }
    const bool vertical = layout_.vertical();
    const double page =
        (vertical ? viewport()->height() : viewport()->width()) * (1 - kPageOverlap);
    QScrollBar* crossBar = vertical ? horizontalScrollBar() : verticalScrollBar();
    // In the paged modes, a sideways arrow with nothing to scroll sideways turns the page.
    auto sideways = [&](double delta) {
        if (!continuous() && crossBar->maximum() == 0) {
            if (delta > 0 && shownSpread_ + 1 < layout_.spreadCount()) {
                goToPageIndex(layout_.spreadPages(shownSpread_ + 1).first);
            } else if (delta < 0 && shownSpread_ > 0) {
                goToPageIndex(layout_.spreadPages(shownSpread_ - 1).first);
            }
            return;
        }
        scrollCross(delta);
    };
    switch (event->key()) {
    case Qt::Key_Down:
        vertical ? scrollMain(kScrollStep, false) : sideways(kScrollStep);
        break;
    case Qt::Key_Up:
        vertical ? scrollMain(-kScrollStep, false) : sideways(-kScrollStep);
        break;
    case Qt::Key_Right:
        vertical ? sideways(kScrollStep) : scrollMain(kScrollStep, false);
        break;
    case Qt::Key_Left:
        vertical ? sideways(-kScrollStep) : scrollMain(-kScrollStep, false);
        break;
    case Qt::Key_PageDown:
        scrollMain(page, true);
        break;
    case Qt::Key_PageUp:
        scrollMain(-page, true);
        break;
    case Qt::Key_Space:
        scrollMain(event->modifiers() & Qt::ShiftModifier ? -page : page, true);
        break;
    case Qt::Key_Home:
        if (layout_.pageCount() > 0) {
            goToPageIndex(0);
            (vertical ? verticalScrollBar() : horizontalScrollBar())->setValue(0);
        }
        break;
    case Qt::Key_End:
        if (layout_.pageCount() > 0) {
            showSpread(layout_.spreadCount() - 1);
            QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
            bar->setValue(bar->maximum());
            viewChanged();
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PDFView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    if (event->button() != Qt::LeftButton || !document_) {
        return;
    }
    const bool triple =
        doubleClickTimer_.isValid() &&
        doubleClickTimer_.elapsed() < QApplication::doubleClickInterval() &&
        (event->position() - doubleClickPos_).manhattanLength() < QApplication::startDragDistance();
    doubleClickTimer_.invalidate();
    press(event->position(), triple ? 3 : 1);
}

void PDFView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !document_) {
        return;
    }
    doubleClickTimer_.start();
    doubleClickPos_ = event->position();
    press(event->position(), 2);
}

void PDFView::press(QPointF widgetPos, int clicks) {
    pressPos_ = widgetPos;
    pressedLink_.reset();
    pendingUnit_.reset();
    selecting_ = false;
    dragWaitsForText_ = false;
    if (clicks == 1) {
        if ((pressedLink_ = linkAt(widgetPos))) {
            return; // a click on a link follows it on release
        }
        anchor_ = focus_ = textPointAt(widgetPos);
        selecting_ = anchor_.page >= 0;
        if (!selectedRanges_.empty() || selection_) {
            setTextRanges({});
        }
        return;
    }
    pendingUnit_ = PendingUnit{textPointAt(widgetPos), clicks};
    selectUnit();
}

void PDFView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    const QPointF pos = event->position();
    if (pressedLink_ && (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        pressedLink_.reset(); // dragged off: not a click on the link
    }
    if (selecting_ && (event->buttons() & Qt::LeftButton)) {
        dragPos_ = pos;
        focus_ = textPointAt(pos);
        updateDragSelection();
        if (!QRectF(viewport()->rect()).contains(pos) && !autoScroll_.isActive()) {
            autoScroll_.start();
        }
        return;
    }
    updateCursor(pos);
}

void PDFView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    selecting_ = false;
    autoScroll_.stop();
    if (const auto link = std::exchange(pressedLink_, std::nullopt)) {
        activateLink(*link);
    }
}

void PDFView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept(); // no menu, the platform's default included
}

// ---- text selection and links ----

PDFView::TextPoint PDFView::textPointAt(QPointF widgetPos) const {
    const auto [first, last] = shownSpreads();
    const QPointF c = widgetToContent(widgetPos);
    const int page = layout_.nearestPage(units(c.x()), units(c.y()), first, last);
    if (page < 0) {
        return {};
    }
    return {page, geometry_[std::size_t(page)].displayToPage(widgetToDisplay(page, widgetPos))};
}

std::optional<pdfkit::Link> PDFView::linkAt(QPointF widgetPos) {
    const auto page = pageIndexAt(widgetPos);
    if (!page) {
        return std::nullopt;
    }
    const auto* links = text_.links(*page);
    if (!links) {
        return std::nullopt;
    }
    const Point p = geometry_[std::size_t(*page)].displayToPage(widgetToDisplay(*page, widgetPos));
    for (const auto& link : *links) {
        if (link.bounds.contains(p)) {
            return link;
        }
    }
    return std::nullopt;
}

void PDFView::activateLink(const pdfkit::Link& link) {
    if (link.destination && link.destination->page >= 0 &&
        link.destination->page < layout_.pageCount()) {
        const pdfkit::Destination& d = *link.destination;
        if (d.point) {
            goToDestination(document_->page(d.page), *d.point);
        } else {
            goToPageIndex(d.page);
        }
        return;
    }
    if (link.uri.empty() || !userInteraction_) {
        return;
    }
    // A document may name anything as a link; only web and mail addresses leave the app.
    const QUrl url(QString::fromStdString(link.uri), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto")) {
        userInteraction_->beep();
        return;
    }
    if (userInteraction_->confirm(
            "Open Link", "This document links to " + link.uri + ". Open it in another application?",
            "Open")) {
        QDesktopServices::openUrl(url);
    }
}

void PDFView::updateCursor(QPointF widgetPos) {
    hoverPos_ = widgetPos;
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (const auto page = pageIndexAt(widgetPos)) {
        if (linkAt(widgetPos)) {
            shape = Qt::PointingHandCursor;
        } else if (const auto layout = text_.textLayout(*page)) {
            const Point p =
                geometry_[std::size_t(*page)].displayToPage(widgetToDisplay(*page, widgetPos));
            shape = layout->charAt(p, false) >= 0 ? Qt::IBeamCursor : Qt::ArrowCursor;
        }
    }
    if (viewport()->cursor().shape() != shape) {
        viewport()->setCursor(shape);
    }
}

void PDFView::updateDragSelection() {
    if (anchor_.page < 0 || focus_.page < 0) {
        return;
    }
    const bool forward = anchor_.page <= focus_.page;
    const TextPoint& from = forward ? anchor_ : focus_;
    const TextPoint& to = forward ? focus_ : anchor_;
    std::vector<int> missing;
    for (int page = from.page; page <= to.page; ++page) {
        if (!text_.isCached(page)) {
            missing.push_back(page);
        }
    }
    dragWaitsForText_ = !missing.empty();
    if (dragWaitsForText_) {
        text_.requestNow(missing); // pageTextReady() comes back here, released or not
        return;
    }
    std::vector<TextRange> ranges;
    for (int page = from.page; page <= to.page; ++page) {
        const auto layout = text_.textLayout(page);
        if (!layout) {
            continue;
        }
        // Pages in between are selected whole: from the shown page's top left corner to
        // its bottom right one.
        const PageGeometry& g = geometry_[std::size_t(page)];
        const Point start = page == from.page ? from.point : g.displayToPage(Point{0, 0});
        const Size size = g.displaySize();
        const Point end =
            page == to.page ? to.point : g.displayToPage(Point{size.width, size.height});
        const auto [first, last] = layout->rangeBetween(start, end);
        if (first >= 0 && first < last) {
            ranges.push_back({page, first, last});
        }
    }
    setTextRanges(std::move(ranges));
}

void PDFView::selectUnit() {
    if (!pendingUnit_ || pendingUnit_->at.page < 0) {
        pendingUnit_.reset();
        return;
    }
    const int page = pendingUnit_->at.page;
    if (!text_.isCached(page)) {
        text_.requestNow({page});
        return;
    }
    const PendingUnit unit = *std::exchange(pendingUnit_, std::nullopt);
    const auto layout = text_.textLayout(page);
    const int index = layout ? layout->charAt(unit.at.point, false) : -1;
    if (index < 0) {
        setTextRanges({});
        return;
    }
    const auto [first, last] =
        unit.clicks == 2 ? layout->wordAround(index) : layout->lineAround(index);
    setTextRanges(first >= 0 && first < last ? std::vector<TextRange>{{page, first, last}}
                                             : std::vector<TextRange>{});
}

void PDFView::setTextRanges(std::vector<TextRange> ranges) {
    if (ranges == selectedRanges_ && (selection_.has_value() == !ranges.empty())) {
        return;
    }
    std::optional<pdfkit::Selection> selection;
    if (!ranges.empty()) {
        std::vector<pdfkit::Selection::PagePart> parts;
        std::string text;
        for (const TextRange& r : ranges) {
            const auto layout = text_.textLayout(r.page);
            if (!layout) {
                continue;
            }
            parts.push_back({document_->page(r.page), layout->lineRects(r.first, r.last)});
            text += (parts.size() > 1 ? "\n" : "") + layout->text(r.first, r.last);
        }
        selection = pdfkit::Selection(std::move(parts), std::move(text));
    }
    setCurrentSelection(std::move(selection));
    selectedRanges_ = std::move(ranges);
}

void PDFView::pageTextReady(int page) {
    // A page that could be read only in part says so as soon as that is known.
    if (const auto layout = text_.textLayout(page); layout && layout->contentDamaged()) {
        viewport()->update(pageRectInWidget(page).toAlignedRect().adjusted(-1, -1, 1, 1));
    }
    if (dragWaitsForText_) {
        updateDragSelection();
    }
    if (pendingUnit_ && pendingUnit_->at.page == page) {
        selectUnit();
    }
    if (hoverPos_ && !selecting_ && pageIndexAt(*hoverPos_) == page) {
        updateCursor(*hoverPos_);
    }
}

} // namespace ombrix::ui
