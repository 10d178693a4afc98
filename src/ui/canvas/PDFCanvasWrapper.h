#pragma once

#include "annotations/AnnotationRecord.h"
#include "annotations/HighlightColor.h"
#include "core/Cancellable.h"
#include "core/Geometry.h"
#include "ui/canvas/AnnotationOverlay.h"
#include "ui/canvas/PDFKitViewRepresentable.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ombrix {
class AppContainer;
class BacklinkHighlightManager;
class TabSession;
class UndoableCommand;
} // namespace ombrix

namespace ombrix::ui {

class DragRectangleLayer;
class FreeTextEditor;
class TextPopover;
class ToolPalette;

// The page canvas as the viewer shows it, with the markup made on it: turns the canvas's
// events into annotation work. It keeps the selected annotation with its frame and resize
// handles, draws the live rectangles of Alt and shape drags, makes region highlights in
// the active tool's colour (replacing the highlights under them), highlights of selected
// text with the text tool, and red square shapes, places the floating tool palette, and
// shows the text of a selected annotation in a popover. In text-placing mode a click on
// empty page area opens an inline editor there; what is typed becomes a free text
// annotation. Every edit it makes is recorded for undo and marks the document dirty; a
// recolour is written to the file at once.
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

    // Recolours the selected annotation and writes the document to its file; a failed
    // write is reported in an alert and the document stays dirty.
    void recolourSelection(const Color& colour);
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
    std::unique_ptr<PDFKitViewRepresentable> description_;
    std::unique_ptr<Coordinator> coordinator_;
    PDFCanvasView* canvas_ = nullptr;
    DragRectangleLayer* dragLayer_ = nullptr;
    QPointer<AnnotationOverlay> overlay_;
    ToolPalette* palette_ = nullptr;
    TextPopover* popover_ = nullptr;

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
    std::shared_ptr<pdfkit::Page> dragPage_;
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
