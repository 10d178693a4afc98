#include "cli/Command.h"
#include "cli/PageRegion.h"
#include "extraction/TableExtractor.h"
#include "pdfkit/Page.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "table";
const std::string kSynopsis =
    "FILE --page N --rect X,Y,W,H [--format html|csv|markdown] [--password PW]";
constexpr int kExitNoTable = 3;

int runTable(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        const auto arguments = parseArguments(args, {"--page", "--rect", "--format", "--password"});
        const std::string format = arguments.value("--format").value_or("html");
        if (format != "html" && format != "csv" && format != "markdown") {
            throw UsageError("unknown format '" + format + "'");
        }
        auto region = openPageRegion(arguments);
        const auto grid = TableExtractor().extractGrid(*region.page, region.rect);
        if (!grid) {
            io.err << "No Table Found: Could not detect a table structure in this area.\n";
            return kExitNoTable;
        }
        if (format == "csv") {
            io.out << table::toCSV(*grid);
        } else if (format == "markdown") {
            io.out << table::toMarkdown(*grid);
        } else {
            io.out << table::toHTML(*grid) << "\n";
        }
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Print the table found in a page-space region (pages count from 1) as HTML, CSV or Markdown",
    runTable,
}};

} // namespace

} // namespace ombrix::cli
