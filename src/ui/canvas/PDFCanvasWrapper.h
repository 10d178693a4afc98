#pragma once

#include "annotations/AnnotationRecord.h"
#include "annotations/HighlightColor.h"
#include "core/Cancellable.h"
#include "core/Geometry.h"
#include "ui/canvas/AnnotationOverlay.h"
#include "ui/canvas/PDFKitViewRepresentable.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ombrix {
class AppContainer;
class BacklinkHighlightManager;
class MarkupController;
class TabSession;
class UndoableCommand;
} // namespace ombrix

namespace ombrix::ui {

class DragRectangleLayer;
class SelectionPopup;
class FreeTextEditor;
class TextPopover;
class ToolPalette;

// The page canvas as the viewer shows it, with the markup made on it: turns the canvas's
// events into annotation work. It keeps the selected annotation with its frame and resize
// handles, draws the live rectangles of Alt and shape drags, makes region highlights in
// the active tool's colour (replacing the highlights under them, keeping their comments),
// marks selected text from a popup beside the selection or the context menu, and makes
// red square shapes and sticky notes; places the floating tool palette, and shows the text
// of a selected annotation in a popover where it can be edited. In text-placing mode a
// click on empty page area opens an inline editor there; what is typed becomes a free text
// annotation. Every edit goes through the markup controller: one undoable step that marks
// the document dirty; nothing is written to the file but by a save.
//
// It watches the undo manager, so whatever undoes or redoes an edit (menu, toolbar,
// keys), the page is re-rendered and the frame follows or goes.
//
// Its own space has the origin at the top left; rectangles from the canvas (origin lower
// left) are flipped. GUI thread only; the container outlives it.
class PDFCanvasWrapper : public QWidget {
    Q_OBJECT
public:
    explicit PDFCanvasWrapper(AppContainer& container, QWidget* parent = nullptr);
    ~PDFCanvasWrapper() override;

    // What the canvas shows: the viewer sets document, page, zoom, modes and its own
    // closures (the page-change and scale ones), then calls updateView(). The event
    // closures are the wrapper's.
    PDFKitViewRepresentable& description() { return *description_; }
    void updateView();
    // Hands the description to the canvas's closures without touching the canvas.
    void storeDescription();
    PDFCanvasView* canvas() const { return canvas_; }

    // The viewer's own page-change work; the wrapper clears the selection after it.
    std::function<void(int)> onPageChange;
    // The delete action; none: the annotation is deleted through the undo manager.
    std::function<void(std::shared_ptr<pdfkit::Annotation>, std::shared_ptr<pdfkit::Page>)>
        onDeleteAnnotation;

    void setSession(std::shared_ptr<TabSession> session);
    const std::shared_ptr<TabSession>& session() const { return session_; }
    // The highlight list rebuilt after each edit; none: nothing to rebuild.
    void setHighlightManager(std::shared_ptr<BacklinkHighlightManager> manager);

    HighlightTool activeTool() const { return activeTool_; }
    void setActiveTool(HighlightTool tool);
    std::function<void(HighlightTool)> onActiveToolChanged;

    // Recolours the selected annotation, one undoable step; the file is written only by a
    // save.
    void recolourSelection(const Color& colour);
    // Highlights the page view's text selection; false when there is none.
    bool highlightTextSelection(const Color& colour);
    // A new sticky note near the top left of what is shown of the current page, its text
    // editor open.
    void addNoteToCurrentPage();
    void addNoteAt(const std::shared_ptr<pdfkit::Page>& page, Point pagePoint);
    // Opens the selected annotation's text (a comment, a note's or free text's text) for
    // editing in its popover; saving it is one undoable step.
    void beginTextEdit();
    // The page's context menu at a point of the wrapper: for an annotation there, its colour,
    // text, copy and delete; for a text selection, the markup choices; else new notes and
    // text. Not yet shown; null without a document.
    QMenu* contextMenuAt(Point wrapperPoint);
    // The overlay's clear action: no selection, no palette, no popover.
    void clearSelection();

    // Free text. An entry opens at a view point on a page (the canvas's background tap
    // in text mode does this); committing turns its text, trimmed, into a free text
    // annotation through the undo manager; blank text or a cancel makes nothing.
    void beginTextEntry(Point viewPoint);
    void commitTextEntry();
    void cancelTextEntry();
    bool isEditingText() const { return isEditingText_; }
    const std::string& textInput() const { return textInput_; }
    // The entry's top-left corner in the wrapper's space.
    const Point& textPosition() const { return textPosition_; }
    double textFontSize() const { return textFontSize_; }
    void setTextFontSize(double points);
    const Color& textColor() const { return textColor_; }
    void setTextColor(const Color& colour);
    FreeTextEditor* textEditor() const { return textEditor_; }

