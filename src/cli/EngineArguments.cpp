#include "cli/EngineArguments.h"

#include "core/Error.h"
#include "engine/NativeEngineBridge.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace ombrix::cli {

std::string parseHexColor(std::string_view text) {
    bool ok = text.size() == 7 && text.front() == '#';
    for (std::size_t i = 1; ok && i < text.size(); ++i) {
        ok = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    }
    if (!ok) {
        throw UsageError("colour must be #RRGGBB, not '" + std::string(text) + "'");
    }
    return std::string(text);
}

std::int64_t parseInteger(std::string_view text, std::string_view what, std::int64_t low,
                          std::int64_t high) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", not '" + std::string(text) + "'");
    }
    return value;
}

std::string engineFile(const NativeEngineBridge& bridge, const std::filesystem::path& file) {
    const std::string path = file.string();
    if (bridge.pageCount(path) <= 0) {
        const std::string& why = NativeEngineBridge::lastError();
        throw Error("ombrix", kExitFailure,
                    why.empty() ? "cannot open " + path + " as a PDF with pages" : why);
    }
    return path;
}

int enginePageIndex(const NativeEngineBridge& bridge, const std::string& file,
                    std::string_view text) {
    return checkedPageIndex(text, bridge.pageCount(file));
}

std::string engineFailure() {
    const std::string& why = NativeEngineBridge::lastError();
    return why.empty() ? std::string() : ": " + why;
}

std::string required(const Arguments& arguments, std::string_view option) {
    if (auto value = arguments.value(option)) {
        return *value;
    }
    throw UsageError("missing " + std::string(option));
}

std::string formatRect(const Rect& rect) {
    std::ostringstream out;
    out << rect.x << "," << rect.y << "," << rect.width << "," << rect.height;
    return out.str();
}

} // namespace ombrix::cli
