#include "annotations/AnnotationType.h"
#include "annotations/MarkupController.h"
#include "app/AppContainer.h"
#include "cli/AnnotationIds.h"
#include "cli/AppSession.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "cli/JsonOutput.h"
#include "core/Error.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"
#include "engine/NativeEngineBridge.h"
#include "pdfkit/Document.h"
#include "pdfkit/Page.h"
#include "tabs/TabSession.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "annotate";
const std::string kSynopsis = "FILE --page N --type NAME --rect X,Y,W,H [--color #RRGGBB] "
                              "[--opacity 0-255] [--password PW]";

int runAnnotate(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(
            args, {"--page", "--type", "--rect", "--color", "--opacity", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto typeName = required(arguments, "--type");
        if (annotationTypeCode(typeName) == 0) {
            throw UsageError("type must be one of Highlight, Underline, StrikeOut, Square, "
                             "Circle, Line, Ink, Text, FreeText; not '" +
                             typeName + "'");
        }
        auto rect = parseRect(required(arguments, "--rect"));
        const auto rgb = parseAnnotationColor(
            arguments.value("--color") ? parseHexColor(*arguments.value("--color")) : "#ffff00");
        auto opacity = arguments.value("--opacity")
                           ? parseInteger(*arguments.value("--opacity"), "opacity", 0, 255)
                           : 255;
        parsePageNumber(pageText);

        AppSession session(false);
        auto tab = session.open(file, arguments.value("--password"));
        auto page = session.page(tab, pageText);
        auto engine = session.engine(tab);
        refuseMarkup(*engine);
        const int index = page->index();
        const Color colour =
            Color::rgb(rgb->red, rgb->green, rgb->blue).withAlpha(double(opacity) / 255);
        auto made = session.container().markupController()->addMark(
            tab, page, rect, annotationTypeFrom(typeName), colour);
        if (!made) {
            throw Error("ombrix", kExitFailure, "the page did not take the annotation");
        }
        session.save(tab);

        nlohmann::ordered_json item;
        item["file"] = file.string();
        addAnnotationFields(item, IdentifiedAnnotation{idOf(*engine, *made), index, made});
        printJson(io, item);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Add an annotation to a page and save; the new annotation, with its id, as JSON",
    runAnnotate,
}};

} // namespace

} // namespace ombrix::cli
