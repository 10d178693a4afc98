#include "cli/Arguments.h"

#include "core/Error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <sstream>

namespace ombrix::cli {

namespace {

bool contains(std::initializer_list<std::string_view> names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<double> positiveNumber(std::string_view text) {
    if (text.empty() || text.front() == '+' || text.front() == '-' ||
        std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value) || !(value > 0)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

bool Arguments::hasFlag(std::string_view name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::optional<std::string> Arguments::value(std::string_view name) const {
    if (auto it = options.find(name); it != options.end()) {
        return it->second;
    }
    return std::nullopt;
}

Arguments parseArguments(const std::vector<std::string>& args,
                         std::initializer_list<std::string_view> valueOptions,
                         std::initializer_list<std::string_view> flags) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word == "-" || word.empty() || word.front() != '-') {
            parsed.positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::optional<std::string> inlineValue;
        if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = word.substr(0, eq);
            inlineValue = word.substr(eq + 1);
        }
        if (contains(flags, name) && !inlineValue) {
            if (parsed.hasFlag(name)) {
                throw UsageError(name + " given twice");
            }
            parsed.flags.push_back(name);
            continue;
        }
        if (!contains(valueOptions, name)) {
            throw UsageError("unknown option '" + word + "'");
        }
        if (parsed.options.count(name) != 0) {
            throw UsageError(name + " given twice");
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                throw UsageError(name + " needs a value");
            }
            inlineValue = args[++i];
        }
        parsed.options.emplace(name, *inlineValue);
    }
    return parsed;
}

std::filesystem::path singleFile(const Arguments& arguments) {
    if (arguments.positionals.empty()) {
        throw UsageError("missing FILE");
    }
    if (arguments.positionals.size() > 1) {
        throw UsageError("unexpected argument '" + arguments.positionals[1] + "'");
    }
    return arguments.positionals.front();
}

int parsePageNumber(std::string_view text) {
    int number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 1) {
        throw UsageError("page must be a whole number from 1 on, not '" + std::string(text) + "'");
    }
    return number - 1;
}

int checkedPageIndex(std::string_view text, std::int64_t pageCount) {
    int index = parsePageNumber(text);
    if (index >= pageCount) {
        throw Error("ombrix", kExitFailure,
                    "page " + std::string(text) + " is out of range: the document has " +
                        std::to_string(pageCount) + (pageCount == 1 ? " page" : " pages"));
    }
    return index;
}

Size parseSize(std::string_view text) {
    auto x = text.find('x');
    if (x != std::string_view::npos) {
        auto w = positiveNumber(text.substr(0, x));
        auto h = positiveNumber(text.substr(x + 1));
        if (w && h && *w <= kMaxCoordinate && *h <= kMaxCoordinate) {
            return Size{*w, *h};
        }
    }
    throw UsageError("size must be WIDTHxHEIGHT with positive numbers up to " +
                     std::to_string(int(kMaxCoordinate)) + ", not '" + std::string(text) + "'");
}

int runWithUsage(const std::string& name, const std::string& synopsis, Io& io,
                 const std::function<int()>& body) {
    try {
        return body();
    } catch (const UsageError& e) {
        io.err << "ombrix " << name << ": " << e.what() << "\n"
               << "Usage: ombrix " << name << (synopsis.empty() ? "" : " " + synopsis) << "\n";
        return kExitUsage;
    }
}

Rect parseRect(std::string_view text, RectSize size) {
    std::vector<double> values;
    for (std::size_t start = 0; values.size() <= 4;) {
        const auto end = text.find(',', start);
        const auto part = text.substr(start, end == std::string_view::npos ? end : end - start);
        double value = 0;
        auto [last, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || last != part.data() + part.size() ||
            !std::isfinite(value)) {
            break;
        }
        values.push_back(value);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    // Past this no page reaches; numbers that large are typing slips or attacks.
    const bool sane = values.size() == 4 && std::all_of(values.begin(), values.end(), [](double v) {
                          return std::abs(v) <= kMaxCoordinate;
                      });
    if (values.size() == 4 && !sane) {
        throw UsageError(
            "rectangle numbers must lie between -" + std::to_string(int(kMaxCoordinate)) + " and " +
            std::to_string(int(kMaxCoordinate)) + " points, not '" + std::string(text) + "'");
    }
    if (values.size() == 4 && std::isfinite(values[0] + values[2]) &&
        std::isfinite(values[1] + values[3])) {
        const bool sized = size == RectSize::positive ? values[2] > 0 && values[3] > 0
                                                      : values[2] >= 0 && values[3] >= 0;
        if (sized && text.back() != ',') {
            return Rect{values[0], values[1], values[2], values[3]};
        }
    }
    throw UsageError(std::string("rectangle must be X,Y,W,H in points with a ") +
                     (size == RectSize::positive ? "positive width and height"
                                                 : "width and height that are not negative") +
                     ", not '" + std::string(text) + "'");
}

void checkOnPage(const Rect& rect, const Rect& pageBox, std::string_view page) {
    const Rect box = pageBox.standardized();
    if (rect.x > box.x + box.width || rect.x + rect.width < box.x || rect.y > box.y + box.height ||
        rect.y + rect.height < box.y) {
        std::ostringstream out;
        out << "the rectangle " << rect.x << "," << rect.y << "," << rect.width << ","
            << rect.height << " lies outside page " << page << " (" << box.x << "," << box.y
            << " to " << box.x + box.width << "," << box.y + box.height << ")";
        throw Error("ombrix", kExitFailure, out.str());
    }
}

PageAndRect pageAndRect(const Arguments& arguments, RectSize size) {
    auto page = arguments.value("--page");
    auto rect = arguments.value("--rect");
    if (!page) {
        throw UsageError("missing --page");
    }
    if (!rect) {
        throw UsageError("missing --rect");
    }
    parsePageNumber(*page);
    return PageAndRect{*page, parseRect(*rect, size)};
}

} // namespace ombrix::cli
