#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <climits>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "edit-annotation";
const std::string kSynopsis =
    "FILE --page N --index I --rect X,Y,W,H [--color #RRGGBB] [--password PW]";

int runEditAnnotation(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments =
            parseArguments(args, {"--page", "--index", "--rect", "--color", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto index = parseInteger(required(arguments, "--index"), "index", 0, INT_MAX);
        auto rect = parseRect(required(arguments, "--rect"));
        auto color =
            arguments.value("--color") ? parseHexColor(*arguments.value("--color")) : std::string();
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        if (!bridge.updateAnnotation(path, page, index, rect, color)) {
            throw Error("ombrix", kExitFailure,
                        "could not change annotation " + std::to_string(index) + " on page " +
                            pageText + " of " + path + engineFailure());
        }
        io.out << "Moved annotation " << index << " on page " << pageText << " to "
               << formatRect(rect);
        if (!color.empty()) {
            io.out << " and coloured it " << color;
        }
        io.out << "\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Move an annotation (index from 0 in the page's list) and optionally recolour it",
    runEditAnnotation,
}};

} // namespace

} // namespace ombrix::cli
