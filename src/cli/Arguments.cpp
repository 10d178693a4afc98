#include "cli/Arguments.h"

#include "core/Error.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <ostream>
#include <sstream>

namespace ombrix::cli {

namespace {

// Words from the command line never hold a NUL byte, so one can mark a word for CLI11 and be
// taken out again from everything CLI11 hands back.
constexpr char kMark = '\0';

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// CLI11 reads some words more loosely than this tool: "--name=" as "--name" taking the next
// word, "--flag=true" as the flag, "-ofile" as "-o file", and "-5" or "---x" as positionals.
// So every "--name=value" gets a mark at its end, which keeps an empty value and gives a flag a
// value CLI11 has no meaning for; and any other word of dashes but "-L" or "--L..." (L a
// letter, as every option here begins) gets one after its first dash, which CLI11 then reads
// as an unknown option.
std::string markedForCli11(const std::string& word) {
    if (word.size() < 2 || word.front() != '-' || word == "--") {
        return word;
    }
    const bool isLong = word[1] == '-';
    if (isLong ? !isLetter(word[2]) : word.size() > 2 || !isLetter(word[1])) {
        return word.substr(0, 1) + kMark + word.substr(1);
    }
    return isLong && word.find('=') != std::string::npos ? word + kMark : word;
}

std::string unmarked(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), kMark), text.end());
    return text;
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
    CLI::App app;
    app.set_help_flag(); // main answers --help; here -h is an unknown option like any other

    // CLI11 sets unknown options aside and goes on; the first mistake on the line is the one
    // told, so one set aside before another mistake comes first.
    auto firstUnknown = [&app]() -> std::optional<std::string> {
        for (const auto& word : app.remaining()) {
            if (word != "--") { // the end of the options, kept with them
                return unmarked(word);
            }
        }
        return std::nullopt;
    };
    auto refuse = [&firstUnknown](const std::string& message) {
        if (auto word = firstUnknown()) {
            throw UsageError("unknown option '" + *word + "'");
        }
        throw UsageError(message);
    };

    // Each option's callback runs as soon as CLI11 has read it, so a repeat is refused where
    // it stands.
    for (std::string_view option : valueOptions) {
        app.add_option(
               std::string(option),
               [&parsed, &refuse, name = std::string(option)](const CLI::results_t& values) {
                   if (parsed.options.count(name) != 0) {
                       refuse(name + " given twice");
                   }
                   parsed.options.emplace(name, unmarked(values.front()));
                   return true;
               })
            ->trigger_on_parse();
    }
    for (std::string_view flag : flags) {
        app.add_option(std::string(flag),
                       [&parsed, &refuse, name = std::string(flag)](const CLI::results_t& values) {
                           // CLI11's own value of a flag given alone; anything else came after
                           // an "=", which a flag does not take.
                           if (values.front() != "true") {
                               refuse("unknown option '" + name + "=" + unmarked(values.front()) +
                                      "'");
                           }
                           if (parsed.hasFlag(name)) {
                               refuse(name + " given twice");
                           }
                           parsed.flags.push_back(name);
                           return true;
                       })
            ->expected(0)
            ->trigger_on_parse();
    }
    // Every positional, in order. CLI11 fills a positional only up to its least count, and an
    // open-ended one would split a word like "[a,b]" into a list: hence a count no line reaches.
    CLI::Option* positionals = app.add_option("arguments");
    positionals->expected(std::numeric_limits<int>::max())
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    std::vector<std::string> words; // CLI11 takes the words last first
    std::transform(args.rbegin(), args.rend(), std::back_inserter(words), markedForCli11);
    try {
        app.parse(words);
    } catch (const CLI::ExtrasError&) {
        refuse("unexpected arguments"); // always an unknown option: every positional is taken
    } catch (const CLI::ArgumentMismatch&) {
        // The words ran out before an option's value: the option is the last word.
        const std::string& name = args.back();
        refuse(parsed.options.count(name) != 0 ? name + " given twice" : name + " needs a value");
    } catch (const CLI::ParseError& e) {
        refuse(e.what());
    }
    for (const auto& word : positionals->results()) {
        parsed.positionals.push_back(unmarked(word));
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
