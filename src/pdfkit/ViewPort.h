#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Cancellable.h"
#include "core/Geometry.h"
#include "pdfkit/Document.h"
#include "pdfkit/Selection.h"

#include <functional>
#include <memory>
#include <optional>

namespace ombrix::pdfkit {

// The values match the display-mode and direction numbers stored settings use.
enum class DisplayMode { singlePage = 0, singlePageContinuous = 1, twoUp = 2, twoUpContinuous = 3 };
enum class DisplayDirection { vertical = 0, horizontal = 1 };

// What the core sees of the on-screen PDF view. The desktop app implements it with its
// page widget; core tests with a plain object. View space is the view's own points,
// y up from its lower left, like page space.
class ViewPort {
public:
    virtual ~ViewPort() = default;

    virtual std::shared_ptr<Document> document() const = 0;
    virtual void setDocument(std::shared_ptr<Document> document) = 0;

    virtual DisplayMode displayMode() const = 0;
    virtual void setDisplayMode(DisplayMode mode) = 0;
    virtual DisplayDirection displayDirection() const = 0;
    virtual void setDisplayDirection(DisplayDirection direction) = 0;
    virtual bool displaysPageBreaks() const = 0;
    virtual void setDisplaysPageBreaks(bool shown) = 0;

    virtual double scaleFactor() const = 0;
    virtual void setScaleFactor(double scale) = 0;
    virtual bool autoScales() const = 0;
    virtual void setAutoScales(bool on) = 0;

    virtual std::shared_ptr<Page> currentPage() const = 0;
    virtual void goToPage(const std::shared_ptr<Page>& page) = 0;
    // Scrolls so that the page-space point is at the top left of the view.
    virtual void goToDestination(const std::shared_ptr<Page>& page, Point point) = 0;

    virtual std::optional<Selection> currentSelection() const = 0;
    virtual void setCurrentSelection(std::optional<Selection> selection, bool animate = false) = 0;
    virtual void clearSelection() = 0;

    virtual Point convertPointToPage(Point viewPoint, const Page& page) const = 0;
    virtual Point convertPointFromPage(Point pagePoint, const Page& page) const = 0;
    virtual Rect convertRectToPage(const Rect& viewRect, const Page& page) const = 0;
    virtual Rect convertRectFromPage(const Rect& pageRect, const Page& page) const = 0;
    // The page under a view point; the nearest page when none is under it and `nearest`.
    virtual std::shared_ptr<Page> pageForPoint(Point viewPoint, bool nearest) const = 0;

    virtual Rect bounds() const = 0; // the view's own bounds, view space

    // The scrolled content's origin, in points of the document's laid-out pages, y down.
    virtual Point scrollOrigin() const = 0;
    virtual void scrollTo(Point origin) = 0;

    virtual void setNeedsDisplay() = 0;

    [[nodiscard]] virtual Cancellable onPageChanged(std::function<void()> observer) = 0;
    [[nodiscard]] virtual Cancellable onSelectionChanged(std::function<void()> observer) = 0;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
