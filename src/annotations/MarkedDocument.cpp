#include "annotations/MarkedDocument.h"

#include <stdexcept>

namespace ombrix {

MarkedDocument::MarkedDocument(std::shared_ptr<PDFDocument> doc) : document(std::move(doc)) {
    if (!document) {
        throw std::invalid_argument("a marked document needs a document");
    }
}

} // namespace ombrix
