#include "ui/canvas/PDFCanvasView.h"

#include "core/Executor.h"

#include <QPalette>
#include <QPointer>
#include <QVBoxLayout>

namespace ombrix::ui {

PDFCanvasView::PDFCanvasView(QWidget* parent) : QWidget(parent), pdfView_(new CustomPDFView(this)) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    pdfView_->setAutoScales(false);
    pdfView_->setDisplayMode(pdfkit::DisplayMode::singlePageContinuous);
    pdfView_->setDisplayDirection(pdfkit::DisplayDirection::vertical);
    pdfView_->setDisplaysPageBreaks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pdfView_);
    setFocusProxy(pdfView_);
    connect(pdfView_, &PDFView::scrolled, this, &PDFCanvasView::handleScroll);
}

void PDFCanvasView::setCurrentSelection(std::shared_ptr<pdfkit::Annotation> annotation,
                                        std::shared_ptr<pdfkit::Page> page) {
    pdfView_->currentSelectedAnnotation = std::move(annotation);
    pdfView_->currentSelectedPage = std::move(page);
}

void PDFCanvasView::clearSelection() {
    setCurrentSelection(nullptr, nullptr);
    if (onScrollRectChanged) {
        onScrollRectChanged(Rect{});
    }
}

Rect PDFCanvasView::viewRectToCanvas(const Rect& viewRect) const {
    const Rect r = viewRect.standardized();
    // View space and canvas space are both y up; they differ by where the view sits.
    const QPointF topLeft =
        pdfView_->viewport()->mapTo(this, pdfView_->viewToWidget(Point{r.minX(), r.maxY()}));
    return Rect{topLeft.x(), height() - topLeft.y() - r.height, r.width, r.height};
}

Rect PDFCanvasView::pageRectToCanvas(const Rect& pageRect, const pdfkit::Page& page) const {
    return viewRectToCanvas(pdfView_->convertRectFromPage(pageRect, page));
}

void PDFCanvasView::handleScroll() {
    const auto& annotation = currentSelectedAnnotation();
    const auto& page = currentSelectedPage();
    if (!annotation || !page) {
        return;
    }
    const Rect rect = pageRectToCanvas(annotation->bounds(), *page);
    QPointer<PDFCanvasView> alive(this);
    mainQueue().post([alive, rect] {
        if (alive && alive->onScrollRectChanged) {
            alive->onScrollRectChanged(rect);
        }
    });
}

} // namespace ombrix::ui
