#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "delete-page";
const std::string kSynopsis = "FILE --page N [--password PW]";

int runDeletePage(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        if (!bridge.deletePage(path, page)) {
            throw Error("ombrix", kExitFailure,
                        "could not delete page " + pageText + " of " + path + engineFailure());
        }
        const int left = bridge.pageCount(path);
        io.out << "Deleted page " << pageText << "; " << left << (left == 1 ? " page" : " pages")
               << " left\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Delete a page and write the file back",
    runDeletePage,
}};

} // namespace

} // namespace ombrix::cli
