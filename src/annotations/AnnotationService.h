#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationRecord.h"
#include "core/Geometry.h"

#include <memory>
#include <vector>

namespace ombrix {

class PDFDocument;
class PDFKitBridge;

namespace pdfkit {
class Annotation;
}

// The narrow door to the annotations stored inside a document. Holds nothing but the
// engine bridge; the only state it changes is a document's dirty flag. Main thread only.
class AnnotationService {
public:
    // Whether a shape type gets a border from the record's border width when realised.
    enum class ShapeBorder { apply, leave };

    explicit AnnotationService(std::shared_ptr<PDFKitBridge> bridge);

    const std::shared_ptr<PDFKitBridge>& bridge() const { return bridge_; }

    // Every annotation of every page, page by page in each page's order, each with a
    // fresh id and its engine annotation as the reference.
    std::vector<AnnotationRecord> loadAll(const PDFDocument& document) const;

    // A yellow half-transparent highlight realised on the page. The document is marked
    // dirty even when the page does not exist; then the record has no engine annotation.
    // Neither the tab nor the undo history is touched.
    AnnotationRecord addHighlight(PDFDocument& document, int pageIndex, const Rect& bounds);

    // Writes the document back to its file and marks it clean. Throws the bridge's Error
    // (domain "PDFKitBridge") and leaves the dirty flag as it was when that fails.
    void save(PDFDocument& document);

    // The record realised on its page: the new engine annotation, already added, or
    // nullptr when the document has no such page.
    std::shared_ptr<pdfkit::Annotation> realise(const PDFDocument& document,
                                                const AnnotationRecord& record) const;

    // Between records and the engine's annotations, for any document.

    // Every annotation of every page, page by page in each page's order, each with a fresh
    // id; empty when the document's handle is not a PDF kit document.
    static std::vector<AnnotationRecord> records(const PDFDocument& document);
    // The record of one engine annotation of the page, with a fresh id.
    static AnnotationRecord recordOf(const std::shared_ptr<pdfkit::Annotation>& annotation,
                                     int pageIndex);
    // The new engine annotation, already on its page; nullptr when there is no such page.
    static std::shared_ptr<pdfkit::Annotation> addToPage(const PDFDocument& document,
                                                         const AnnotationRecord& record);
    // Both act only on the record's own engine annotation, and only while it is on the
    // record's page (identity, not equality); otherwise nothing happens.
    static void updateOnPage(const PDFDocument& document, const AnnotationRecord& record);
    static void removeFromPage(const PDFDocument& document, const AnnotationRecord& record);
    // Sets colours, border, font, contents and user name as the record type wants them.
    static void applyAppearance(pdfkit::Annotation& annotation, AnnotationType type,
                                const AnnotationAppearance& appearance,
                                const std::optional<std::string>& content);

    // A detached engine annotation for the record with its appearance applied; the
    // caller adds it to a page. nullptr when the engine cannot make one.
    static std::shared_ptr<pdfkit::Annotation> makeEngineAnnotation(const AnnotationRecord& record,
                                                                    ShapeBorder border);

private:
    std::shared_ptr<PDFKitBridge> bridge_;
};

} // namespace ombrix

OMBRIX_API_END
