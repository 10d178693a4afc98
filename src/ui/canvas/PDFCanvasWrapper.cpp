#include "ui/canvas/PDFCanvasWrapper.h"

#include "annotations/AnnotationCommands.h"
#include "annotations/AppUndoManager.h"
#include "annotations/EditAnnotationsCommand.h"
#include "annotations/MarkupController.h"
#include "annotations/PageMarkupCommand.h"
#include "app/AppContainer.h"
#include "core/Executor.h"
#include "core/UnicodeText.h"
#include "core/UserInteraction.h"
#include "document/PDFKitBridge.h"
#include "extraction/BacklinkHighlightManager.h"
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"
#include "ui/canvas/CanvasNotifications.h"
#include "ui/canvas/DragRectangleLayer.h"
#include "ui/canvas/FreeTextEditor.h"
#include "ui/canvas/SelectionPopup.h"
#include "ui/canvas/TextPopover.h"
#include "ui/canvas/ToolPalette.h"
#include "ui/platform/QtColor.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFont>
#include <QFontMetricsF>
#include <QMenu>
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
    : QWidget(parent), container_(container), markup_(container.markupController()),
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

    selectionPopup_ = new SelectionPopup(this);
    selectionPopup_->hide();
    selectionPopup_->onMark = [this](AnnotationType type, const HighlightColor& colour) {
        markTextSelection(type, colour.nsColor);
    };
    selectionPopup_->onAddNote = [this] { addNoteToTextSelection(); };

    popover_ = new TextPopover(this);
    popover_->hide();
    popover_->onSave = [this](const QString& text) { saveSelectedText(text.toStdString()); };
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
    connect(canvas_->pdfView(), &PDFView::scrolled, this, [this] {
        placeTextEditor();
        followTextSelection();
    });

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
    pendingRegion_.reset();
}

void PDFCanvasWrapper::setHighlightManager(std::shared_ptr<BacklinkHighlightManager> manager) {
    highlightManager_ = std::move(manager);
}

