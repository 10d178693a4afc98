#include "cli/Arguments.h"
#include "cli/Command.h"
#include "document/PDFKitBridge.h"
#include "extraction/HighlightExtractor.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "highlights";
const std::string kSynopsis = "FILE [--password PW]";

int runHighlights(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        const auto arguments = parseArguments(args, {"--password"});
        auto file = singleFile(arguments);
        PDFKitBridge bridge(arguments.value("--password"));
        auto document = bridge.open(file);
        const auto highlights = HighlightExtractor::collectDocumentHighlights(*document);
        if (highlights.empty()) {
            // Nothing to digest, as the export command has nothing for the clipboard.
            io.err << "This PDF doesn't contain any highlighted text.\n";
            return kExitOk;
        }
        io.out << HighlightExtractor::markdownDigest(highlights, document->name);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Print a PDF's highlights with their comments and results as a Markdown digest",
    runHighlights,
}};

} // namespace

} // namespace ombrix::cli
