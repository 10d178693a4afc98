#include "ui/canvas/PDFKitViewRepresentable.h"

#include "app/AppContainer.h"
#include "core/Executor.h"
#include "document/ActiveViews.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/AnnotationSubtype.h"
#include "pdfkit/Document.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace ombrix::ui {

namespace {

// The canvas as the core's handlers see it; empty once the widget is gone.
class CanvasHandle final : public CanvasTarget {
public:
    CanvasHandle(PDFCanvasView* canvas, std::shared_ptr<pdfkit::ViewPort> view)
        : canvas_(canvas), view_(std::move(view)) {}
    std::shared_ptr<pdfkit::ViewPort> pdfView() const override { return canvas_ ? view_ : nullptr; }
    void setNeedsDisplay() override {
        if (canvas_) {
            canvas_->update();
            canvas_->pdfView()->setNeedsDisplay();
        }
    }

private:
    QPointer<PDFCanvasView> canvas_;
    std::shared_ptr<pdfkit::ViewPort> view_;
};

AppContainer& containerOf(const PDFKitViewRepresentable& description) {
    return description.container ? *description.container : AppContainer::shared();
}

// Runs `job` with the coordinator's newest description. The view calls its closures after
// the event already, so this hands on at once rather than waiting another turn.
template <typename Job> void forward(const QPointer<Coordinator>& coordinator, Job job) {
    if (!coordinator) {
        return;
    }
    // A copy: the closure called may well update the coordinator's description.
    const PDFKitViewRepresentable description = coordinator->description();
    job(description);
}

// A view closure that hands its arguments on to the same-typed closure of the newest
// description.
template <typename... Args>
std::function<void(Args...)> relay(QPointer<Coordinator> coordinator,
                                   std::function<void(Args...)> PDFKitViewRepresentable::*target) {
    return [coordinator, target](Args... args) {
        forward(coordinator, [target, args...](const PDFKitViewRepresentable& p) {
            if (p.*target) {
                (p.*target)(args...);
            }
        });
    };
}

} // namespace

AnnotationType canvasAnnotationType(const std::string& subtype) {
    std::string name = subtype;
    name.erase(std::remove(name.begin(), name.end(), '/'), name.end());
    using pdfkit::Subtype;
    switch (pdfkit::subtypeNamed(name).value_or(Subtype::highlight)) {
    case Subtype::underline:
        return AnnotationType::underline;
    case Subtype::strikeOut:
        return AnnotationType::strikeout;
    case Subtype::text:
        return AnnotationType::stickyNote;
    case Subtype::freeText:
        return AnnotationType::freeText;
    case Subtype::square:
        return AnnotationType::square;
    case Subtype::circle:
        return AnnotationType::circle;
    default:
        return AnnotationType::highlight;
    }
}

Coordinator::Coordinator(std::function<void(int)> onPageChange)
    : onPageChange_(std::move(onPageChange)),
      description_(std::make_unique<PDFKitViewRepresentable>()) {}

Coordinator::~Coordinator() = default;

void Coordinator::setDescription(const PDFKitViewRepresentable& description) {
    *description_ = description;
    onPageChange_ = description.onPageChange;
}

void Coordinator::pageChanged() {
    if (!canvas_ || !onPageChange_) {
        return;
    }
    auto* view = canvas_->pdfView();
    auto doc = view->document();
    auto page = view->currentPage();
    if (!doc || !page) {
        return;
    }
    if (auto index = doc->indexOf(*page)) {
        auto report = onPageChange_; // it may replace onPageChange_ through an update
        report(*index);
    }
}

std::unique_ptr<Coordinator> PDFKitViewRepresentable::makeCoordinator() const {
    auto coordinator = std::make_unique<Coordinator>(onPageChange);
    coordinator->setDescription(*this);
    return coordinator;
}

