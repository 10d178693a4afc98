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
#include "pdfkit/Document.h"
#include "tabs/TabSession.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "delete-annotation";
const std::string kSynopsis = "FILE --id ID [--password PW]";

int runDeleteAnnotation(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--id", "--password"});
        auto file = singleFile(arguments);
        auto id = required(arguments, "--id");

        AppSession session(false);
        auto tab = session.open(file, arguments.value("--password"));
        auto engine = session.engine(tab);
        const IdentifiedAnnotation found = findToMark(*engine, id);
        // Listed as it was, before it goes.
        nlohmann::ordered_json item;
        item["file"] = file.string();
        addAnnotationFields(item, found);
        if (!session.container().markupController()->remove(tab, {found.annotation})) {
            throw Error("ombrix", kExitFailure, "could not delete annotation " + id);
        }
        session.save(tab);
        printJson(io, item);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Delete an annotation by its id and save; what was deleted, as JSON",
    runDeleteAnnotation,
}};

} // namespace

} // namespace ombrix::cli
