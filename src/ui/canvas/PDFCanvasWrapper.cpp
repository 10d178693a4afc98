#include "ui/canvas/PDFCanvasWrapper.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "app/AppContainer.h"
#include "app/UserInteraction.h"
#include "core/Executor.h"
#include "core/UnicodeText.h"
#include "document/PDFKitBridge.h"
#include "document/TabSession.h"
#include "extraction/BacklinkHighlightManager.h"
#include "pdfkit/Document.h"
#include "ui/canvas/CanvasNotifications.h"
#include "ui/canvas/DragRectangleLayer.h"
#include "ui/canvas/FreeTextEditor.h"
#include "ui/canvas/PageMarkupCommand.h"
#include "ui/canvas/TextPopover.h"
#include "ui/canvas/ToolPalette.h"
#include "ui/platform/QtColor.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <utility>

namespace ombrix::ui {

namespace {

constexpr double kAnchorRise = 40;
constexpr int kEdgeRoom = 4;
constexpr int kPopoverGap = 6;
constexpr const char* kShowHighlightSidebar = "ShowHighlightSidebar";
// Free text is measured at a large size and scaled.
constexpr int kMeasureSize = 100;

std::shared_ptr<pdfkit::Document> engineOf(const std::shared_ptr<TabSession>& session) {
    return session ? PDFKitBridge::engineDocument(*session->document) : nullptr;
}

int clampInto(int value, int low, int high) {
    return high < low ? low : std::clamp(value, low, high);
}

// The page-space box of free text at `points` (the kit draws it with no inner margin):
// its widest line and its lines at the kit's line height. A little room to the right
// keeps the kit from wrapping a line it measures a hair wider.
Rect freeTextBox(const std::string& text, double points, Point topLeft) {
    QFont font = FreeTextEditor::textFont();
    font.setPixelSize(kMeasureSize);
    const QFontMetricsF metrics(font);
    const QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    double widest = 0;
    for (const QString& line : lines) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const double width = widest * points / kMeasureSize + points / 4;
    const double height = double(lines.size()) * FreeTextEditor::kLineHeight * points;
    return Rect{topLeft.x, topLeft.y - height, width, height};
}

} // namespace

PDFCanvasWrapper::PDFCanvasWrapper(AppContainer& container, QWidget* parent)
    : QWidget(parent), container_(container),
      description_(std::make_unique<PDFKitViewRepresentable>()) {
    setObjectName("PDFCanvasWrapper");
    auto& d = *description_;
    d.container = &container_;
    d.onAnnotationSelected = [this](const AnnotationRecord& record, Rect rect) {
        selectAnnotation(record, rect);
    };
    d.onTextSelected = [this](pdfkit::Selection selection, Point) { textSelected(selection); };
    d.onDragStarted = [this](Point point) { dragStarted(point); };
    d.onDragEnded = [this](Rect rect) { regionDragged(rect); };
    d.onBackgroundTap = [this](Point point) { backgroundTapped(point); };
    d.onOptionDragChanged = [this](Rect rect) { optionDragChanged(rect); };
    d.onPageChange = [this](int index) { pageChanged(index); };
    d.onScroll = [this](Rect rect) { scrolled(rect); };
    d.onShapeDragChanged = [this](Rect rect) { shapeDragChanged(rect); };
    d.onShapeDragEnded = [this](Rect rect) { shapeDragged(rect); };
    d.onDeleteAnnotation = [this](std::shared_ptr<pdfkit::Annotation> annotation,
                                  std::shared_ptr<pdfkit::Page> page) {
        deleteAnnotation(std::move(annotation), std::move(page));
    };
    coordinator_ = d.makeCoordinator();
    canvas_ = d.makeView(*coordinator_, this);
    dragLayer_ = new DragRectangleLayer(this);

    palette_ = new ToolPalette(this);
    palette_->hide();
    palette_->onToolChosen = [this](HighlightTool tool) { setActiveTool(tool); };
    palette_->onColourChosen = [this](Color colour) { recolourSelection(colour); };

    popover_ = new TextPopover(this);
    popover_->hide();
    popover_->onClose = [this] {
        showCopyPopover_ = false;
        placePopover();
    };
    popover_->onCopy = [this] {
        if (const auto& ui = container_.userInteraction()) {
            ui->copyToClipboard(popoverText_);
        } else {
            QApplication::clipboard()->setText(QString::fromStdString(popoverText_));
        }
        showCopyPopover_ = false;
        placePopover();
    };

    textEditor_ = new FreeTextEditor(this);
    textEditor_->hide();
    textEditor_->onCommit = [this] { commitTextEntry(); };
    textEditor_->onCancel = [this] { cancelTextEntry(); };
    textEditor_->onFocusLost = [this](Qt::FocusReason reason) {
        if (reason != Qt::MouseFocusReason || !isEditingText_) {
            return;
        }
        focusTakenByMouse_ = true;
        QPointer<PDFCanvasWrapper> alive(this);
        mainQueue().post([alive] {
            if (alive) {
                alive->focusTakenByMouse_ = false;
            }
        });
    };
    textEditor_->onTextChanged = [this](const QString& text) { textInput_ = text.toStdString(); };
    // A press on the page while an entry is open ends it (as a click elsewhere does).
    canvas_->pdfView()->viewport()->installEventFilter(this);
    // The entry stays on its spot of the page, at the page's scale, whatever moves it.
    connect(canvas_->pdfView(), &PDFView::scrolled, this, [this] { placeTextEditor(); });

    auto undo = container_.undoManager();
    undoCount_ = undo->undoStack().size();
    redoCount_ = undo->redoStack().size();
    // A command that grows a stack has just run (undo stack) or been undone (redo stack).
    undoObservations_.push_back(undo->undoStack.observe([this](const AppUndoManager::Stack& s) {
        const bool grew = s.size() > undoCount_;
        undoCount_ = s.size();
        if (grew) {
            commandApplied(s.back());
        }
    }));
    undoObservations_.push_back(undo->redoStack.observe([this](const AppUndoManager::Stack& s) {
        const bool grew = s.size() > redoCount_;
        redoCount_ = s.size();
        if (grew) {
            commandApplied(s.back());
        }
    }));
}

PDFCanvasWrapper::~PDFCanvasWrapper() {
    undoObservations_.clear();
    // An entry open while the view goes is dropped; its focus loss must not commit it.
    textEditor_->onCommit = nullptr;
    textEditor_->onCancel = nullptr;
    textEditor_->onFocusLost = nullptr;
    canvas_->pdfView()->viewport()->removeEventFilter(this);
    // The canvas may still report while it goes; nothing of ours must hear it.
    PDFKitViewRepresentable quiet;
    quiet.container = &container_;
    *description_ = quiet;
    coordinator_->setDescription(*description_);
    delete canvas_;
    canvas_ = nullptr;
}

void PDFCanvasWrapper::updateView() {
    // Leaving text mode (or switching documents) ends an open entry, keeping its text.
    if (isEditingText_ &&
        (!description_->isTextMode || !textPage_ || textPage_->document() != engineOf(session_))) {
        commitTextEntry();
    }
    description_->updateView(*canvas_, *coordinator_);
    placeTextEditor();
}

void PDFCanvasWrapper::storeDescription() {
    coordinator_->setDescription(*description_);
}

void PDFCanvasWrapper::setSession(std::shared_ptr<TabSession> session) {
    if (session == session_) {
        return;
    }
    commitTextEntry();
    clearSelection();
    session_ = std::move(session);
    dragPage_.reset();
    pendingRegion_.reset();
}

void PDFCanvasWrapper::setHighlightManager(std::shared_ptr<BacklinkHighlightManager> manager) {
    highlightManager_ = std::move(manager);
}

void PDFCanvasWrapper::setActiveTool(HighlightTool tool) {
    activeTool_ = tool;
    palette_->setActiveTool(tool);
    placeFloating();
    if (onActiveToolChanged) {
        onActiveToolChanged(tool);
    }
    // A region dragged out before any tool was chosen takes the tool chosen right after.
    if (pendingRegion_ && tool != HighlightTool::none) {
        const Rect region = *pendingRegion_;
        pendingRegion_.reset();
        regionDragged(region);
    }
}

Point PDFCanvasWrapper::anchorAbove(const Rect& rect) {
    return Point{rect.midX(), std::max(rect.minY() - kAnchorRise, kAnchorRise)};
}

Rect PDFCanvasWrapper::flipped(const Rect& canvasRect) const {
    const Rect r = canvasRect.standardized();
    return Rect{r.minX(), height() - r.maxY(), r.width, r.height};
}

void PDFCanvasWrapper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    canvas_->setGeometry(rect());
    dragLayer_->setGeometry(rect());
    placeFloating();
    placeTextEditor();
}

