#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "annotations/AnnotationRecord.h"
#include "core/Signal.h"

#include <memory>
#include <vector>

namespace ombrix {

class PDFDocument;

// A document open for markup as the rules of markup see it: the document and the records
// of its annotations shown for it, which those rules keep in step with its pages. A tab is
// one. Main thread only; `annotations` notifies its observers on each assignment.
class MarkedDocument {
public:
    // Throws std::invalid_argument for no document: every user reads it unchecked.
    explicit MarkedDocument(std::shared_ptr<PDFDocument> document);
    virtual ~MarkedDocument() = default;
    MarkedDocument(const MarkedDocument&) = delete;
    MarkedDocument& operator=(const MarkedDocument&) = delete;

    const std::shared_ptr<PDFDocument> document;
    Observable<std::vector<AnnotationRecord>> annotations;
};

} // namespace ombrix

OMBRIX_API_END
