#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationRecord.h"
#include "annotations/UndoableCommand.h"

#include <memory>
#include <vector>

namespace ombrix {
class PDFDocument;
class MarkedDocument;
namespace pdfkit {
class Annotation;
class Page;
} // namespace pdfkit
} // namespace ombrix

namespace ombrix {

// Markup drawn on the canvas (a region highlight over the highlights it replaces, a
// shape, a highlight of selected text): takes some annotations off one page and puts
// others on it, with their records in the tab. Undo puts the page and the tab back as
// they were, the very same annotation objects included. Both directions mark the
// document dirty, so closing asks before the markup is lost. Main thread only.
class PageMarkupCommand : public UndoableCommand {
public:
    // `added` records carry the engine annotations to add in pdfAnnotationRef.
    PageMarkupCommand(std::shared_ptr<PDFDocument> doc, std::shared_ptr<pdfkit::Page> page,
                      std::vector<std::shared_ptr<pdfkit::Annotation>> removed,
                      std::vector<AnnotationRecord> added, std::weak_ptr<MarkedDocument> session);

    void execute() override;
    void undo() override;
    CommandScope scope() const override;

    const std::shared_ptr<PDFDocument>& document() const { return doc_; }
    const std::shared_ptr<pdfkit::Page>& page() const { return page_; }
    const std::vector<AnnotationRecord>& added() const { return added_; }
    const std::vector<std::shared_ptr<pdfkit::Annotation>>& removed() const { return removed_; }

private:
    std::shared_ptr<PDFDocument> doc_;
    std::shared_ptr<pdfkit::Page> page_;
    std::vector<std::shared_ptr<pdfkit::Annotation>> removed_;
    std::vector<AnnotationRecord> added_;
    std::weak_ptr<MarkedDocument> session_;
    // The tab's records of the removed annotations, kept by the first run for undo.
    std::vector<AnnotationRecord> removedRecords_;
    bool hasExecuted_ = false;
};

// Whether the page lists this very annotation object (identity, not equality).
bool isOnPage(const pdfkit::Page& page, const std::shared_ptr<pdfkit::Annotation>& annotation);

// Replaces the record with the same id, else appends it.
void upsertRecord(std::vector<AnnotationRecord>& list, const AnnotationRecord& record);

} // namespace ombrix

OMBRIX_API_END
