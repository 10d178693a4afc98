#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Color.h"
#include "core/Geometry.h"
#include "pdfkit/AnnotationSubtype.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {

class Page;

struct Font {
    std::string family; // e.g. "Helvetica"
    double size = 12;
    bool operator==(const Font&) const = default;
};

struct Border {
    double lineWidth = 1;
    bool operator==(const Border&) const = default;
};

// One annotation object. Identity matters: a page lists the very objects added to it,
// and removing an object and adding the same object back restores it, all its
// properties included, and it is written on the next save.
//
// An annotation made with create() is detached until a page adopts it; its properties
// are kept and applied when it is added. Every setter on an attached annotation
// regenerates its appearance so other readers show it as we do, and marks the
// document changed.
class Annotation : public std::enable_shared_from_this<Annotation> {
public:
    // Subtype names as in PDF ("Highlight", "Square", "FreeText", "Text", ...); a leading
    // "/" is accepted ("/Squiggly", "/PolyLine", "/Polygon"). Markup subtypes get quad
    // points covering their bounds.
    static std::shared_ptr<Annotation> create(const Rect& bounds, const std::string& subtype);
    static std::shared_ptr<Annotation> create(const Rect& bounds, Subtype subtype) {
        return create(bounds, subtypeInfo(subtype).name);
    }
    virtual ~Annotation() = default;

    virtual Rect bounds() const = 0; // page space
    virtual void setBounds(const Rect& bounds) = 0;

    virtual std::string type() const = 0; // subtype name without the leading "/"
    // The subtype from the one table; none for a name PDF does not define.
    std::optional<Subtype> subtype() const { return subtypeNamed(type()); }

    virtual std::optional<std::string> contents() const = 0;
    virtual void setContents(const std::string& text) = 0;

    // The colour's alpha is the annotation's opacity (/CA). A colour with alpha 0 is
    // "no colour": the annotation keeps its opacity and has no /C (how free text
    // annotations show only their text).
    virtual std::optional<Color> color() const = 0;
    virtual void setColor(const Color& color) = 0;

    virtual std::optional<Color> interiorColor() const = 0;
    virtual void setInteriorColor(const std::optional<Color>& color) = 0;

    virtual std::optional<Color> fontColor() const = 0;
    virtual void setFontColor(const Color& color) = 0;

    virtual std::optional<Font> font() const = 0;
    virtual void setFont(const Font& font) = 0;

    // The annotation's name (/NM), unique in its document: every annotation made here gets
    // a random UUID as its name, so a script can point at it across runs; another
    // program's name is kept as it is. None for an annotation from a file that has none.
    virtual std::optional<std::string> name() const = 0;

    virtual std::optional<std::string> userName() const = 0;
    virtual void setUserName(const std::string& name) = 0;

    virtual std::optional<Border> border() const = 0;
    virtual void setBorder(const Border& border) = 0;

    // A private flag of our own in the annotation's dictionary (an entry holding true),
    // kept in the file; other readers skip it. Keys must begin with "Ombrix" (anything
    // else is ignored, so no standard entry is ever touched); clearing removes the entry.
    virtual bool privateFlag(const std::string& key) const = 0;
    virtual void setPrivateFlag(const std::string& key, bool on) = 0;
    // A private text entry under the same rules: a string of our own that other readers
    // skip. None when the entry is missing or not a string; setting none removes it.
    virtual std::optional<std::string> privateText(const std::string& key) const = 0;
    virtual void setPrivateText(const std::string& key, const std::optional<std::string>& text) = 0;

    // A highlight of a region dragged out on the page rather than of lines of text: it
    // shows exactly its rectangle, square-cornered, its colour multiplied onto the page
    // at its opacity, and carries that appearance so other readers show it so too. Kept
    // in the file (a private flag), so it keeps the look when recoloured or resized.
    // Highlights only; other kinds ignore it.
    virtual bool isRegion() const = 0;
    virtual void setRegion(bool on) = 0;

    // Quad points of markup annotations, one rectangle per quad, page space. Each quad's
    // corners are written in the page's displayed orientation (its upper edge is the one
    // shown on top), so every reader draws it along the lines as they are shown.
    virtual std::vector<Rect> quadRects() const = 0;
    virtual void setQuadRects(const std::vector<Rect>& rects) = 0;

    // The page this annotation is on, or nullptr while detached.
    virtual std::shared_ptr<Page> page() const = 0;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
