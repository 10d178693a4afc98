#pragma once

#include "ui/canvas/CustomPDFView.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace ombrix::ui {

// The plain widget that holds the page view: it makes one CustomPDFView filling it,
// keeps its own copy of the selected annotation, and on every change of what is visible
// reports that annotation's rectangle in canvas space (this widget's points, origin at
// its lower left, y up) so overlays can follow it. The remaining closures and modes
// forward straight to the view. GUI thread only.
class PDFCanvasView : public QWidget {
    Q_OBJECT
public:
    explicit PDFCanvasView(QWidget* parent = nullptr);

    CustomPDFView* pdfView() const { return pdfView_; }

    std::function<void(Rect)> onScrollRectChanged; // canvas space; all zero when cleared

    // The selection mirror: stored here and in the view.
    void setCurrentSelection(std::shared_ptr<pdfkit::Annotation> annotation,
                             std::shared_ptr<pdfkit::Page> page);
    // Clears both, then reports the all-zero rectangle.
    void clearSelection();
    const std::shared_ptr<pdfkit::Annotation>& currentSelectedAnnotation() const {
        return selectedAnnotation_;
    }
    const std::shared_ptr<pdfkit::Page>& currentSelectedPage() const { return selectedPage_; }

    bool isSelectingAnnotation() const { return isSelectingAnnotation_; }
    void setSelectingAnnotation(bool on);
    bool isShapeMode() const { return isShapeMode_; }
    void setShapeMode(bool on);
    bool isTextMode() const { return isTextMode_; }
    void setTextMode(bool on);

    // A page-space rectangle of the page in canvas space.
    Rect pageRectToCanvas(const Rect& pageRect, const pdfkit::Page& page) const;
    // A view-space rectangle in canvas space.
    Rect viewRectToCanvas(const Rect& viewRect) const;

    // Called whenever the visible content moves: reports the selection's rectangle,
    // asynchronously on the main queue. Nothing without a selection.
    void handleScroll();

private:
    CustomPDFView* pdfView_;
    std::shared_ptr<pdfkit::Annotation> selectedAnnotation_;
    std::shared_ptr<pdfkit::Page> selectedPage_;
    bool isSelectingAnnotation_ = false;
    bool isShapeMode_ = false;
    bool isTextMode_ = false;
};

} // namespace ombrix::ui
