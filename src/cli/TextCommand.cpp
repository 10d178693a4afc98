#include "cli/Arguments.h"
#include "cli/Command.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "text";
const std::string kSynopsis = "FILE --page N [--password PW]";

int runText(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--password"});
        auto file = singleFile(arguments);
        auto page = arguments.value("--page");
        if (!page) {
            throw UsageError("missing --page");
        }
        parsePageNumber(*page); // a malformed number is a usage error before any opening

        PDFKitBridge bridge(arguments.value("--password"));
        auto document = bridge.open(file);
        int index = checkedPageIndex(*page, document->pageCount);
        auto engine = PDFKitBridge::engineDocument(*document);
        auto pdfPage = engine ? engine->page(index) : nullptr;
        std::string text = pdfPage ? pdfPage->string() : std::string();
        io.out << text;
        if (!text.empty() && text.back() != '\n') {
            io.out << "\n";
        }
        if (pdfPage && pdfPage->contentDamaged()) {
            io.err << "ombrix " << kName << ": page " << index + 1
                   << ": part of the page's content could not be read; the text is what "
                      "could be\n";
            return kExitDamagedPage;
        }
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Print the plain text of one page (pages count from 1)",
    runText,
}};

} // namespace

} // namespace ombrix::cli
