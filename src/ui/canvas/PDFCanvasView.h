#pragma once

#include "ui/canvas/CustomPDFView.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace ombrix::ui {

// The plain widget that holds the page view: it makes one CustomPDFView filling it, and
// on every change of what is visible
// reports that annotation's rectangle in canvas space (this widget's points, origin at
// its lower left, y up) so overlays can follow it. The remaining closures and modes
// forward straight to the view, which alone holds the selection, the flags and the modes.
// GUI thread only.
class PDFCanvasView : public QWidget {
    Q_OBJECT
public:
    explicit PDFCanvasView(QWidget* parent = nullptr);

    CustomPDFView* pdfView() const { return pdfView_; }

    std::function<void(Rect)> onScrollRectChanged; // canvas space; all zero when cleared

    // The view's selection.
    void setCurrentSelection(std::shared_ptr<pdfkit::Annotation> annotation,
                             std::shared_ptr<pdfkit::Page> page);
    // Clears both, then reports the all-zero rectangle.
    void clearSelection();
    const std::shared_ptr<pdfkit::Annotation>& currentSelectedAnnotation() const {
        return pdfView_->currentSelectedAnnotation;
    }
    const std::shared_ptr<pdfkit::Page>& currentSelectedPage() const {
        return pdfView_->currentSelectedPage;
    }

    bool isSelectingAnnotation() const { return pdfView_->isSelectingAnnotation; }
    bool isShapeMode() const { return pdfView_->isShapeMode; }
    void setShapeMode(bool on) { pdfView_->isShapeMode = on; }
    bool isTextMode() const { return pdfView_->isTextMode; }
    void setTextMode(bool on) { pdfView_->isTextMode = on; }

    // A page-space rectangle of the page in canvas space.
    Rect pageRectToCanvas(const Rect& pageRect, const pdfkit::Page& page) const;
    // A view-space rectangle in canvas space.
    Rect viewRectToCanvas(const Rect& viewRect) const;

    // Called whenever the visible content moves: reports the selection's rectangle,
    // asynchronously on the main queue. Nothing without a selection.
    void handleScroll();

private:
    CustomPDFView* pdfView_;
};

} // namespace ombrix::ui
