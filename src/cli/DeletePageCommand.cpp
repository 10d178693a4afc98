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
        const auto pages = bridge.pageCount(path);
        const int page = checkedPageIndex(pageText, pages);
        if (!bridge.deletePage(path, page)) {
            throw Error("ombrix", kExitFailure,
                        "could not delete page " + pageText + " of " + path + engineFailure());
        }
        // Counted before the write: the file is written, and opening it again could only
        // turn that success into a reported failure (a time limit running out meanwhile).
        const auto left = pages - 1;
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
