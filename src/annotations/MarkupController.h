#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationType.h"
#include "annotations/HighlightColor.h"
#include "core/Color.h"
#include "core/Geometry.h"
#include "core/Signal.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

class AppUndoManager;
class MarkedDocument;
class UserInteraction;

namespace pdfkit {
class Annotation;
class Page;
class Selection;
} // namespace pdfkit

// The rules of markup, below every view: the canvas, the sidebar, the menus and the command
// line turn their gestures into these calls, and each call that changes anything records
// exactly one undoable step and marks the document dirty. Nothing here writes a file: the
// document reaches its file only through a save the user asks for.
//
// Calls that change nothing (a drag too small, a page that is gone, a colour already there)
// record nothing, so an undo never lands on a step that did nothing. Main thread only.
class MarkupController {
public:
    // Region drags smaller than this on either side are taken as clicks.
    static constexpr double kMinRegionSide = 3;
    // Shapes must be wider and taller than this.
    static constexpr double kMinShapeSide = 5;
    // A sticky note's icon on the page, points.
    static constexpr double kNoteSize = 20;

    // Refusals (a document whose permissions forbid annotating) are told through
    // `userInteraction`; null: they are only refused.
    explicit MarkupController(std::shared_ptr<AppUndoManager> undoManager,
                              std::shared_ptr<UserInteraction> userInteraction = nullptr);

    // The tool region drags highlight with; none: a region waits for a tool.
    Observable<HighlightTool> tool{HighlightTool::none};

    // The palette colour a tool draws in (none for no tool).
    static std::optional<HighlightColor> toolColour(HighlightTool tool);
    // The palette entry nearest to a colour (alpha aside): what a chip of the palette
    // selects and what a colour read from a file counts as.
    static const HighlightColor& nearestPaletteEntry(const Color& colour);

    // A highlight over the rectangle in the colour, replacing the highlights half or more
    // under it; their comments are kept, joined into the new highlight's comment. The new
    // annotation, or nullptr when nothing was made.
    std::shared_ptr<pdfkit::Annotation> highlightRegion(const std::shared_ptr<MarkedDocument>& tab,
                                                        const std::shared_ptr<pdfkit::Page>& page,
                                                        const Rect& pageRect, const Color& colour);

    // A mark of a markup type over the rectangle: a highlight replaces the highlights under
    // it as above, others are added beside what is there. Without comments to keep, the
    // contents are the page text under it when `contentsFromText`.
    std::shared_ptr<pdfkit::Annotation> markRegion(const std::shared_ptr<MarkedDocument>& tab,
                                                   const std::shared_ptr<pdfkit::Page>& page,
                                                   const Rect& pageRect, AnnotationType type,
                                                   const Color& colour, bool contentsFromText);

    // Text markup (highlight, underline, strike-out) over the selected lines of every page
    // of the selection, one annotation per page, one step. The annotations made.
    std::vector<std::shared_ptr<pdfkit::Annotation>>
    markSelection(const std::shared_ptr<MarkedDocument>& tab, const pdfkit::Selection& selection,
                  AnnotationType type, const Color& colour);

    // A red outline square (no fill), when larger than the minimum shape.
    std::shared_ptr<pdfkit::Annotation> addShape(const std::shared_ptr<MarkedDocument>& tab,
                                                 const std::shared_ptr<pdfkit::Page>& page,
                                                 const Rect& pageRect);

    // A sticky note whose icon's top-left corner is at the page point.
    std::shared_ptr<pdfkit::Annotation> addNote(const std::shared_ptr<MarkedDocument>& tab,
                                                const std::shared_ptr<pdfkit::Page>& page,
                                                Point pageTopLeft, const std::string& text,
                                                const Color& colour);

    // An annotation of any kind over the rectangle in the colour, as the command line makes
    // them: text markup as markRegion() with the page text as its contents, a note's icon at
    // the rectangle's top left (addNote()), any other kind over the rectangle, beside what
    // is there. The colour's alpha is its opacity. nullptr when nothing was made (a
    // rectangle with no size, a kind that cannot be made).
    std::shared_ptr<pdfkit::Annotation> addMark(const std::shared_ptr<MarkedDocument>& tab,
                                                const std::shared_ptr<pdfkit::Page>& page,
                                                const Rect& pageRect, AnnotationType type,
                                                const Color& colour);

    // Free text over `bounds` in the colour and size, nothing but its text shown. Blank
    // text makes nothing.
    std::shared_ptr<pdfkit::Annotation> addFreeText(const std::shared_ptr<MarkedDocument>& tab,
                                                    const std::shared_ptr<pdfkit::Page>& page,
                                                    const Rect& bounds, const std::string& text,
                                                    const Color& colour, double fontSize);

    // Moves or resizes the annotation to `bounds`, its kind, colours and contents kept.
    bool resize(const std::shared_ptr<MarkedDocument>& tab,
                const std::shared_ptr<pdfkit::Annotation>& annotation, const Rect& bounds);

    // The annotations take the colour's red, green and blue; each keeps its own opacity,
    // and only a fill already there changes (outlines stay outlines). One step for all.
    bool recolour(const std::shared_ptr<MarkedDocument>& tab,
                  const std::vector<std::shared_ptr<pdfkit::Annotation>>& which,
                  const Color& colour);

    // The annotation's contents: a comment, or a note's or free text's text. Blank text
    // clears a comment (free text keeps its text: blank text there changes nothing).
    // Free text grows or shrinks to `resizedTo` with its text, in the same step.
    bool setText(const std::shared_ptr<MarkedDocument>& tab,
                 const std::shared_ptr<pdfkit::Annotation>& annotation, const std::string& text,
                 std::optional<Rect> resizedTo = std::nullopt);

    // Takes the annotations off their pages, one step.
    bool remove(const std::shared_ptr<MarkedDocument>& tab,
                const std::vector<std::shared_ptr<pdfkit::Annotation>>& which);

private:
    // True, after saying why, when the document must not be marked up.
    bool refused(const std::shared_ptr<MarkedDocument>& tab) const;

    std::shared_ptr<AppUndoManager> undo_;
    std::shared_ptr<UserInteraction> user_;
};

// The comments of the highlights a region replaces, in page order, blank ones, repeats
// and the page text they were filled with left out, joined by a blank line.
std::optional<std::string>
joinedComments(const std::vector<std::shared_ptr<pdfkit::Annotation>>& replaced,
               const pdfkit::Page& page);

} // namespace ombrix

OMBRIX_API_END