bool PDFCanvasWrapper::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        pressEndedEntry_ = isEditingText_ || std::exchange(focusTakenByMouse_, false);
        commitTextEntry();
    }
    return QWidget::eventFilter(watched, event);
}

// ---- the canvas's events ----

void PDFCanvasWrapper::selectAnnotation(const AnnotationRecord& record, Rect canvasRect) {
    if (description_->isTextMode || description_->isShapeMode) {
        return;
    }
    AnnotationRecord chosen = record;
    // The tab's own record of this annotation keeps its identity, so a later change
    // replaces that record instead of adding a second one.
    if (session_) {
        for (const auto& known : session_->annotations()) {
            if (known.pdfAnnotationRef && known.pdfAnnotationRef == record.pdfAnnotationRef) {
                chosen.id = known.id;
                chosen.appearance = known.appearance;
                break;
            }
        }
    }
    geometry_.screenRect = geometry_.initialScreenRect = flipped(canvasRect);
    geometry_.initialBounds = chosen.bounds;
    selected_ = chosen;
    pendingRegion_.reset();
    // The palette comes with the selection, so its colours are at hand at once.
    palettePosition_ = anchorAbove(geometry_.screenRect);
    showCopyPopover_ = false;
    if (chosen.content && !chosen.content->empty()) {
        popoverText_ = *chosen.content;
        popoverPosition_ = anchorAbove(geometry_.screenRect);
        showCopyPopover_ = true;
    }
    rebuildOverlay();
    placeFloating();
}