void PDFCanvasWrapper::setActiveTool(HighlightTool tool) {
    activeTool_ = tool;
    markup_->tool = tool;
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
        // A press elsewhere on the page ends the selection the popup was for.
        textSelection_.reset();
        selectionPopupPosition_.reset();
        selectionPopup_->hide();
    }
    if (event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        const QPoint local = mapFromGlobal(menuEvent->globalPos());
        if (QMenu* menu = contextMenuAt(Point{double(local.x()), double(local.y())})) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(menuEvent->globalPos());
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QMenu* PDFCanvasWrapper::contextMenuAt(Point wrapperPoint) {
    if (!session_) {
        return nullptr;
    }
    auto* view = canvas_->pdfView();
    const QPointF inView = view->viewport()->mapFrom(this, QPointF(wrapperPoint.x, wrapperPoint.y));
    const Point viewPoint = view->widgetToView(inView);
    auto page = view->pageForPoint(viewPoint, false);
    auto* menu = new QMenu(this);
    menu->setObjectName("pageContextMenu");
    std::shared_ptr<pdfkit::Annotation> hit;
    auto selection = view->currentSelection();
    bool onSelection = false;
    if (page && page->document() == engineOf(session_)) {
        const Point at = view->convertPointToPage(viewPoint, *page);
        // Text just selected over older markup is what the menu is for.
        if (selection && !selection->isEmpty()) {
            for (const Rect& line : selection->lineRects(*page)) {
                onSelection = onSelection || line.insetBy(-2, -2).contains(at);
            }
        }
        hit = onSelection ? nullptr : view->annotationAt(page->index(), at);
        if (hit &&
            (hit->subtype() == pdfkit::Subtype::link || hit->subtype() == pdfkit::Subtype::popup)) {
            hit.reset();
        }
    }
    auto addColours = [this](QMenu* into, const std::function<void(const Color&)>& chosen) {
        for (const auto& entry : HighlightColor::defaults()) {
            QAction* action = into->addAction(paletteSwatch(entry.nsColor, 14),
                                              QString::fromStdString(entry.name));
            action->setObjectName(QString::fromStdString("colour" + entry.name));
            const Color colour = entry.nsColor;
            connect(action, &QAction::triggered, this, [chosen, colour] { chosen(colour); });
        }
    };
    if (hit) {
        selectEngineAnnotation(hit, page);
        const bool textual =
            hit->subtype() == pdfkit::Subtype::text || hit->subtype() == pdfkit::Subtype::freeText;
        addColours(menu->addMenu(tr("Colour")),
                   [this](const Color& colour) { recolourSelection(colour); });
        connect(menu->addAction(textual ? tr("Edit Text…") : tr("Edit Comment…")),
                &QAction::triggered, this, [this] { beginTextEdit(); });
        QAction* copy = menu->addAction(tr("Copy Text"));
        const std::string text = annotationText(*hit, *page);
        copy->setEnabled(!text.empty());
        connect(copy, &QAction::triggered, this, [this, text] { copyText(text); });
        menu->addSeparator();
        connect(menu->addAction(tr("Delete")), &QAction::triggered, this,
                [this, hit, page] { deleteAnnotation(hit, page); });
    } else if (selection && !selection->isEmpty()) {
        textSelection_ = *selection;
        addColours(menu->addMenu(tr("Highlight")), [this](const Color& colour) {
            markTextSelection(AnnotationType::highlight, colour);
        });
        connect(menu->addAction(tr("Underline")), &QAction::triggered, this, [this] {
            markTextSelection(AnnotationType::underline, HighlightColor::defaults()[2].nsColor);
        });
        connect(menu->addAction(tr("Strike Out")), &QAction::triggered, this, [this] {
            markTextSelection(AnnotationType::strikeout, HighlightColor::defaults()[1].nsColor);
        });
        connect(menu->addAction(tr("Add Note")), &QAction::triggered, this,
                [this] { addNoteToTextSelection(); });
        menu->addSeparator();
        const std::string text = selection->string().value_or("");
        connect(menu->addAction(tr("Copy")), &QAction::triggered, this,
                [this, text] { copyText(text); });
    } else if (page && page->document() == engineOf(session_)) {
        const Point at = view->convertPointToPage(viewPoint, *page);
        connect(menu->addAction(tr("Add Note Here")), &QAction::triggered, this,
                [this, page, at] { addNoteAt(page, at); });
        connect(menu->addAction(tr("Add Text Here")), &QAction::triggered, this,
                [this, viewPoint] { beginTextEntry(viewPoint); });
    } else {
        delete menu;
        return nullptr;
    }
    return menu;
}

void PDFCanvasWrapper::addNoteAt(const std::shared_ptr<pdfkit::Page>& page, Point pagePoint) {
    if (!session_) {
        return;
    }
    auto note =
        markup_->addNote(session_, page, pagePoint, "", HighlightColor::defaults().front().nsColor);
    if (note) {
        selectEngineAnnotation(note, page);
        beginTextEdit();
    }
}

void PDFCanvasWrapper::addNoteToCurrentPage() {
    auto engine = engineOf(session_);
    if (!engine) {
        return;
    }
    auto* view = canvas_->pdfView();
    // Near the top left of what is shown of the current page.
    auto page = view->currentPage();
    if (!page || page->document() != engine) {
        page = engine->page(session_->currentPage());
    }
    if (!page) {
        return;
    }
    const Point corner = view->widgetToView(QPointF(24, 24));
    Point at = view->convertPointToPage(corner, *page);
    if (!page->cropBox().contains(at)) {
        const Rect box = page->cropBox();
        at = Point{box.minX() + 36, box.maxY() - 36};
    }
    addNoteAt(page, at);
}

bool PDFCanvasWrapper::highlightTextSelection(const Color& colour) {
    auto selection = canvas_->pdfView()->currentSelection();
    if (!selection || selection->isEmpty()) {
        return false;
    }
    textSelection_ = *selection;
    markTextSelection(AnnotationType::highlight, colour);
    return true;
}

std::string PDFCanvasWrapper::annotationText(const pdfkit::Annotation& annotation,
                                             const pdfkit::Page& page) const {
    if (auto selection = page.selection(annotation.bounds());
        selection && selection->string() && !selection->string()->empty() &&
        annotation.subtype() != pdfkit::Subtype::text &&
        annotation.subtype() != pdfkit::Subtype::freeText) {
        return *selection->string();
    }
    return annotation.contents().value_or("");
}

void PDFCanvasWrapper::copyText(const std::string& text) {
    if (text.empty()) {
        return;
    }
    if (const auto& ui = container_.userInteraction()) {
        ui->copyToClipboard(text);
    } else {
        QApplication::clipboard()->setText(QString::fromStdString(text));
    }
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
    if (!session_) {
        return;
    }
    const auto pages = selection.pages();
    if (pages.empty() || selection.bounds(*pages.front()).isEmpty()) {
        return;
    }
    textSelection_ = selection;
    const Rect onScreen =
        flipped(canvas_->pageRectToCanvas(selection.bounds(*pages.front()), *pages.front()));
    // The text tool marks at once, in its colour; otherwise the popup offers the choices.
    if (auto colour = highlightToolColor(activeTool_);
        colour && activeTool_ == HighlightTool::text) {
        markTextSelection(AnnotationType::highlight, *colour);
        palettePosition_ = anchorAbove(onScreen);
        placeFloating();
        return;
    }
    selectionPopupPosition_ = anchorAbove(onScreen);
    placeFloating();
}

void PDFCanvasWrapper::followTextSelection() {
    if (!textSelection_ || !selectionPopupPosition_) {
        return;
    }
    const auto pages = textSelection_->pages();
    if (pages.empty()) {
        return;
    }
    // The popup stays beside its selection as the page moves under it.
    const Rect onScreen =
        flipped(canvas_->pageRectToCanvas(textSelection_->bounds(*pages.front()), *pages.front()));
    selectionPopupPosition_ = anchorAbove(onScreen);
    placeFloating();
}

std::optional<pdfkit::Selection> PDFCanvasWrapper::takeTextSelection() {
    auto selection = std::exchange(textSelection_, std::nullopt);
    selectionPopupPosition_.reset();
    canvas_->pdfView()->clearSelection();
    placeFloating();
    return selection;
}

void PDFCanvasWrapper::markTextSelection(AnnotationType type, const Color& colour) {
    if (!session_ || !textSelection_) {
        return;
    }
    // Lines are drawn solid; a highlight is see-through on its own.
    const Color drawn = type == AnnotationType::highlight ? colour : colour.withAlpha(1);
    markup_->markSelection(session_, *takeTextSelection(), type, drawn);
}

void PDFCanvasWrapper::addNoteToTextSelection() {
    if (!session_ || !textSelection_) {
        return;
    }
    const auto made =
        markup_->markSelection(session_, *takeTextSelection(), AnnotationType::highlight,
                               HighlightColor::defaults().front().nsColor);
    // The note is the new highlight's comment: its editor opens at once.
    if (!made.empty()) {
        if (auto page = made.front()->page()) {
            selectEngineAnnotation(made.front(), page);
            beginTextEdit();
        }
    }
}

void PDFCanvasWrapper::dragStarted(Point) {
    optionDragRect_ = Rect{};
    shapeDragRect_ = Rect{};
    pendingRegion_.reset();
    textSelection_.reset();
    selectionPopupPosition_.reset();
    placeFloating();
}

std::shared_ptr<pdfkit::Page> PDFCanvasWrapper::dragTargetPage() const {
    auto engine = engineOf(session_);
    if (!engine) {
        return nullptr;
    }
    // The drag's rectangle is in the space of the page it started on, which in the
    // continuous layouts need not be the current page.
    const auto& dragged = canvas_->pdfView()->dragPage();
    if (dragged && dragged->document() == engine) {
        return dragged;
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
    if (!page || !session_) {
        return;
    }
    const auto colour = highlightToolColor(activeTool_);
    if (!colour) {
        // Nothing is touched until a tool says what the region is for.
        pendingRegion_ = pageRect;
        return;
    }
    auto made = markup_->highlightRegion(session_, page, pageRect, *colour);
    if (!made) {
        return;
    }
    // The new highlight is selected, so the palette's colours apply to it at once.
    selectEngineAnnotation(made, page);
    mainQueue().post([] { postCanvasNotification(kShowHighlightSidebar); });
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
    if (page && session_) {
        markup_->addShape(session_, page, pageRect);
    }
}

void PDFCanvasWrapper::deleteAnnotation(std::shared_ptr<pdfkit::Annotation> annotation,
                                        std::shared_ptr<pdfkit::Page> page) {
    if (onDeleteAnnotation) {
        onDeleteAnnotation(annotation, page);
    } else if (session_ && annotation && page) {
        markup_->remove(session_, {annotation});
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
    const Rect bounds = freeTextBox(text, textFontSize_, textPageOrigin_);
    markup_->addFreeText(session_, page, bounds, text, textColor_, textFontSize_);
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
    popover_->setEditing(false);
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
    if (!markup_->recolour(session_, {annotation}, colour)) {
        return;
    }
    if (auto look = annotation->color()) {
        selected_->appearance.color = *look;
    }
    selected_->appearance.interiorColor = annotation->interiorColor();
}

void PDFCanvasWrapper::selectEngineAnnotation(const std::shared_ptr<pdfkit::Annotation>& annotation,
                                              const std::shared_ptr<pdfkit::Page>& page) {
    if (!annotation || !page || !session_) {
        return;
    }
    std::optional<AnnotationRecord> known;
    for (const auto& r : session_->annotations()) {
        if (r.pdfAnnotationRef == annotation) {
            known = r;
            break;
        }
    }
    if (!known) {
        known.emplace(Uuid::random(), page->index(), canvasAnnotationType(annotation->type()),
                      annotation->bounds(), annotation->contents(), std::nullopt, annotation);
    }
    canvas_->setCurrentSelection(annotation, page);
    selectAnnotation(*known, canvas_->pageRectToCanvas(annotation->bounds(), *page));
    // A fresh highlight's popover would only repeat the page's text.
    showCopyPopover_ = false;
    placeFloating();
}

void PDFCanvasWrapper::beginTextEdit() {
    if (!selected_ || !selected_->pdfAnnotationRef) {
        return;
    }
    popoverText_ = selected_->pdfAnnotationRef->contents().value_or("");
    popoverPosition_ = anchorAbove(geometry_.screenRect);
    showCopyPopover_ = true;
    placeFloating();
    popover_->setEditing(true);
}

void PDFCanvasWrapper::saveSelectedText(const std::string& text) {
    popover_->setEditing(false);
    if (!selected_ || !session_ || !selected_->pdfAnnotationRef) {
        return;
    }
    const auto& annotation = selected_->pdfAnnotationRef;
    // Free text keeps its top-left corner and takes the size of its new lines.
    std::optional<Rect> box;
    if (annotation->subtype() == pdfkit::Subtype::freeText) {
        const Rect now = annotation->bounds();
        const double points = annotation->font() ? annotation->font()->size : textFontSize_;
        box =
            freeTextBox(trimmingWhitespaceAndNewlines(text), points, Point{now.minX(), now.maxY()});
    }
    if (markup_->setText(session_, annotation, text, box)) {
        selected_->content = selected_->pdfAnnotationRef->contents();
    }
    popoverText_ = selected_->content.value_or("");
    showCopyPopover_ = !popoverText_.empty();
    placePopover();
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
    CommandScope scope = command->scope();
    std::shared_ptr<pdfkit::Document> engine =
        scope.document ? PDFKitBridge::engineDocument(*scope.document) : nullptr;
    if (auto* update = dynamic_cast<UpdateAnnotationCommand*>(command.get())) {
        if (update->page()) {
            engine = update->page()->document();
            scope.pages = {update->page()->index()};
        }
        // The tab's record follows the annotation's bounds both ways.
        if (session_ && engine && engineOf(session_) == engine && update->annotation()) {
            const Rect bounds = update->annotation()->bounds();
            session_->annotations.mutate([&](std::vector<AnnotationRecord>& list) {
                for (auto& r : list) {
                    if (r.pdfAnnotationRef == update->annotation()) {
                        r.bounds = bounds;
                    }
                }
            });
            // Anything done or undone leaves the document unlike its file.
            session_->document->markDirty();
        }
    }
    auto* view = canvas_->pdfView();
    if (engine && view->document() == engine) {
        for (int pageIndex : scope.pages) {
            view->annotationsChanged(pageIndex);
        }
    }
    followSelection();
    // Edits in place (colour, text) keep the selection: its record follows them.
    if (selected_ && selected_->pdfAnnotationRef) {
        selected_->content = selected_->pdfAnnotationRef->contents();
        if (auto colour = selected_->pdfAnnotationRef->color()) {
            selected_->appearance.color = *colour;
        }
    }
    refreshHighlights();
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
    // With no tool yet the region is still drawn, in the colour it will most likely get.
    dragLayer_->setOptionRect(
        optionDragRect_,
        highlightToolColor(activeTool_).value_or(HighlightColor::defaults().front().nsColor));
    // Centred on its position, and kept inside the view.
    auto place = [this](QWidget* card, const std::optional<Point>& at) {
        if (!at) {
            card->hide();
            return;
        }
        card->adjustSize();
        const QSize size = card->size();
        const int x = clampInto(int(std::lround(at->x - size.width() / 2.0)), kEdgeRoom,
                                width() - size.width() - kEdgeRoom);
        const int y = clampInto(int(std::lround(at->y - size.height() / 2.0)), kEdgeRoom,
                                height() - size.height() - kEdgeRoom);
        card->move(x, y);
        card->show();
        card->raise();
    };
    place(selectionPopup_, textSelection_ ? selectionPopupPosition_ : std::nullopt);
    place(palette_, palettePosition_);
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
