#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationRecord.h"
#include "annotations/RedrawTargets.h"
#include "annotations/UndoableCommand.h"
#include "core/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

class AnnotationService;
class Logging;
class PDFDocument;
class MarkedDocument;

namespace pdfkit {
class Annotation;
class Page;
} // namespace pdfkit

// Adds the record's annotation to its page and the record to the tab. The first run
// realises the engine annotation; every later run puts back that very object, so undo
// and redo never make a second one. A closed tab is skipped, the page still changes.
class AddAnnotationCommand : public UndoableCommand {
public:
    AddAnnotationCommand(std::shared_ptr<PDFDocument> doc, AnnotationRecord record,
                         std::shared_ptr<AnnotationService> service,
                         std::weak_ptr<MarkedDocument> session, RedrawTargets redraw = {});

    void execute() override;
    void undo() override;
    CommandScope scope() const override { return {doc_, {record_.pageIndex}}; }

    const AnnotationRecord& record() const { return record_; }
    const std::shared_ptr<PDFDocument>& document() const { return doc_; }
    bool hasExecuted() const { return hasExecuted_; }

private:
    std::shared_ptr<PDFDocument> doc_;
    std::shared_ptr<AnnotationService> service_;
    std::weak_ptr<MarkedDocument> session_;
    AnnotationRecord record_;
    bool hasExecuted_ = false;
    RedrawTargets redraw_;
};

// Removes the record's annotation from its page and the record from the tab. Without a
// usable engine reference it falls back to the page's first annotation with exactly the
// record's bounds, or overlapping bounds and the same contents.
class DeleteAnnotationCommand : public UndoableCommand {
public:
    // A null log writes to the system log.
    DeleteAnnotationCommand(std::shared_ptr<PDFDocument> doc, AnnotationRecord record,
                            std::shared_ptr<AnnotationService> service,
                            std::weak_ptr<MarkedDocument> session, RedrawTargets redraw = {},
                            std::shared_ptr<const Logging> log = nullptr);

    void execute() override;
    void undo() override;
    CommandScope scope() const override { return {doc_, {record_.pageIndex}}; }

    const AnnotationRecord& record() const { return record_; }
    const std::shared_ptr<PDFDocument>& document() const { return doc_; }
    const std::shared_ptr<pdfkit::Annotation>& removedAnnotation() const {
        return removedAnnotation_;
    }
    std::optional<int> originalIndex() const { return originalIndex_; }

private:
    std::shared_ptr<pdfkit::Annotation> findTarget(const pdfkit::Page& page) const;

    std::shared_ptr<PDFDocument> doc_;
    std::shared_ptr<AnnotationService> service_;
    std::weak_ptr<MarkedDocument> session_;
    AnnotationRecord record_;
    std::shared_ptr<pdfkit::Annotation> removedAnnotation_;
    std::optional<int> originalIndex_;
    RedrawTargets redraw_;
    std::shared_ptr<const Logging> log_;
};

// Moves or resizes an engine annotation. Given the document and the tab, the tab's record
// of it follows and the document is marked dirty both ways; without them it touches
// neither (a part of a larger step that does).
class UpdateAnnotationCommand : public UndoableCommand {
public:
    UpdateAnnotationCommand(std::shared_ptr<pdfkit::Page> page,
                            std::shared_ptr<pdfkit::Annotation> annot, const Rect& oldBounds,
                            const Rect& newBounds, std::shared_ptr<PDFDocument> doc = nullptr,
                            std::weak_ptr<MarkedDocument> session = {});

    void execute() override;
    void undo() override;

    const std::shared_ptr<pdfkit::Page>& page() const { return page_; }
    const std::shared_ptr<pdfkit::Annotation>& annotation() const { return annot_; }

private:
    void apply(const Rect& bounds);

    std::shared_ptr<pdfkit::Page> page_;
    std::shared_ptr<pdfkit::Annotation> annot_;
    Rect oldBounds_;
    Rect newBounds_;
    std::shared_ptr<PDFDocument> doc_;
    std::weak_ptr<MarkedDocument> session_;
};

// The page text under a text-markup annotation as its contents: each line feed and each
// carriage return becomes a space, then white space is trimmed from both ends.
std::string annotationContentFromPageText(std::string_view text);

} // namespace ombrix

OMBRIX_API_END