void PDFCanvasWrapper::textSelected(const pdfkit::Selection& selection) {
    if (activeTool_ != HighlightTool::text || !session_) {
        return;
    }
    const auto pages = selection.pages();
    if (pages.empty()) {
        return;
    }
    const auto& page = pages.front();
    const Rect bounds = selection.bounds(*page);
    if (bounds.isEmpty()) {
        return;
    }
    const Color colour = SystemColors::blue;
    auto annotation = pdfkit::Annotation::create(bounds, "Highlight");
    annotation->setColor(colour);
    AnnotationAppearance look = AnnotationAppearance::defaultHighlight();
    look.color = colour;
    AnnotationRecord added(Uuid::random(), page->index(), AnnotationType::highlight, bounds,
                           std::nullopt, look, annotation);
    record(std::make_shared<PageMarkupCommand>(session_->document, page,
                                               std::vector<std::shared_ptr<pdfkit::Annotation>>{},
                                               std::vector<AnnotationRecord>{added}, session_));
    canvas_->pdfView()->clearSelection();
    refreshHighlights();
    palettePosition_ = anchorAbove(flipped(canvas_->pageRectToCanvas(bounds, *page)));
    placeFloating();
}

void PDFCanvasWrapper::dragStarted(Point topLeft) {
    optionDragRect_ = Rect{};
    shapeDragRect_ = Rect{};
    pendingRegion_.reset();
    auto* view = canvas_->pdfView();
    dragPage_ = view->pageUnder(Point{topLeft.x, view->bounds().height - topLeft.y});
    placeFloating();
}

std::shared_ptr<pdfkit::Page> PDFCanvasWrapper::dragTargetPage() const {
    auto engine = engineOf(session_);
    if (!engine) {
        return nullptr;
    }
    // The drag's rectangle is in the space of the page it started on, which in the
    // continuous layouts need not be the current page.
    if (dragPage_ && dragPage_->document() == engine) {
        return dragPage_;
    }
    if (auto page = engine->page(session_->currentPage())) {
        return page;
    }
    return engine->page(0);
}