    // State, for the views around it and for tests.
    const std::optional<AnnotationRecord>& selectedAnnotation() const { return selected_; }
    const SelectionGeometry& selectionGeometry() const { return geometry_; }
    const Rect& optionDragRect() const { return optionDragRect_; }
    const Rect& shapeDragRect() const { return shapeDragRect_; }
    const std::optional<Point>& palettePosition() const { return palettePosition_; }
    bool showsCopyPopover() const { return showCopyPopover_; }
    const std::string& popoverText() const { return popoverText_; }
    const Point& popoverPosition() const { return popoverPosition_; }
    AnnotationOverlay* overlay() const { return overlay_; }
    ToolPalette* toolPalette() const { return palette_; }
    TextPopover* textPopover() const { return popover_; }
    SelectionPopup* selectionPopup() const { return selectionPopup_; }
    DragRectangleLayer* dragLayer() const { return dragLayer_; }

    // (mid x, max(min y − 40, 40)): where the palette and the popover sit above a rectangle.
    static Point anchorAbove(const Rect& rect);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Canvas space (origin lower left) to the wrapper's (origin top left).
    Rect flipped(const Rect& canvasRect) const;

    // Handlers of the canvas's events.
    void selectAnnotation(const AnnotationRecord& record, Rect canvasRect);
    void textSelected(const pdfkit::Selection& selection);
    // The selection the popup was for, with the popup and the view's selection gone.
    std::optional<pdfkit::Selection> takeTextSelection();
    void markTextSelection(AnnotationType type, const Color& colour);
    void followTextSelection();
    void addNoteToTextSelection();
    void selectEngineAnnotation(const std::shared_ptr<pdfkit::Annotation>& annotation,
                                const std::shared_ptr<pdfkit::Page>& page);
    void saveSelectedText(const std::string& text);
    std::string annotationText(const pdfkit::Annotation& annotation,
                               const pdfkit::Page& page) const;
    void copyText(const std::string& text);
    void dragStarted(Point topLeft);
    void regionDragged(const Rect& pageRect);
    void optionDragChanged(const Rect& viewRect);
    void pageChanged(int index);
    void scrolled(const Rect& canvasRect);
    void shapeDragChanged(const Rect& viewRect);
    void shapeDragged(const Rect& pageRect);
    void deleteAnnotation(std::shared_ptr<pdfkit::Annotation> annotation,
                          std::shared_ptr<pdfkit::Page> page);
    void backgroundTapped(Point viewPoint);
    void finishTextEntry(bool keep);
    void placeTextEditor();

    void clearing();
    void hidePaletteAndPopover();
    // The page a drag acted on: the one under its start, else the tab's current page,
    // else the first.
    std::shared_ptr<pdfkit::Page> dragTargetPage() const;
    void record(std::shared_ptr<UndoableCommand> command);
    void refreshHighlights();
    // After any command ran or was undone: re-render its page, keep the frame in step.
    void commandApplied(const std::shared_ptr<UndoableCommand>& command);
    void followSelection();
    void rebuildOverlay();
    void placeFloating();
    void placePopover();

    AppContainer& container_;
    std::shared_ptr<MarkupController> markup_;
    std::unique_ptr<PDFKitViewRepresentable> description_;
    std::unique_ptr<Coordinator> coordinator_;
    PDFCanvasView* canvas_ = nullptr;
    DragRectangleLayer* dragLayer_ = nullptr;
    QPointer<AnnotationOverlay> overlay_;
    ToolPalette* palette_ = nullptr;
    TextPopover* popover_ = nullptr;
    SelectionPopup* selectionPopup_ = nullptr;
    // The text selection the popup is for, and where it sits.
    std::optional<pdfkit::Selection> textSelection_;
    std::optional<Point> selectionPopupPosition_;

    std::shared_ptr<TabSession> session_;
    std::shared_ptr<BacklinkHighlightManager> highlightManager_;
    HighlightTool activeTool_ = HighlightTool::none;

    std::optional<AnnotationRecord> selected_;
    SelectionGeometry geometry_;
    Rect optionDragRect_;
    Rect shapeDragRect_;
    std::optional<Rect> currentPdfDragRect_;
    // A region dragged out with no tool, waiting for one.
    std::optional<Rect> pendingRegion_;
    std::optional<Point> palettePosition_;
    bool showCopyPopover_ = false;
    std::string popoverText_;
    Point popoverPosition_;

    bool isEditingText_ = false;
    std::string textInput_;
    Point textPosition_;
    double textFontSize_ = 14;
    Color textColor_ = SystemColors::black;
    // Where the entry sits: its page and its top-left corner there.
    std::shared_ptr<pdfkit::Page> textPage_;
    Point textPageOrigin_;
    FreeTextEditor* textEditor_ = nullptr;
    // The press that ended an entry must not open another where it is released. The
    // focus may leave the entry before the press reaches the page: noted until then.
    bool pressEndedEntry_ = false;
    bool focusTakenByMouse_ = false;

    std::size_t undoCount_ = 0;
    std::size_t redoCount_ = 0;
    std::vector<Cancellable> undoObservations_;
};

} // namespace ombrix::ui
