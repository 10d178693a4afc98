#pragma once

#include "pdfkit/ViewPort.h"
#include "ui/view/PageGeometry.h"
#include "ui/view/PageLayout.h"
#include "ui/view/PageTextCache.h"
#include "ui/view/RenderScheduler.h"
#include "ui/view/ViewPortNotifier.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ombrix {
class UserInteraction;
}

namespace ombrix::ui {

// The page view: one scroll area for the whole document, the desktop's ViewPort.
//
// Pages are laid out by PageLayout, once per (document, mode, direction, page breaks,
// scale); scrolling and every conversion only read that layout and the page geometry
// copied out of the document when it is set, so the GUI thread never waits on the PDF
// engine here. The continuous modes show every spread; singlePage and twoUp show one
// spread at a time and page on when scrolled past its ends. Pages are painted by the
// RenderScheduler, told once per frame what is on screen.
//
// Spaces: view space is the viewport in logical pixels, origin lower left, y up (what
// ViewPort speaks); widget coordinates are the viewport's logical pixels, y down; scroll
// coordinates are logical pixels of the laid-out content, y down (scrollOrigin()).
//
// Current page: the first page of the first spread whose far edge (bottom, or right edge
// when horizontal) lies beyond the top (left) edge of the viewport. So going to a page
// puts it at the top and makes it current; to keep that true near the end, the last
// spread may be scrolled to the top when the content is longer than the viewport.
//
// GUI thread only. The view keeps the document alive while it shows it.
class PDFView : public QAbstractScrollArea, public pdfkit::ViewPort {
    Q_OBJECT
public:
    static constexpr double kMinimumScale = 0.1;
    static constexpr double kMaximumScale = 16.0;

    explicit PDFView(QWidget* parent = nullptr);
    ~PDFView() override;

    // ---- ViewPort ----
    std::shared_ptr<pdfkit::Document> document() const override { return document_; }
    // Shows the document from its first page, with no selection.
    void setDocument(std::shared_ptr<pdfkit::Document> document) override;

    pdfkit::DisplayMode displayMode() const override { return options_.mode; }
    void setDisplayMode(pdfkit::DisplayMode mode) override;
    pdfkit::DisplayDirection displayDirection() const override { return options_.direction; }
    void setDisplayDirection(pdfkit::DisplayDirection direction) override;
    bool displaysPageBreaks() const override { return options_.pageBreaks; }
    void setDisplaysPageBreaks(bool shown) override;

    double scaleFactor() const override { return options_.scale; }
    // Turns auto-scaling off; the point at the top left of the view stays there. Clamped
    // to [kMinimumScale, kMaximumScale]; non-finite or non-positive scales are ignored.
    void setScaleFactor(double scale) override;
    bool autoScales() const override { return autoScales_; }
    // While on, the widest spread fills the viewport's width (its height when the
    // direction is horizontal), following resizes.
    void setAutoScales(bool on) override;

    std::shared_ptr<pdfkit::Page> currentPage() const override;
    void goToPage(const std::shared_ptr<pdfkit::Page>& page) override;
    void goToDestination(const std::shared_ptr<pdfkit::Page>& page, Point point) override;

    std::optional<pdfkit::Selection> currentSelection() const override { return selection_; }
    // Whether the last drag's selection waits for its pages' text (it comes with a later
    // selectionChanged()).
    bool selectionAwaitsText() const { return dragWaitsForText_; }
    void setCurrentSelection(std::optional<pdfkit::Selection> selection,
                             bool animate = false) override;
    void clearSelection() override;

    // A page that is not one of the document's leaves points and rectangles unchanged.
    Point convertPointToPage(Point viewPoint, const pdfkit::Page& page) const override;
    Point convertPointFromPage(Point pagePoint, const pdfkit::Page& page) const override;
    Rect convertRectToPage(const Rect& viewRect, const pdfkit::Page& page) const override;
    Rect convertRectFromPage(const Rect& pageRect, const pdfkit::Page& page) const override;
    std::shared_ptr<pdfkit::Page> pageForPoint(Point viewPoint, bool nearest) const override;

    Rect bounds() const override;

    Point scrollOrigin() const override;
    // Clamped to the scrollable range; in singlePage and twoUp the spread at the origin
    // becomes the one shown.
    void scrollTo(Point origin) override;

    void setNeedsDisplay() override;

    [[nodiscard]] Cancellable onPageChanged(std::function<void()> observer) override;
    [[nodiscard]] Cancellable onSelectionChanged(std::function<void()> observer) override;

    // ---- for the canvas layer ----
    QPointF viewToWidget(Point viewPoint) const;
    Point widgetToView(QPointF widgetPoint) const;
    // The page under a widget point (only pages on show count), none in the gaps.
    std::optional<int> pageIndexAt(QPointF widgetPos) const;
    // The page's rectangle in widget coordinates, its origin on a device pixel; empty for
    // no such page.
    QRectF pageRectInWidget(int index) const;
    // The first annotation, in the page's order, whose bounds hold the page-space point,
    // else the first within a few pixels of it. Reads bounds copied out of the page.
    std::shared_ptr<pdfkit::Annotation> annotationAt(int pageIndex, Point pagePoint) const;
    // An annotation of the page was added, removed or changed: forget its copied bounds
    // and re-render the page.
    void annotationsChanged(int pageIndex);

