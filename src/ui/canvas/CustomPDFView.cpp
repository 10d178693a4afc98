#include "ui/canvas/CustomPDFView.h"

#include "app/AppContainer.h"
#include "core/Executor.h"
#include "ui/canvas/CanvasNotifications.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <utility>

namespace ombrix::ui {

namespace {

bool isLeftOrNoButton(const QMouseEvent& event) {
    return event.button() == Qt::LeftButton || event.button() == Qt::NoButton;
}

// Runs `job` after the current event, unless the view is gone by then.
template <typename Job> void later(CustomPDFView* view, Job job) {
    QPointer<CustomPDFView> alive(view);
    mainQueue().post([alive, job = std::move(job)]() mutable {
        if (alive) {
            job();
        }
    });
}

} // namespace

CustomPDFView::CustomPDFView(QWidget* parent) : PDFView(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &PDFView::selectionChanged, this, [this] {
        if (!selectionOwedAt_ || selectionAwaitsText()) {
            return;
        }
        const Point viewPoint = *std::exchange(selectionOwedAt_, std::nullopt);
        tellTextSelected(viewPoint);
    });
}

void CustomPDFView::tellTextSelected(Point viewPoint) {
    auto selection = currentSelection();
    if (selection && !selection->isEmpty()) {
        later(this, [this, selection = *selection, viewPoint] {
            if (onTextSelected) {
                onTextSelected(selection, viewPoint);
            }
        });
    }
}

Point CustomPDFView::viewPointOf(const QMouseEvent& event) const {
    return widgetToView(event.position());
}

Point CustomPDFView::toTopLeft(Point viewPoint) const {
    return Point{viewPoint.x, bounds().height - viewPoint.y};
}

Rect CustomPDFView::dragRect(Point pagePoint) const {
    const Point start = *dragStartPointInPage_;
    return Rect::fromEdges(start.x, start.y, pagePoint.x, pagePoint.y);
}

std::shared_ptr<pdfkit::Page> CustomPDFView::pageUnder(Point viewPoint) const {
    if (auto page = pageForPoint(viewPoint, true)) {
        return page;
    }
    return currentPage();
}

std::shared_ptr<pdfkit::Annotation>
CustomPDFView::annotationHit(const std::shared_ptr<pdfkit::Page>& page, Point pagePoint) const {
    if (!page) {
        return nullptr;
    }
    auto selectable = [](const pdfkit::Annotation& annotation) {
        const auto subtype = annotation.subtype();
        return subtype != pdfkit::Subtype::link && subtype != pdfkit::Subtype::popup;
    };
    // The view's hit-test reads copied bounds: the first holding the point, else the
    // first within a few pixels. Only when that is a link does the page's list decide.
    auto hit = annotationAt(page->index(), pagePoint);
    if (!hit || selectable(*hit)) {
        return hit;
    }
    for (const auto& annotation : page->annotations()) {
        if (selectable(*annotation) && annotation->bounds().contains(pagePoint)) {
            return annotation;
        }
    }
    return nullptr;
}

void CustomPDFView::holdSelectingAnnotation(bool on, std::optional<double> clearAfterSeconds) {
    isSelectingAnnotation = on;
    const unsigned generation = ++selectingGeneration_;
    if (!on || !clearAfterSeconds) {
        return;
    }
    QPointer<CustomPDFView> alive(this);
    mainQueue().postAfter(seconds(*clearAfterSeconds), [alive, generation] {
        if (alive && alive->selectingGeneration_ == generation) {
            alive->isSelectingAnnotation = false;
        }
    });
}

