#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/LogSink.h"
#include "core/Logging.h"
#include "document/BrainLoader.h"
#include "document/BrainStore.h"
#include "document/PDFKitBridge.h"
#include "extraction/PDFPageLabelResolver.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "info";
const std::string kSynopsis = "FILE [--password PW]";

int runInfo(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        const auto arguments = parseArguments(args, {"--password"});
        auto file = singleFile(arguments);

        // Opening goes through the sidecar loader, as in the reader, so the file's
        // sidecar is written; its log lines go to stderr.
        auto store = std::make_shared<BrainStore>(BrainStore::defaultDirectory());
        BrainLoader loader(
            store, std::make_shared<PDFKitBridge>(arguments.value("--password")),
            Logging(Logging::kSubsystem, Logging::kCategory, std::make_shared<StderrSink>(false)));
        auto document = loader.load(file).document;

        nlohmann::ordered_json sizes = nlohmann::ordered_json::array();
        for (const auto& page : document->pageSizes) {
            sizes.push_back({{"widthPt", page.widthPt},
                             {"heightPt", page.heightPt},
                             {"rotationDeg", page.rotationDeg}});
        }
        nlohmann::ordered_json metadata = nlohmann::ordered_json::object();
        const nlohmann::json plainMetadata = document->metadata;
        for (const auto& [key, value] : plainMetadata.items()) {
            metadata[key] = value;
        }
        nlohmann::ordered_json labels = nlohmann::ordered_json::array();
        for (int i = 0; i < document->pageCount; ++i) {
            labels.push_back(PDFPageLabelResolver::displayLabel(*document, i));
        }

        nlohmann::ordered_json info;
        info["pageCount"] = document->pageCount;
        info["pageSizes"] = std::move(sizes);
        info["metadata"] = std::move(metadata);
        info["fingerprint"] = document->brainFingerprint;
        info["labels"] = std::move(labels);
        printJson(io, info);
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Print a PDF's page count, page sizes, metadata, fingerprint and page labels as JSON "
    "(and write its sidecar)",
    runInfo,
}};

} // namespace

} // namespace ombrix::cli