void PDFCanvasWrapper::regionDragged(const Rect& pageRect) {
    optionDragRect_ = Rect{};
    currentPdfDragRect_ = pageRect;
    placeFloating();
    auto page = dragTargetPage();
    if (!page) {
        return;
    }
    const Rect region = pageRect.standardized();
    std::vector<std::shared_ptr<pdfkit::Annotation>> removed;
    for (const auto& annotation : page->annotations()) {
        if (annotation->type() == "Highlight" && annotation->bounds().intersects(region)) {
            removed.push_back(annotation);
        }
    }
    std::vector<AnnotationRecord> added;
    if (auto colour = highlightToolColor(activeTool_)) {
        auto annotation = pdfkit::Annotation::create(region, "Highlight");
        annotation->setColor(*colour);
        AnnotationAppearance look = AnnotationAppearance::defaultHighlight();
        look.color = *colour;
        added.emplace_back(Uuid::random(), page->index(), AnnotationType::highlight, region,
                           std::nullopt, look, annotation);
    } else {
        pendingRegion_ = pageRect;
    }
    if (removed.empty() && added.empty()) {
        return;
    }
    record(std::make_shared<PageMarkupCommand>(session_->document, page, std::move(removed), added,
                                               session_));
    refreshHighlights();
    if (!added.empty()) {
        mainQueue().post([] { postCanvasNotification(kShowHighlightSidebar); });
    }
}

void PDFCanvasWrapper::optionDragChanged(const Rect& viewRect) {
    if (description_->isShapeMode) {
        return;
    }
    optionDragRect_ = flipped(canvas_->viewRectToCanvas(viewRect));
    palettePosition_ = anchorAbove(optionDragRect_);
    placeFloating();
}

void PDFCanvasWrapper::pageChanged(int index) {
    // The entry keeps its own page, so a page change leaves it be; only the selection goes.
    if (onPageChange) {
        onPageChange(index);
    }
    clearing();
    hidePaletteAndPopover();
}

void PDFCanvasWrapper::scrolled(const Rect& canvasRect) {
    geometry_.screenRect = geometry_.initialScreenRect = flipped(canvasRect);
    if (selected_) {
        palettePosition_ = anchorAbove(geometry_.screenRect);
        popoverPosition_ = *palettePosition_;
    }
    if (overlay_) {
        overlay_->follow();
    }
    placeFloating();
}

void PDFCanvasWrapper::shapeDragChanged(const Rect& viewRect) {
    shapeDragRect_ = flipped(canvas_->viewRectToCanvas(viewRect));
    placeFloating();
}

void PDFCanvasWrapper::shapeDragged(const Rect& pageRect) {
    shapeDragRect_ = Rect{};
    placeFloating();
    auto page = dragTargetPage();
    const Rect bounds = pageRect.standardized();
    if (!page || !container_.activePDFView() || !(bounds.width > 5 && bounds.height > 5)) {
        return;
    }
    auto annotation = pdfkit::Annotation::create(bounds, "Square");
    // A red outline and no fill: a PDF fill has no alpha of its own, so the faint fill
    // asked for would be written opaque and hide the page under the shape.
    annotation->setColor(SystemColors::red);
    AnnotationAppearance look = AnnotationAppearance::defaultShape();
    look.interiorColor.reset();
    AnnotationRecord added(Uuid::random(), page->index(), AnnotationType::square, bounds,
                           std::string("Shape"), look, annotation);
    record(std::make_shared<PageMarkupCommand>(session_->document, page,
                                               std::vector<std::shared_ptr<pdfkit::Annotation>>{},
                                               std::vector<AnnotationRecord>{added}, session_));
    refreshHighlights();
}

void PDFCanvasWrapper::deleteAnnotation(std::shared_ptr<pdfkit::Annotation> annotation,
                                        std::shared_ptr<pdfkit::Page> page) {
    if (onDeleteAnnotation) {
        onDeleteAnnotation(annotation, page);
    } else if (session_ && annotation && page) {
        std::optional<AnnotationRecord> target;
        for (const auto& known : session_->annotations()) {
            if (known.pdfAnnotationRef == annotation) {
                target = known;
                break;
            }
        }
        if (!target) {
            target.emplace(Uuid::random(), page->index(), canvasAnnotationType(annotation->type()),
                           annotation->bounds(), annotation->contents(), std::nullopt, annotation);
        }
        record(std::make_shared<DeleteAnnotationCommand>(session_->document, *target,
                                                         container_.annotationService(), session_));
    }
    // The canvas forgets it too: a second Delete must not fall back to another
    // annotation with the same bounds.
    clearSelection();
    refreshHighlights();
}

