#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "annotate";
const std::string kSynopsis =
    "FILE --page N --type NAME --rect X,Y,W,H [--color #RRGGBB] [--opacity 0-255] [--password PW]";

int runAnnotate(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(
            args, {"--page", "--type", "--rect", "--color", "--opacity", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto type = required(arguments, "--type");
        if (annotationTypeCode(type) == 0) {
            throw UsageError("type must be one of Highlight, Underline, StrikeOut, Square, "
                             "Circle, Line, Ink, Text, FreeText; not '" +
                             type + "'");
        }
        auto rect = parseRect(required(arguments, "--rect"));
        auto color =
            arguments.value("--color") ? parseHexColor(*arguments.value("--color")) : std::string();
        auto opacity = arguments.value("--opacity")
                           ? parseInteger(*arguments.value("--opacity"), "opacity", 0, 255)
                           : 255;
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        if (!bridge.addAnnotation(path, page, type, rect, color, opacity)) {
            throw Error("ombrix", kExitFailure,
                        "could not add the annotation to " + path + engineFailure());
        }
        auto list = bridge.annotations(path, page);
        io.out << "Added " << type << " annotation";
        if (!list.empty()) {
            io.out << " " << list.back().id;
        }
        io.out << " on page " << pageText << " at " << formatRect(rect) << " (colour "
               << (color.empty() ? "#ffff00" : color) << ", opacity " << opacity << ")\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Add an annotation to a page and write the file back",
    runAnnotate,
}};

} // namespace

} // namespace ombrix::cli
