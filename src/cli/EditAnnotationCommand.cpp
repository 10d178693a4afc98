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
#include "pdfkit/Annotation.h"
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "edit-annotation";
const std::string kSynopsis = "FILE --id ID [--rect X,Y,W,H] [--color #RRGGBB] [--password PW]";

int runEditAnnotation(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--id", "--rect", "--color", "--password"});
        auto file = singleFile(arguments);
        auto id = required(arguments, "--id");
        std::optional<Rect> rect;
        if (auto text = arguments.value("--rect")) {
            rect = parseRect(*text);
        }
        std::optional<RgbBytes> rgb;
        if (auto text = arguments.value("--color")) {
            rgb = parseAnnotationColor(parseHexColor(*text));
        }
        if (!rect && !rgb) {
            throw UsageError("nothing to change: give --rect, --color or both");
        }

        AppSession session(false);
        auto tab = session.open(file, arguments.value("--password"));
        auto engine = session.engine(tab);
        const IdentifiedAnnotation found = findToMark(*engine, id);
        auto& markup = *session.container().markupController();
        if (rect) {
            markup.resize(tab, found.annotation, *rect);
        }
        if (rgb) {
            markup.recolour(tab, {found.annotation}, Color::rgb(rgb->red, rgb->green, rgb->blue));
        }
        session.save(tab);

        nlohmann::ordered_json item;
        item["file"] = file.string();
        addAnnotationFields(item, IdentifiedAnnotation{idOf(*engine, *found.annotation),
                                                       found.pageIndex, found.annotation});
        printJson(io, item);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Move or resize an annotation and/or recolour it (keeping its opacity); as JSON",
    runEditAnnotation,
}};

} // namespace

} // namespace ombrix::cli
