#pragma once

#include "annotations/AnnotationRecord.h"
#include "document/PDFDocument.h"
#include "ui/canvas/PDFCanvasView.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace ombrix {
class AppContainer;
}

namespace ombrix::ui {

struct PDFKitViewRepresentable;

// Receives the page view's page changes and keeps the description the canvas was last
// updated with, so the closures wired at creation always reach the newest ones.
class Coordinator : public QObject {
    Q_OBJECT
public:
    explicit Coordinator(std::function<void(int)> onPageChange);
    ~Coordinator() override;

    const PDFKitViewRepresentable& description() const { return *description_; }
    void setDescription(const PDFKitViewRepresentable& description);

public slots:
    // From the page view: reports the index of its current page when it has a document.
    void pageChanged();

private:
    friend struct PDFKitViewRepresentable;
    std::function<void(int)> onPageChange_;
    std::unique_ptr<PDFKitViewRepresentable> description_;
    QPointer<PDFCanvasView> canvas_;
};

// What the application wants the canvas to be: document, zoom, modes and the closures
// its events go to. makeView builds the canvas from it once; updateView brings an
// existing canvas in line with a newer description. Events reach the closures
// asynchronously on the main queue. GUI thread only.
struct PDFKitViewRepresentable {
    std::shared_ptr<PDFDocument> document;
    int currentPage = 0;
    double zoom = 1.0;
    std::function<void(const AnnotationRecord&, Rect)> onAnnotationSelected; // canvas space
    std::function<void(pdfkit::Selection, Point)> onTextSelected;
    std::function<void()> onScrollStarted;         // declared for the window; nothing raises it yet
    std::function<void(Point)> onDragStarted;      // top-left space
    std::function<void(Rect)> onDragEnded;         // page space
    std::function<void(Point)> onBackgroundTap;    // view space
    std::function<void(Rect)> onOptionDragChanged; // view space
    std::function<void(int)> onPageChange;
    std::function<void(Rect)> onScroll; // canvas space
    bool isShapeMode = false;
    bool isTextMode = false;
    std::function<void(Rect)> onShapeDragChanged; // view space
    std::function<void(Rect)> onShapeDragEnded;   // page space
    std::function<void(std::shared_ptr<pdfkit::Annotation>, std::shared_ptr<pdfkit::Page>)>
        onDeleteAnnotation;
    // The view's scale after it changed by itself (auto-scaling, Ctrl+wheel), so the
    // application's zoom can follow and the next update does not undo it.
    std::function<void(double)> onScaleChange;
    // Where lastDragBounds and the active views go; null: AppContainer::shared().
    AppContainer* container = nullptr;

    // Differences below this keep the view's scale (rounding in a zoom round trip).
    static constexpr double kZoomTolerance = 0.001;

    std::unique_ptr<Coordinator> makeCoordinator() const;
    // The canvas, recorded as the container's active view and canvas until destroyed.
    PDFCanvasView* makeView(Coordinator& coordinator, QWidget* parent = nullptr) const;
    void updateView(PDFCanvasView& canvas, Coordinator& coordinator) const;

    // An annotation click as the application sees it: the record and its rectangle.
    void selectAnnotation(PDFCanvasView& canvas,
                          const std::shared_ptr<pdfkit::Annotation>& annotation,
                          const std::shared_ptr<pdfkit::Page>& page) const;
};

// The record type of an engine subtype for a canvas click; narrower than
// annotationTypeFrom: anything not named here is a highlight.
AnnotationType canvasAnnotationType(const std::string& subtype);

} // namespace ombrix::ui