PDFCanvasView* PDFKitViewRepresentable::makeView(Coordinator& coordinator, QWidget* parent) const {
    auto* canvas = new PDFCanvasView(parent);
    CustomPDFView* view = canvas->pdfView();
    coordinator.canvas_ = canvas;

    AppContainer& app = containerOf(*this);
    view->setAppContainer(&app);
    // The widget is owned by its Qt parent; the container's references must not keep
    // it, and are dropped when it goes.
    std::shared_ptr<pdfkit::ViewPort> port(static_cast<pdfkit::ViewPort*>(view),
                                           [](pdfkit::ViewPort*) {});
    auto handle = std::make_shared<CanvasHandle>(canvas, port);
    app.setActivePDFView(port);
    app.setActivePDFCanvas(handle);
    QObject::connect(canvas, &QObject::destroyed, [&app, port, handle] {
        if (app.activePDFView() == port) {
            app.setActivePDFView(nullptr);
        }
        if (app.activePDFCanvas() == handle) {
            app.setActivePDFCanvas(nullptr);
        }
    });

    canvas->setShapeMode(isShapeMode);
    canvas->setTextMode(isTextMode);

    QPointer<Coordinator> c(&coordinator);
    QPointer<PDFCanvasView> alive(canvas);
    view->onTextSelected = [c, alive](pdfkit::Selection selection, Point point) {
        forward(c, [alive, selection, point](const PDFKitViewRepresentable& p) {
            if (alive && !alive->isSelectingAnnotation() && p.onTextSelected) {
                p.onTextSelected(selection, point);
            }
        });
    };
    view->onDragStarted = relay(c, &PDFKitViewRepresentable::onDragStarted);
    // The view keeps the rectangle as the container's lastDragBounds.
    view->onDragEnded = relay(c, &PDFKitViewRepresentable::onDragEnded);
    view->onBackgroundTap = relay(c, &PDFKitViewRepresentable::onBackgroundTap);
    view->onOptionDragChanged = relay(c, &PDFKitViewRepresentable::onOptionDragChanged);
    view->onShapeDragChanged = relay(c, &PDFKitViewRepresentable::onShapeDragChanged);
    view->onShapeDragEnded = relay(c, &PDFKitViewRepresentable::onShapeDragEnded);
    view->onDeleteAnnotation = relay(c, &PDFKitViewRepresentable::onDeleteAnnotation);
    view->onAnnotationClicked = [c, alive](std::shared_ptr<pdfkit::Annotation> annotation,
                                           std::shared_ptr<pdfkit::Page> page) {
        if (alive && c) {
            const PDFKitViewRepresentable description = c->description();
            description.selectAnnotation(*alive, annotation, page);
        }
    };
    canvas->onScrollRectChanged = [c, alive](Rect rect) {
        if (!c) {
            return;
        }
        auto onScroll = c->description().onScroll;
        if (alive && alive->pdfView()->currentSelectedAnnotation && onScroll) {
            onScroll(rect);
        }
    };
    QObject::connect(view, &PDFView::pageChanged, &coordinator, &Coordinator::pageChanged);
    QObject::connect(view, &PDFView::scaleChanged, &coordinator, [c](double scale) {
        if (auto report = c->description().onScaleChange) {
            report(scale);
        }
    });
    return canvas;
}

void PDFKitViewRepresentable::selectAnnotation(
    PDFCanvasView& canvas, const std::shared_ptr<pdfkit::Annotation>& annotation,
    const std::shared_ptr<pdfkit::Page>& page) const {
    if (isTextMode || isShapeMode || !annotation || !page) {
        return;
    }
    canvas.pdfView()->holdSelectingAnnotation(true);
    int pageIndex = 0;
    if (auto doc = canvas.pdfView()->document()) {
        pageIndex = doc->indexOf(*page).value_or(0);
    }
    AnnotationRecord record(Uuid::random(), pageIndex, canvasAnnotationType(annotation->type()),
                            annotation->bounds(), annotation->contents(), std::nullopt, annotation);
    canvas.setCurrentSelection(annotation, page);
    const Rect rect = canvas.pageRectToCanvas(annotation->bounds(), *page);
    QPointer<PDFCanvasView> alive(&canvas);
    auto selected = onAnnotationSelected;
    mainQueue().post([alive, selected, record = std::move(record), rect] {
        if (!alive) {
            return;
        }
        if (selected) {
            selected(record, rect);
        }
        alive->pdfView()->holdSelectingAnnotation(true,
                                                  CustomPDFView::kSelectingAfterSelectionSeconds);
    });
}

void PDFKitViewRepresentable::updateView(PDFCanvasView& canvas, Coordinator& coordinator) const {
    coordinator.setDescription(*this);
    CustomPDFView* view = canvas.pdfView();
    auto engine = document ? PDFKitBridge::engineDocument(*document) : nullptr;
    bool documentChanged = false;
    if (view->document() != engine) {
        view->setDocument(engine);
        view->setAutoScales(true);
        documentChanged = true;
    }
    canvas.setShapeMode(isShapeMode);
    canvas.setTextMode(isTextMode);
    // Right after a new document the view fits it; the zoom applies from the next change.
    if (!documentChanged && std::abs(view->scaleFactor() - zoom) > kZoomTolerance) {
        view->setScaleFactor(zoom);
    }
    QPointer<PDFCanvasView> alive(&canvas);
    auto onScrollNow = onScroll;
    mainQueue().post([alive, onScrollNow] {
        if (!alive || !onScrollNow || !alive->currentSelectedAnnotation() ||
            !alive->currentSelectedPage()) {
            return;
        }
        onScrollNow(alive->pageRectToCanvas(alive->currentSelectedAnnotation()->bounds(),
                                            *alive->currentSelectedPage()));
    });
}

} // namespace ombrix::ui
