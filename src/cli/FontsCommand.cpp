#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/EngineArguments.h"
#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <climits>
#include <ostream>

namespace ombrix::cli {

namespace {

const std::string kName = "fonts";
const std::string kSynopsis = "FILE --page N --char I [--password PW]";

// Characters of UTF-8 text, as the engine's character indexes count them.
std::int64_t codePoints(const std::string& text) {
    std::int64_t n = 0;
    for (unsigned char c : text) {
        n += (c & 0xc0) != 0x80;
    }
    return n;
}

int runFonts(const std::vector<std::string>& args, Io& io) {
    return runWithUsage(kName, kSynopsis, io, [&] {
        auto arguments = parseArguments(args, {"--page", "--char", "--password"});
        auto file = singleFile(arguments);
        auto pageText = required(arguments, "--page");
        auto index = parseInteger(required(arguments, "--char"), "char", 0, INT_MAX);
        parsePageNumber(pageText);

        NativeEngineBridge bridge(arguments.value("--password").value_or(""));
        auto path = engineFile(bridge, file);
        int page = enginePageIndex(bridge, path, pageText);
        const auto count = codePoints(bridge.extractText(path, page));
        if (index >= count) {
            throw Error("ombrix", kExitFailure,
                        "character " + std::to_string(index) + " is out of range: page " +
                            pageText + " has " + std::to_string(count) + " characters");
        }
        const int at = int(index);
        io.out << "family: " << bridge.fontFamily(path, page, at) << "\n"
               << "size: " << bridge.fontSize(path, page, at) << "\n"
               << "flags: " << bridge.fontFlags(path, page, at) << "\n"
               << "color: " << bridge.fontColor(path, page, at).hexRGB() << "\n";
        return kExitOk;
    });
}

const CommandRegistration registration{Command{
    kName,
    kSynopsis,
    "Font family, size, descriptor flags and colour of one character (index from 0)",
    runFonts,
}};

} // namespace

} // namespace ombrix::cli
