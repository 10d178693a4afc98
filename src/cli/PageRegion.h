#pragma once

#include "cli/Arguments.h"
#include "core/Geometry.h"

#include <filesystem>
#include <memory>

namespace ombrix {
class PDFDocument;
namespace pdfkit {
class Page;
}
} // namespace ombrix

namespace ombrix::cli {

// FILE --page N --rect X,Y,W,H [--password PW], opened: the page and the page-space region on it.
struct PageRegion {
    std::filesystem::path file;
    std::shared_ptr<PDFDocument> document;
    std::shared_ptr<pdfkit::Page> page; // never null
    int pageNumber = 0;                 // 1-based
    Rect rect;
};

// Usage mistakes throw UsageError; a file that cannot be opened or a page that is not
// there throws ombrix::Error.
PageRegion openPageRegion(const Arguments& arguments);

} // namespace ombrix::cli
