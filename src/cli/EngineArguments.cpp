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

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<double> number(std::string_view text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Rect parseRect(std::string_view text) {
    auto parts = split(text, ',');
    if (parts.size() == 4) {
        auto x = number(parts[0]), y = number(parts[1]), w = number(parts[2]), h = number(parts[3]);
        if (x && y && w && h && *w > 0 && *h > 0 && std::isfinite(*x + *w) &&
            std::isfinite(*y + *h)) {
            return Rect{*x, *y, *w, *h};
        }
    }
    throw UsageError("rectangle must be X,Y,W,H in points with a positive width and height, not '" +
                     std::string(text) + "'");
}

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

std::string engineFile(const std::filesystem::path& file) {
    NativeEngineBridge bridge;
    const std::string path = file.string();
    if (!bridge.openDocument(path)) {
        throw Error("ombrix", kExitFailure, "no such file: " + path);
    }
    if (bridge.pageCount(path) <= 0) {
        throw Error("ombrix", kExitFailure, "cannot open " + path + " as a PDF with pages");
    }
    return path;
}

int enginePageIndex(const std::string& file, std::string_view text) {
    return checkedPageIndex(text, NativeEngineBridge().pageCount(file));
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