    int currentPageIndex() const; // -1 without a document
    void goToPageIndex(int index);
    // Widget point ↔ display-space point of a page (at the current scale).
    QPointF displayToWidget(int pageIndex, Point displayPoint) const;
    Point widgetToDisplay(int pageIndex, QPointF widgetPoint) const;
    const PageGeometry& pageGeometry(int index) const { return geometry_[std::size_t(index)]; }
    const PageLayout& pageLayout() const { return layout_; }
    // Sets the scale keeping the content under `widgetAnchor` in place.
    void zoomAbout(double scale, QPointF widgetAnchor);

    // Asked before an external link opens; without one, external links do not open.
    void setUserInteraction(UserInteraction* interaction) { userInteraction_ = interaction; }
    RenderScheduler& renderScheduler() { return scheduler_; }
    PageTextCache& pageTextCache() { return text_; }

signals:
    void pageChanged(int index);
    void selectionChanged();
    void scrolled(); // any change of the visible content: scroll, zoom, resize, layout
    void scaleChanged(double scale);
    void documentChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // One axis of what can be scrolled: content [start, start + length) in scroll
    // coordinates, centred in the viewport when shorter than it.
    struct Axis {
        double start = 0;
        double length = 0;
    };

    void relayout();
    void changeOptions(const std::function<void()>& change);
    void fitIfAutoScaling();
    double fitScale() const;
    Axis axis(bool horizontal) const;
    void updateScrollBars();
    // Scroll coordinates of the viewport's top left corner.
    QPointF scrollPosition() const;
    void setScrollPosition(QPointF position);
    double centringOffset(bool horizontal) const;
    bool continuous() const;
    std::pair<int, int> shownSpreads() const; // [first, last)
    void showSpread(int spread);
    // Scrolls by logical pixels along the main axis; in the paged modes, past the ends
    // of a spread turns to the next or previous one.
    void scrollMain(double delta, bool toFarEnd);
    void scrollCross(double delta);
    void viewChanged();
    void notifyIfPageChanged();
    void pushViewState();
    int indexFor(const pdfkit::Page& page) const;
    QPointF contentToWidget(double x, double y) const;
    QPointF widgetToContent(QPointF widgetPoint) const;
    void drawSelection(QPainter& painter);
    // A strip across the top of a shown page whose content could not all be read.
    void drawDamagedNotice(QPainter& painter, const QRectF& page) const;
    void copyAnnotationBounds(int pageIndex) const;

    // Text selection and links, on text and links cached by text_.
    struct TextPoint {
        int page = -1;
        Point point; // page space
    };
    struct TextRange {
        int page = 0;
        int first = 0; // characters [first, last) of the page's text layout
        int last = 0;
        bool operator==(const TextRange&) const = default;
    };
    void press(QPointF widgetPos, int clicks);
    TextPoint textPointAt(QPointF widgetPos) const; // on the nearest page shown
    std::optional<pdfkit::Link> linkAt(QPointF widgetPos);
    void activateLink(const pdfkit::Link& link);
    void updateDragSelection();
    void selectUnit();
    void setTextRanges(std::vector<TextRange> ranges);
    void updateCursor(QPointF widgetPos);
    void pageTextReady(int page);

    struct AnnotationBounds {
        std::weak_ptr<pdfkit::Annotation> annotation;
        Rect bounds; // page space
    };

    std::shared_ptr<pdfkit::Document> document_;
    std::vector<PageGeometry> geometry_;
    std::vector<Size> displaySizes_;
    LayoutOptions options_;
    PageLayout layout_;
    bool autoScales_ = false;
    int shownSpread_ = 0; // singlePage and twoUp
    int lastNotifiedPage_ = -1;
    bool adjusting_ = false; // moving the scroll bars ourselves
    bool viewStateDirty_ = true;
    qreal devicePixelRatio_ = 1;
    std::optional<pdfkit::Selection> selection_;
    mutable std::vector<std::optional<std::vector<AnnotationBounds>>> annotationBounds_;
    UserInteraction* userInteraction_ = nullptr;
    RenderScheduler scheduler_;
    PageTextCache text_;
    bool selecting_ = false;        // a press started a drag selection
    bool dragWaitsForText_ = false; // the drag's pages' text is on its way
    TextPoint anchor_;
    TextPoint focus_;
    std::optional<pdfkit::Link> pressedLink_;
    QPointF pressPos_;
    struct PendingUnit {
        TextPoint at;
        int clicks = 2; // 2: word, 3: line
    };
    std::optional<PendingUnit> pendingUnit_; // waits for its page's text
    std::vector<TextRange> selectedRanges_;
    QElapsedTimer doubleClickTimer_; // a press soon after a double click is a triple click
    QPointF doubleClickPos_;
    std::optional<QPointF> hoverPos_;
    QPointF dragPos_;
    QTimer autoScroll_;
    ViewPortNotifier notifier_;
};

} // namespace ombrix::ui
