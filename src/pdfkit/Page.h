#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"
#include "core/Geometry.h"
#include "core/Image.h"
#include "pdfkit/Annotation.h"
#include "pdfkit/Selection.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class Document;

// A word of the page's text, in page space, with the font of its first character.
struct TextWord {
    std::string text;
    Rect bounds;
    std::string fontName; // the font's name as the PDF gives it, subset tag removed
    double fontSize = 0;
    bool bold = false;
    bool italic = false;
};

// One character of the page's text, in reading order; each line ends with a "\n" of its own
// that has no box and no font.
struct TextCharacter {
    char32_t code = 0;
    Rect box; // page space
    // The name the file gives the font (its /BaseFont, subset tag and all), else MuPDF's.
    std::string fontName;
    // The font descriptor's flags; for a font the file describes without one (the standard
    // 14), what its descriptor would say.
    int fontFlags = 0;
    double fontSize = 0; // as drawn, text and page matrices applied
    Color color;         // the fill colour, opaque
};

// A font of the page's /Resources /Font dictionary.
struct FontResource {
    std::string resourceName;            // the key, e.g. "F1"
    std::optional<std::string> baseFont; // its /BaseFont, e.g. "Helvetica-Bold"
};

// A page of a Document. The Document owns its pages and hands out the same object for
// an index every time. Every call is safe on the thread that edits the document;
// rendering from other threads goes through PageRenderer.
class Page : public std::enable_shared_from_this<Page> {
public:
    virtual ~Page() = default;

    virtual std::shared_ptr<Document> document() const = 0;
    virtual int index() const = 0;

    virtual Rect mediaBox() const = 0; // unrotated, page space
    virtual int rotation() const = 0;  // 0, 90, 180 or 270
    // Sets /Rotate to `degrees`, a multiple of 90 (normalised to 0-270), absolute rather
    // than added to the rotation there; geometry, text and images follow. Throws
    // ombrix::Error for any other angle. Main thread, with nothing rendering the page.
    virtual void setRotation(int degrees) = 0;

    // Display space is the page as shown and printed: the crop box turned by the page's
    // rotation, in points, origin at the shown page's top left, y down. Cheap once the
    // page's geometry has been read (see Document::displaySizes).
    virtual Rect cropBox() const = 0;     // page space; the media box when there is none
    virtual Size displaySize() const = 0; // the crop box's size, swapped for 90 and 270
    virtual Point pageToDisplay(Point pagePoint) const = 0;
    virtual Point displayToPage(Point displayPoint) const = 0;
    virtual Rect pageToDisplay(const Rect& pageRect) const = 0; // bounding rect, standardized
    virtual Rect displayToPage(const Rect& displayRect) const = 0;

    // The media box at `scale` pixels per point into a pixelWidth × pixelHeight bitmap,
    // white underneath, the page's rotation not applied; the media box's lower left (page
    // space (0, 0) for the usual box) is the bitmap's lower left. Empty on failure.
    virtual Image draw(int pixelWidth, int pixelHeight, double scale,
                       bool withAnnotations = true) const = 0;
    // A page-space region at `scale`: the whole pixels of width × scale by height × scale.
    virtual Image drawRegion(const Rect& region, double scale, bool withAnnotations) const = 0;

    // The page's annotations in a stable order (file order, added ones last).
    virtual std::vector<std::shared_ptr<Annotation>> annotations() const = 0;
    virtual void addAnnotation(const std::shared_ptr<Annotation>& annotation) = 0;
    virtual void removeAnnotation(const std::shared_ptr<Annotation>& annotation) = 0;
    // The topmost annotation whose bounds hold the page-space point.
    virtual std::shared_ptr<Annotation> annotationAt(Point point) const = 0;

    // The text inside a page-space rectangle; nothing when no character falls in it.
    virtual std::optional<Selection> selection(const Rect& rect) const = 0;
    // The text in reading order between two page-space points, as a drag selects it.
    virtual std::optional<Selection> selection(Point from, Point to) const = 0;

    virtual std::string string() const = 0; // plain text, lines separated by "\n"
    // Whether some of the page's content could not be read (a broken content stream, one
    // nested deeper than the engine follows, a page that does not load): its text, search
    // results and image hold only the rest.
    virtual bool contentDamaged() const = 0;
    virtual std::vector<TextWord> words() const = 0;
    virtual std::vector<TextCharacter> characters() const = 0;
    virtual std::optional<std::string> label() const = 0;

    virtual std::vector<FontResource> fontResources() const = 0;
    // The font resource names the content stream selects with Tf, in order of first use.
    virtual std::vector<std::string> fontResourcesInContentOrder() const = 0;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
