#include "cli/Arguments.h"
#include "cli/Command.h"
#include "document/PDFKitBridge.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <charconv>
#include <cmath>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "table";
const std::string kSynopsis = "FILE --page N --rect X,Y,W,H";
constexpr int kExitNoTable = 3;

// "X,Y,W,H" in page space, width and height positive.
Rect parseRect(const std::string& text) {
    double values[4] = {};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        auto [next, ec] = std::from_chars(at, end, values[i]);
        if (ec != std::errc() || !std::isfinite(values[i])) {
            throw UsageError("--rect wants X,Y,W,H, got '" + text + "'");
        }
        at = next;
        if (i < 3) {
            if (at == end || *at != ',') {
                throw UsageError("--rect wants X,Y,W,H, got '" + text + "'");
            }
            ++at;
        }
    }
    if (at != end) {
        throw UsageError("--rect wants X,Y,W,H, got '" + text + "'");
    }
    if (values[2] < 0 || values[3] < 0) {
        throw UsageError("--rect wants a width and height that are not negative");
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

int runTable(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--rect"});
        auto file = singleFile(arguments);
        auto page = arguments.value("--page");
        auto rectText = arguments.value("--rect");
        if (!page) {
            throw UsageError("missing --page");
        }
        if (!rectText) {
            throw UsageError("missing --rect");
        }
        parsePageNumber(*page);
        const Rect region = parseRect(*rectText);

        PDFKitBridge bridge;
        auto document = bridge.open(file);
        int index = checkedPageIndex(*page, document->pageCount);
        auto engine = PDFKitBridge::engineDocument(*document);
        auto pdfPage = engine ? engine->page(index) : nullptr;
        std::string html;
        if (pdfPage) {
            html = TableExtractor().extractTable(*pdfPage, region);
        }
        if (html.empty()) {
            io.err << "No Table Found: Could not detect a table structure in this area.\n";
            return kExitNoTable;
        }
        io.out << html << "\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Print the HTML table recognised in a page-space region (pages count from 1)",
    runTable,
}};

} // namespace

} // namespace ombrix::cli
