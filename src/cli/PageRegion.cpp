#include "cli/PageRegion.h"

#include "core/Error.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

namespace ombrix::cli {

PageRegion openPageRegion(const Arguments& arguments) {
    PageRegion region;
    region.file = singleFile(arguments);
    auto [page, rect] = pageAndRect(arguments, RectSize::notNegative);
    region.rect = rect;

    region.document = PDFKitBridge(arguments.value("--password")).open(region.file);
    const int index = checkedPageIndex(page, region.document->pageCount);
    auto engine = PDFKitBridge::engineDocument(*region.document);
    region.page = engine ? engine->page(index) : nullptr;
    if (!region.page) {
        throw Error("ombrix", 1,
                    "Page " + page + " of " + region.file.string() + " cannot be read");
    }
    checkOnPage(rect, region.page->mediaBox(), page);
    region.pageNumber = index + 1;
    return region;
}

} // namespace ombrix::cli