void PDFCanvasWrapper::backgroundTapped(Point viewPoint) {
    if (std::exchange(pressEndedEntry_, false)) {
        return; // this click only finished the entry that was open
    }
    if (selected_ || palettePosition_) {
        clearSelection();
    }
    if (description_->isTextMode && !description_->isShapeMode) {
        beginTextEntry(viewPoint);
    }
}

// ---- free text ----

void PDFCanvasWrapper::setTextFontSize(double points) {
    if (std::isfinite(points) && points > 0) {
        textFontSize_ = points;
        placeTextEditor();
    }
}

void PDFCanvasWrapper::setTextColor(const Color& colour) {
    textColor_ = colour.withAlpha(1);
    placeTextEditor();
}

void PDFCanvasWrapper::beginTextEntry(Point viewPoint) {
    commitTextEntry();
    auto* view = canvas_->pdfView();
    auto engine = engineOf(session_);
    auto page = engine ? view->pageForPoint(viewPoint, false) : nullptr;
    if (!page || page->document() != engine) {
        return;
    }
    // The first line's middle where the click was, as a caret would sit.
    const Point at = view->convertPointToPage(viewPoint, *page);
    textPage_ = page;
    textPageOrigin_ = Point{at.x, at.y + FreeTextEditor::kLineHeight * textFontSize_ / 2};
    isEditingText_ = true;
    textEditor_->clear();
    textInput_.clear();
    placeTextEditor();
    textEditor_->show();
    textEditor_->raise();
    textEditor_->setFocus(Qt::MouseFocusReason);
}

void PDFCanvasWrapper::commitTextEntry() {
    finishTextEntry(true);
}

void PDFCanvasWrapper::cancelTextEntry() {
    finishTextEntry(false);
}

void PDFCanvasWrapper::finishTextEntry(bool keep) {
    if (!isEditingText_) {
        return;
    }
    // Off first: hiding the editor takes its focus, which reports a commit again.
    isEditingText_ = false;
    const std::string text = trimmingWhitespaceAndNewlines(textInput_);
    auto page = std::exchange(textPage_, nullptr);
    const bool hadFocus = textEditor_->hasFocus();
    textEditor_->hide();
    textEditor_->clear();
    textInput_.clear();
    if (hadFocus) {
        canvas_->pdfView()->setFocus(Qt::OtherFocusReason);
    }
    auto engine = engineOf(session_);
    if (!keep || text.empty() || !page || page->document() != engine) {
        return;
    }
    AnnotationAppearance look = AnnotationAppearance::defaultText();
    look.color = textColor_;
    look.fontSize = textFontSize_;
    const Rect bounds = freeTextBox(text, textFontSize_, textPageOrigin_);
    AnnotationRecord added(Uuid::random(), page->index(), AnnotationType::freeText, bounds, text,
                           look);
    record(std::make_shared<AddAnnotationCommand>(session_->document, added,
                                                  container_.annotationService(), session_));
}

void PDFCanvasWrapper::placeTextEditor() {
    if (!isEditingText_ || !textPage_) {
        textEditor_->hide();
        return;
    }
    // One em below the entry's corner, on screen: where it sits and at what scale.
    const double em = textFontSize_;
    const Rect probe{textPageOrigin_.x, textPageOrigin_.y - em, em, em};
    const Rect onScreen = flipped(canvas_->pageRectToCanvas(probe, *textPage_));
    const double scale = onScreen.width / em;
    textEditor_->setTextStyle(em * scale, toQColor(textColor_));
    const QPointF corner = QPointF(onScreen.minX(), onScreen.minY()) - textEditor_->textBoxOffset();
    textEditor_->move(corner.toPoint());
    textPosition_ = Point{double(textEditor_->x()), double(textEditor_->y())};
}

// ---- selection ----

