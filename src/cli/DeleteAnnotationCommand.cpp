#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <climits>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "delete-annotation";
const std::string kSynopsis = "FILE --page N --index I [--password PW]";

int runDeleteAnnotation(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--index", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto index = parseInteger(required(arguments, "--index"), "index", 0, INT_MAX);
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        if (!bridge.deleteAnnotation(path, page, index)) {
            throw Error("ombrix", kExitFailure,
                        "could not delete annotation " + std::to_string(index) + " on page " +
                            pageText + " of " + path + engineFailure());
        }
        io.out << "Deleted annotation " << index << " on page " << pageText << "\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Delete an annotation (index from 0 in the page's list) and write the file back",
    runDeleteAnnotation,
}};

} // namespace

} // namespace ombrix::cli
