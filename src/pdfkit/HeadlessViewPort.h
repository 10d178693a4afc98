#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Signal.h"
#include "pdfkit/ViewPort.h"

#include <cstddef>
#include <vector>

namespace ombrix::pdfkit {

// A view port with no screen, for the command-line tool and core tests. Every display
// mode lays the pages out the same way: one column, top to bottom, each page's media box
// (rotation not applied) at the scale factor, kPageGap points around and between pages.
// Scroll coordinates are points of that column, y down from its top; any page can be
// scrolled to the top of the view, the last one included. Main thread only.
class HeadlessViewPort : public ViewPort {
public:
    static constexpr double kPageGap = 8;

    explicit HeadlessViewPort(Size size = {800, 600});

    std::shared_ptr<Document> document() const override { return document_; }
    // Shows the new document from its first page, with no selection.
    void setDocument(std::shared_ptr<Document> document) override;

    DisplayMode displayMode() const override { return displayMode_; }
    void setDisplayMode(DisplayMode mode) override { displayMode_ = mode; }
    DisplayDirection displayDirection() const override { return direction_; }
    void setDisplayDirection(DisplayDirection direction) override { direction_ = direction; }
    bool displaysPageBreaks() const override { return pageBreaks_; }
    void setDisplaysPageBreaks(bool shown) override { pageBreaks_ = shown; }

    double scaleFactor() const override { return scale_; }
    // Turns auto-scaling off; the point at the top left of the view stays there.
    // Non-positive or non-finite scales are ignored.
    void setScaleFactor(double scale) override;
    bool autoScales() const override { return autoScales_; }
    // While on, the scale follows the view's width: the widest page fills it.
    void setAutoScales(bool on) override;

    std::shared_ptr<Page> currentPage() const override;
    void goToPage(const std::shared_ptr<Page>& page) override;
    void goToDestination(const std::shared_ptr<Page>& page, Point point) override;

    std::optional<Selection> currentSelection() const override { return selection_; }
    void setCurrentSelection(std::optional<Selection> selection, bool animate = false) override;
    void clearSelection() override;

    // A page that is not one of the document's leaves points and rectangles unchanged.
    Point convertPointToPage(Point viewPoint, const Page& page) const override;
    Point convertPointFromPage(Point pagePoint, const Page& page) const override;
    Rect convertRectToPage(const Rect& viewRect, const Page& page) const override;
    Rect convertRectFromPage(const Rect& pageRect, const Page& page) const override;
    std::shared_ptr<Page> pageForPoint(Point viewPoint, bool nearest) const override;

    Rect bounds() const override { return bounds_; }
    void setBounds(const Rect& bounds);

    Point scrollOrigin() const override { return origin_; }
    // Clamped to the scrollable range.
    void scrollTo(Point origin) override;

    void setNeedsDisplay() override { ++displayRequests_; }
    std::size_t displayRequests() const { return displayRequests_; }

    [[nodiscard]] Cancellable onPageChanged(std::function<void()> observer) override;
    [[nodiscard]] Cancellable onSelectionChanged(std::function<void()> observer) override;

    // A page's frame in scroll coordinates (y down); empty when there is no such page.
    Rect pageFrame(int index) const;
    Size contentSize() const;

private:
    struct Layout {
        std::vector<Rect> frames; // scroll coordinates, y down: y is the frame's top
        std::vector<Rect> boxes;  // the pages' media boxes, page space
        Size content;
    };
    Layout layout() const;
    int pageIndexAt(const Layout& layout, double scrollY) const;
    int indexFor(const Page& page) const;
    Point clamped(const Layout& layout, Point origin) const;
    // Sets the scale keeping the point at the top left of the view in place.
    void rescale(double scale);
    void fitWidth();
    void notifyIfPageChanged(const std::shared_ptr<Page>& before);
    Point viewToScroll(Point viewPoint) const;
    Point scrollToView(Point scrollPoint) const;
    Point pageToScroll(const Layout& layout, int index, Point pagePoint) const;
    Point scrollToPage(const Layout& layout, int index, Point scrollPoint) const;

    std::shared_ptr<Document> document_;
    DisplayMode displayMode_ = DisplayMode::singlePageContinuous;
    DisplayDirection direction_ = DisplayDirection::vertical;
    bool pageBreaks_ = true;
    double scale_ = 1.0;
    bool autoScales_ = false;
    Rect bounds_;
    Point origin_;
    std::optional<Selection> selection_;
    std::size_t displayRequests_ = 0;
    Signal<> pageChanged_;
    Signal<> selectionChanged_;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