void PDFCanvasWrapper::clearing() {
    selected_.reset();
    geometry_ = SelectionGeometry{};
    showCopyPopover_ = false;
    canvas_->clearSelection();
    rebuildOverlay();
}

void PDFCanvasWrapper::hidePaletteAndPopover() {
    palettePosition_.reset();
    showCopyPopover_ = false;
    placeFloating();
}

void PDFCanvasWrapper::clearSelection() {
    clearing();
    pendingRegion_.reset();
    hidePaletteAndPopover();
}

void PDFCanvasWrapper::rebuildOverlay() {
    if (overlay_) {
        // It may be the one calling us, from its own mouse handler.
        overlay_->hide();
        overlay_->deleteLater();
        overlay_ = nullptr;
    }
    if (!selected_) {
        return;
    }
    overlay_ = new AnnotationOverlay(container_, session_, *selected_, geometry_, *canvas_, this);
    overlay_->onFrameChanged = [this] { placeFloating(); };
    overlay_->onResized = [this](const AnnotationRecord& resized) {
        if (selected_ && selected_->id == resized.id) {
            selected_ = resized;
            geometry_.initialBounds = resized.bounds;
            geometry_.initialScreenRect = geometry_.screenRect;
        }
    };
    overlay_->onClear = [this] { clearSelection(); };
    overlay_->show();
    overlay_->raise();
    palette_->raise();
    popover_->raise();
}

void PDFCanvasWrapper::recolourSelection(const Color& colour) {
    if (!selected_ || !session_) {
        return;
    }
    auto engine = engineOf(session_);
    auto page = engine ? engine->page(selected_->pageIndex) : nullptr;
    const auto annotation = selected_->pdfAnnotationRef;
    if (!page || !isOnPage(*page, annotation)) {
        return;
    }
    annotation->setColor(colour);
    // Only a fill that is there already takes the colour (opaque, as PDF fills are); a
    // new one would cover the page under the annotation.
    if (annotation->interiorColor()) {
        annotation->setInteriorColor(colour.withAlpha(0.5));
    }
    selected_->appearance.color = colour;
    selected_->appearance.interiorColor = colour.withAlpha(0.5);
    const AnnotationRecord changed = *selected_;
    session_->annotations.mutate(
        [&](std::vector<AnnotationRecord>& list) { upsertRecord(list, changed); });
    refreshHighlights();
    canvas_->pdfView()->annotationsChanged(page->index());
    auto document = session_->document;
    document->markDirty();
    // Written at once, as a whole file replaced atomically; a failed write is said, and
    // the document stays dirty so a later save can still keep the change.
    try {
        container_.bridge()->saveAnnotations(*document);
    } catch (const std::exception& error) {
        if (const auto& ui = container_.userInteraction()) {
            ui->showAlert("The new colour could not be saved",
                          "\u201c" + document->name +
                              "\u201d could not be written: " + error.what() +
                              "\nThe colour stays on screen; save the document to try again.",
                          AlertStyle::warning);
        }
    }
}

// ---- edits and undo ----

void PDFCanvasWrapper::record(std::shared_ptr<UndoableCommand> command) {
    container_.undoManager()->record(std::move(command));
}

void PDFCanvasWrapper::refreshHighlights() {
    if (!highlightManager_ || !session_) {
        return;
    }
    std::weak_ptr<BacklinkHighlightManager> manager = highlightManager_;
    std::weak_ptr<PDFDocument> document = session_->document;
    mainQueue().post([manager, document] {
        auto m = manager.lock();
        auto d = document.lock();
        if (m && d) {
            m->refreshHighlights(*d);
        }
    });
}