void CustomPDFView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    isPlatformPress_ = false;
    const bool rectangleDrag = (event->modifiers() & Qt::AltModifier) || isShapeMode;
    if (event->button() != Qt::LeftButton) {
        // Right and middle presses are the view's (no menu, middle-button panning).
        PDFView::mousePressEvent(event);
        return;
    }
    const Point viewPoint = viewPointOf(*event);

    if (!rectangleDrag) {
        auto page = pageUnder(viewPoint);
        auto hit = page ? annotationHit(page, convertPointToPage(viewPoint, *page)) : nullptr;
        if (hit) {
            clearSelection();
            setNeedsDisplay();
            isClickingAnnotation_ = true;
            holdSelectingAnnotation(true);
            currentSelectedAnnotation = hit;
            currentSelectedPage = page;
            later(this, [this, hit, page] {
                if (onAnnotationClicked) {
                    onAnnotationClicked(hit, page);
                }
                holdSelectingAnnotation(true, kSelectingAfterClickSeconds);
            });
            event->accept();
            return;
        }
        currentSelectedAnnotation.reset();
        currentSelectedPage.reset();
        isClickingAnnotation_ = false;
        isPlatformPress_ = true;
        platformPressMoved_ = false;
        selectionOwedAt_.reset();
        platformPressPos_ = event->position();
        PDFView::mousePressEvent(event);
        return;
    }

    clearSelection();
    setNeedsDisplay();
    postCanvasNotification(kPdfDragStarted);
    const Point topLeft = toTopLeft(viewPoint);
    later(this, [this, topLeft] {
        if (onDragStarted) {
            onDragStarted(topLeft);
        }
    });
    dragPage_ = pageUnder(viewPoint);
    if (dragPage_) {
        dragStartPointInPage_ = convertPointToPage(viewPoint, *dragPage_);
        isAltDragging_ = true;
    }
    event->accept();
}

void CustomPDFView::mouseMoveEvent(QMouseEvent* event) {
    if (!isAltDragging_) {
        if (isPlatformPress_ && (event->buttons() & Qt::LeftButton) &&
            (event->position() - platformPressPos_).manhattanLength() >=
                QApplication::startDragDistance()) {
            platformPressMoved_ = true;
        }
        PDFView::mouseMoveEvent(event);
        return;
    }
    if (!dragPage_ || !dragStartPointInPage_) {
        return;
    }
    const Rect inPage = dragRect(convertPointToPage(viewPointOf(*event), *dragPage_));
    const Rect inView = convertRectFromPage(inPage, *dragPage_);
    const bool shape = isShapeMode;
    later(this, [this, inView, shape] {
        auto& handler = shape ? onShapeDragChanged : onOptionDragChanged;
        if (handler) {
            handler(inView);
        }
    });
    event->accept();
}

void CustomPDFView::mouseReleaseEvent(QMouseEvent* event) {
    if (isAltDragging_ && isLeftOrNoButton(*event)) {
        if (dragPage_ && dragStartPointInPage_) {
            postCanvasNotification(kPdfDragEnded);
            const Rect inPage = dragRect(convertPointToPage(viewPointOf(*event), *dragPage_));
            if (isShapeMode) {
                later(this, [this, inPage] {
                    if (onShapeDragEnded) {
                        onShapeDragEnded(inPage);
                    }
                });
            } else {
                if (auto* app = appContainer()) {
                    app->lastDragBounds = inPage;
                }
                later(this, [this, inPage] {
                    if (onDragEnded) {
                        onDragEnded(inPage);
                    }
                });
            }
        }
        isAltDragging_ = false;
        dragStartPointInPage_.reset();
        event->accept();
        return;
    }

    isClickingAnnotation_ = false;
    const bool platformPress = isPlatformPress_ && event->button() == Qt::LeftButton;
    const bool moved = platformPressMoved_;
    isPlatformPress_ = false;
    PDFView::mouseReleaseEvent(event);
    if (!platformPress) {
        return;
    }

    const Point viewPoint = viewPointOf(*event);
    if (moved) {
        if (selectionAwaitsText()) {
            selectionOwedAt_ = viewPoint;
        } else {
            tellTextSelected(viewPoint);
        }
        return;
    }
    // Empty page area: on a page, and no annotation or link there.
    auto page = pageForPoint(viewPoint, false);
    if (page && !annotationAt(page->index(), convertPointToPage(viewPoint, *page))) {
        later(this, [this, viewPoint] {
            if (onBackgroundTap) {
                onBackgroundTap(viewPoint);
            }
        });
    }
}

void CustomPDFView::keyPressEvent(QKeyEvent* event) {
    int code = 0;
    if (event->key() == Qt::Key_Backspace) {
        code = kDeleteKeyCode;
    } else if (event->key() == Qt::Key_Delete) {
        code = kForwardDeleteKeyCode;
    }
    if ((code == kDeleteKeyCode || code == kForwardDeleteKeyCode) && currentSelectedAnnotation &&
        currentSelectedPage && onDeleteAnnotation) {
        onDeleteAnnotation(currentSelectedAnnotation, currentSelectedPage);
        event->accept();
        return;
    }
    PDFView::keyPressEvent(event);
}

void CustomPDFView::contextMenuEvent(QContextMenuEvent* event) {
    // No menu at all, the view's own included.
    event->accept();
}

} // namespace ombrix::ui
