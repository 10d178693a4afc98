#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"
#include "document/PDFDocument.h"

#include <filesystem>
#include <memory>

namespace ombrix {

// The engine seam: open a file into a document, release it, render a page.
class PDFBridge {
public:
    virtual ~PDFBridge() = default;
    // Throws BridgeError::cannotOpen or BridgeError::emptyDocument.
    virtual std::shared_ptr<PDFDocument> open(const std::filesystem::path& url) = 0;
    virtual void close(PDFDocument& document) = 0;
    // The page fitted into the target size, aspect kept. Throws BridgeError::pageOutOfRange
    // or BridgeError::renderFailed.
    virtual Image renderPage(const PDFDocument& document, int pageIndex, Size targetSize) = 0;
};

} // namespace ombrix

OMBRIX_API_END
