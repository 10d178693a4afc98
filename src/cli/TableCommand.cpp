#include "cli/Command.h"
#include "cli/PageRegion.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Page.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "table";
const std::string kSynopsis = "FILE --page N --rect X,Y,W,H";
constexpr int kExitNoTable = 3;

int runTable(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto region = openPageRegion(parseArguments(args, {"--page", "--rect"}));
        std::string html = TableExtractor().extractTable(*region.page, region.rect);
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