void PDFCanvasWrapper::commandApplied(const std::shared_ptr<UndoableCommand>& command) {
    std::shared_ptr<PDFDocument> document;
    std::shared_ptr<pdfkit::Document> engine;
    int pageIndex = -1;
    if (auto* add = dynamic_cast<AddAnnotationCommand*>(command.get())) {
        document = add->document();
        pageIndex = add->record().pageIndex;
    } else if (auto* remove = dynamic_cast<DeleteAnnotationCommand*>(command.get())) {
        document = remove->document();
        pageIndex = remove->record().pageIndex;
    } else if (auto* markup = dynamic_cast<PageMarkupCommand*>(command.get())) {
        document = markup->document();
        pageIndex = markup->page() ? markup->page()->index() : -1;
    } else if (auto* update = dynamic_cast<UpdateAnnotationCommand*>(command.get())) {
        if (update->page()) {
            engine = update->page()->document();
            pageIndex = update->page()->index();
        }
        // The tab's record follows the annotation's bounds both ways.
        if (session_ && engine && engineOf(session_) == engine && update->annotation()) {
            document = session_->document;
            const Rect bounds = update->annotation()->bounds();
            session_->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
                for (auto& r : list) {
                    if (r.pdfAnnotationRef == update->annotation()) {
                        r.bounds = bounds;
                    }
                }
            });
        }
    }
    if (document) {
        engine = PDFKitBridge::engineDocument(*document);
        // Anything done or undone leaves the document unlike its file.
        document->markDirty();
    }
    auto* view = canvas_->pdfView();
    if (engine && view->document() == engine && pageIndex >= 0) {
        view->annotationsChanged(pageIndex);
    }
    followSelection();
}

void PDFCanvasWrapper::followSelection() {
    if (!selected_) {
        return;
    }
    auto engine = engineOf(session_);
    auto page = engine ? engine->page(selected_->pageIndex) : nullptr;
    const auto annotation = selected_->pdfAnnotationRef;
    if (!page || !isOnPage(*page, annotation)) {
        clearSelection();
        return;
    }
    if (annotation->bounds() == selected_->bounds) {
        return;
    }
    selected_->bounds = annotation->bounds();
    canvas_->setCurrentSelection(annotation, page);
    geometry_.initialBounds = selected_->bounds;
    geometry_.screenRect = geometry_.initialScreenRect =
        flipped(canvas_->pageRectToCanvas(selected_->bounds, *page));
    palettePosition_ = anchorAbove(geometry_.screenRect);
    popoverPosition_ = *palettePosition_;
    rebuildOverlay();
    placeFloating();
}

// ---- floating pieces ----

void PDFCanvasWrapper::placeFloating() {
    dragLayer_->setOptionRect(optionDragRect_, highlightToolColor(activeTool_));
    dragLayer_->setShapeRect(shapeDragRect_);
    if (palettePosition_) {
        palette_->adjustSize();
        const QSize size = palette_->size();
        // Centred on its position, and kept inside the view.
        const int x = clampInto(int(std::lround(palettePosition_->x - size.width() / 2.0)),
                                kEdgeRoom, width() - size.width() - kEdgeRoom);
        const int y = clampInto(int(std::lround(palettePosition_->y - size.height() / 2.0)),
                                kEdgeRoom, height() - size.height() - kEdgeRoom);
        palette_->move(x, y);
        palette_->show();
        palette_->raise();
    } else {
        palette_->hide();
    }
    placePopover();
}

void PDFCanvasWrapper::placePopover() {
    if (!showCopyPopover_ || !selected_) {
        popover_->hide();
        return;
    }
    popover_->setText(QString::fromStdString(popoverText_));
    popover_->adjustSize();
    const QSize size = popover_->size();
    // Above its anchor, clear of the palette; where there is no room above, below the
    // annotation.
    int bottom = int(std::lround(popoverPosition_.y));
    if (palette_->isVisible()) {
        bottom = std::min(bottom, palette_->y()) - kPopoverGap;
    }
    int top = bottom - size.height();
    if (top < kEdgeRoom) {
        top = int(std::lround(geometry_.screenRect.maxY())) + kPopoverGap;
        if (palette_->isVisible() &&
            palette_->geometry().intersects(QRect(0, top, width(), size.height()))) {
            top = palette_->geometry().bottom() + kPopoverGap;
        }
    }
    top = clampInto(top, kEdgeRoom, height() - size.height() - kEdgeRoom);
    const int left = clampInto(int(std::lround(popoverPosition_.x - size.width() / 2.0)), kEdgeRoom,
                               width() - size.width() - kEdgeRoom);
    popover_->move(left, top);
    popover_->show();
    popover_->raise();
}

} // namespace ombrix::ui
