#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <climits>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "rotate";
const std::string kSynopsis = "FILE --page N --degrees D [--password PW]";

int runRotate(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--degrees", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto degrees = parseInteger(required(arguments, "--degrees"), "degrees", INT_MIN, INT_MAX);
        if (degrees % 90 != 0) {
            throw UsageError("degrees must be a multiple of 90, not " + std::to_string(degrees));
        }
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        if (!bridge.rotatePage(path, page, int(degrees))) {
            throw Error("ombrix", kExitFailure,
                        "could not rotate page " + pageText + " of " + path + engineFailure());
        }
        io.out << "Rotated page " << pageText << " to " << ((degrees % 360) + 360) % 360 << "°\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Set a page's rotation (absolute, a multiple of 90) and write the file back",
    runRotate,
}};

} // namespace

} // namespace ombrix::cli
