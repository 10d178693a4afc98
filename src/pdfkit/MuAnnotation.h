#pragma once

// The MuPDF implementation of Annotation. Private to pdfkit.
//
// An annotation is its PDF object. Once it has one (loaded from the file, or made
// when a page first adopted it) it keeps that dictionary for life: removing it from a
// page only takes its reference out of /Annots, adding it back puts the same reference
// in again, so every property survives and is written on save. Before it has one, its
// properties live in an AnnotationProps and are written into the new dictionary.
//
// MuPDF's own pdf_annot objects are never held: they belong to MuPDF's page and are
// found through the object number for each change (its setters write the entries) and
// whenever an appearance has to be regenerated.

#include "pdfkit/Annotation.h"
#include "pdfkit/MuContext.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrix::pdfkit {

struct DocCore;
class MuPage;

struct AnnotationProps {
    std::string subtype;
    Rect bounds;
    std::optional<std::string> contents;
    std::optional<std::string> userName;
    std::optional<std::string> name; // /NM
    std::optional<Color> color;      // alpha ignored; opacity holds it
    bool colorSet = false;           // set, possibly to none, rather than left to the defaults
    double opacity = 1;
    std::optional<Color> interiorColor;
    bool interiorColorSet = false;
    std::optional<Color> fontColor;
    std::optional<Font> font;
    std::optional<Border> border;
    std::vector<Rect> quads;
    std::vector<std::string> privateFlags;                         // keys set to true
    std::vector<std::pair<std::string, std::string>> privateTexts; // key, text
};

class MuAnnotation final : public Annotation {
public:
    explicit MuAnnotation(AnnotationProps props);
    // An annotation of a loaded page; `ref` is its /Annots entry, an indirect reference.
    MuAnnotation(std::shared_ptr<DocCore> core, fz_context* ctx, pdf_obj* ref,
                 std::weak_ptr<MuPage> page);
    ~MuAnnotation() override;
    MuAnnotation(const MuAnnotation&) = delete;
    MuAnnotation& operator=(const MuAnnotation&) = delete;

    Rect bounds() const override;
    void setBounds(const Rect& bounds) override;
    std::string type() const override;
    std::optional<std::string> contents() const override;
    void setContents(const std::string& text) override;
    std::optional<Color> color() const override;
    void setColor(const Color& color) override;
    std::optional<Color> interiorColor() const override;
    void setInteriorColor(const std::optional<Color>& color) override;
    std::optional<Color> fontColor() const override;
    void setFontColor(const Color& color) override;
    std::optional<Font> font() const override;
    void setFont(const Font& font) override;
    std::optional<std::string> name() const override;
    std::optional<std::string> userName() const override;
    void setUserName(const std::string& name) override;
    std::optional<Border> border() const override;
    void setBorder(const Border& border) override;
    bool privateFlag(const std::string& key) const override;
    void setPrivateFlag(const std::string& key, bool on) override;
    std::optional<std::string> privateText(const std::string& key) const override;
    void setPrivateText(const std::string& key, const std::optional<std::string>& text) override;
    bool isRegion() const override;
    void setRegion(bool on) override;
    std::vector<Rect> quadRects() const override;
    void setQuadRects(const std::vector<Rect>& rects) override;
    std::shared_ptr<Page> page() const override;

    // For MuPage; the caller holds the document's mutex.

    const std::shared_ptr<DocCore>& core() const { return core_; }
    bool hasObject() const { return ref_ != nullptr; }
    // The indirect reference /Annots holds for it.
    pdf_obj* reference() const { return ref_; }
    bool isPopup() const { return subtypeNamed(subtype_) == Subtype::popup; }
    // Bounds for hit testing: the bounds and the area the appearance covers.
    Rect hitBounds() const;
    void attachTo(const std::shared_ptr<MuPage>& page);
    void detach() { page_.reset(); }
    // Makes the dictionary on `page` from the kept properties. False when MuPDF fails.
    bool materialize(fz_context* ctx, MuPage& page);
    // Back to kept properties, letting go of the dictionary (moving to another document).
    void releaseObject(fz_context* ctx);
    bool needsAppearance() const { return needsAppearance_; }
    // Regenerates the appearance through MuPDF's annotation of the live page.
    void refreshAppearance(fz_context* ctx, MuPage& page);

private:
    AnnotationProps snapshot(fz_context* ctx) const;
    int shownRotation() const; // of the page it is on; 0 while detached
    template <class Write> void change(Write&& write);
    Rect boundsLocked(fz_context* ctx) const;
    pdf_obj* current() const; // the dictionary now; the caller holds the mutex

    std::string subtype_;
    AnnotationProps props_; // used while there is no dictionary
    std::shared_ptr<DocCore> core_;
    // Kept. Only the reference is held, never the dictionary: MuPDF moves an annotation's
    // object to a new copy whenever it draws a missing appearance, so a dictionary
    // pointer goes stale, while the reference always resolves to the live object.
    pdf_obj* ref_ = nullptr;
    std::weak_ptr<MuPage> page_;
    bool needsAppearance_ = false;
};

// The subtype name as PDF spells it, from what callers pass ("/Squiggly", "Highlight").
std::string normalizeSubtype(const std::string& subtype);

} // namespace ombrix::pdfkit
