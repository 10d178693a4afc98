#pragma once

#include "cli/Command.h"
#include "core/Geometry.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::cli {

// A mistake in how a command was called; reported with the command's usage, exit 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::vector<std::string> positionals;
    std::map<std::string, std::string, std::less<>> options; // by name as written, "--page"
    std::vector<std::string> flags;

    bool hasFlag(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
};

// Options in `valueOptions` take one value ("--page 2" or "--page=2"); those in `flags`
// take none. Any other word starting with "-" (but "-" alone), a missing value or an
// option given twice is a UsageError; "--" ends the options.
Arguments parseArguments(const std::vector<std::string>& args,
                         std::initializer_list<std::string_view> valueOptions,
                         std::initializer_list<std::string_view> flags = {});

// Exactly one positional argument, the file to work on.
std::filesystem::path singleFile(const Arguments& arguments);

// A 1-based page number as typed, returned as a 0-based index.
int parsePageNumber(std::string_view text);
// The page of a document of `pageCount` pages the user means by a 1-based number; an
// Error naming the range when there is no such page.
int checkedPageIndex(std::string_view text, std::int64_t pageCount);
// The largest coordinate, width, height or pixel count along a side a command takes.
inline constexpr double kMaxCoordinate = 100000;

// "WIDTHxHEIGHT", both positive and at most kMaxCoordinate, e.g. "1600x1600".
Size parseSize(std::string_view text);
// "X,Y,W,H" in points, every number within kMaxCoordinate. A region may be empty (a table region of
// no width finds no table); what is drawn on the page must have some size.
enum class RectSize { positive, notNegative };
Rect parseRect(std::string_view text, RectSize size = RectSize::positive);

// An Error naming the page when `rect` does not touch the page's box.
void checkOnPage(const Rect& rect, const Rect& pageBox, std::string_view page);

// --page N and --rect X,Y,W,H, both required: the page as typed (a valid 1-based number)
// and the rectangle.
struct PageAndRect {
    std::string page;
    Rect rect;
};
PageAndRect pageAndRect(const Arguments& arguments, RectSize size = RectSize::positive);

// Runs a command's body; a UsageError becomes "ombrix NAME: message" and the usage line
// on stderr with exit status kExitUsage. Other exceptions pass on to main.
int runWithUsage(const std::string& name, const std::string& synopsis, Io& io,
                 const std::function<int()>& body);

} // namespace ombrix::cli
