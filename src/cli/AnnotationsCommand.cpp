#include "cli/AnnotationIds.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "document/PDFDocument.h"
#include "document/PDFKitBridge.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "annotations";
const std::string kSynopsis = "FILE [--password PW]";

int runAnnotations(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        const auto arguments = parseArguments(args, {"--password"});
        auto file = singleFile(arguments);
        PDFKitBridge bridge(arguments.value("--password"));
        auto document = bridge.open(file);
        auto engine = PDFKitBridge::engineDocument(*document);

        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        if (engine) {
            for (const auto& annotation : identifyAnnotations(*engine)) {
                nlohmann::ordered_json item;
                addAnnotationFields(item, annotation);
                list.push_back(std::move(item));
            }
        }
        printJson(io, list);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "List a PDF's annotations as JSON: id, page, type, bounds, content, colour",
    runAnnotations,
}};

} // namespace

} // namespace ombrix::cli
