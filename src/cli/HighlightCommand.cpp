#include "annotations/AnnotationRecord.h"
#include "annotations/MarkupController.h"
#include "app/AppContainer.h"
#include "cli/AnnotationIds.h"
#include "cli/AppSession.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/Error.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "pdfkit/ResourceLimits.h"
#include "tabs/TabSession.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <sstream>

namespace ombrix::cli {

namespace {

const std::string kName = "highlight";
const std::string kSynopsis =
    "FILE --page N --rect X,Y,W,H [--underline] [-o OUT.pdf] [--verbose] [--password PW]";

int runHighlight(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--rect", "-o", "--output", "--password"},
                                        {"--underline", "--verbose"});
        auto file = singleFile(arguments);
        const auto [page, bounds] = pageAndRect(arguments);
        auto shortOut = arguments.value("-o"), longOut = arguments.value("--output");
        if (shortOut && longOut) {
            throw UsageError("-o and --output both given");
        }
        const bool underline = arguments.hasFlag("--underline");

        // With -o the original is opened and marked, and only the output is written: the
        // original stays as it was, and the output is replaced whole or not at all.
        std::optional<std::filesystem::path> output;
        if (shortOut || longOut) {
            output = shortOut ? *shortOut : *longOut;
            std::error_code same;
            if (std::filesystem::equivalent(file, *output, same)) {
                output.reset();
            }
        }
        const std::filesystem::path target = output.value_or(file);

        AppSession session(arguments.hasFlag("--verbose"));
        auto tab = session.open(file, arguments.value("--password"));
        auto pdfPage = session.page(tab, page);
        auto engine = session.engine(tab);
        const int index = pdfPage->index();
        checkOnPage(bounds, pdfPage->mediaBox(), page);
        refuseMarkup(*engine);

        const AnnotationAppearance& look = AnnotationAppearance::defaultHighlight();
        auto made = session.container().markupController()->markRegion(
            tab, pdfPage, bounds, underline ? AnnotationType::underline : AnnotationType::highlight,
            look.color.withAlpha(look.opacity), true);
        if (!made) {
            throw Error("ombrix", kExitFailure, "the page did not take the annotation");
        }
        session.save(tab, output);

        nlohmann::ordered_json item;
        item["file"] = target.string();
        addAnnotationFields(item, IdentifiedAnnotation{idOf(*engine, *made), index, made});
        printJson(io, item);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Highlight (or underline) a rectangle of a page and save; the new annotation as JSON",
    runHighlight,
}};

} // namespace

} // namespace ombrix::cli
